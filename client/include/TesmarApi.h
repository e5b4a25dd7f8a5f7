// TesmarApi: sessions against the affinity service of a machine (local, remote or the built-in
// demo backend), the exchange of process packets with it, and accessors to the records of a
// session's packet copy.
//
// A session is opened with TesmarOpen and released with TesmarClose. After TesmarConnect and
// TesmarRefresh, TesmarGetProcObject hands out record handles that point into the session's
// copy; they stay valid until the next TesmarRefresh or TesmarClose of that session. Edits made
// through the setters stay in the copy until TesmarUpdate sends it.
//
// Results: 0 for success, 1 for a bad argument, otherwise the platform's error number (1062
// from TesmarConnect for a service that is installed but not running). Record accessors answer a
// bad record handle or thread index with fixed sentinels, given beside each function. Two setter
// conventions coexist: TesmarSetProcAffin, TesmarSetThreadAffin and TesmarSetWatchList answer 0
// on success and 1 on bad input; the other setters answer 1 on success and 0 on bad input.
#pragma once

#include "platform/win32_types.h"

#define TESMAR_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define TESMAR_NOEXCEPT noexcept
extern "C" {
#else
#define TESMAR_NOEXCEPT
#endif

typedef struct TesmarSession TesmarSession;
// One process record inside a session's packet copy.
typedef struct TesmarRecord TesmarRecord;

// Sessions and the connection.

// demo nonzero: a demo session over six made-up processes on sixteen processors. Null when
// memory is short.
TESMAR_API TesmarSession* TesmarOpen(INT demo) TESMAR_NOEXCEPT;
// Disconnects, releases the packet copy and the session. 1 for a null session.
TESMAR_API INT TesmarClose(TesmarSession* session) TESMAR_NOEXCEPT;
// machine null: the local machine. 1 for a null session or one already holding a manager handle;
// 1062 when the service is installed but not running (the service handles stay, so
// TesmarStart works).
TESMAR_API INT TesmarConnect(TesmarSession* session, LPCWSTR machine) TESMAR_NOEXCEPT;
TESMAR_API INT TesmarDisconnect(TesmarSession* session) TESMAR_NOEXCEPT;
// What the last connect, start or stop found; 0 for a null session.
TESMAR_API INT TesmarInstalled(TesmarSession* session) TESMAR_NOEXCEPT;
TESMAR_API INT TesmarRunning(TesmarSession* session) TESMAR_NOEXCEPT;
// Ask the service manager to start or stop the service; neither waits for the new state.
TESMAR_API INT TesmarStart(TesmarSession* session) TESMAR_NOEXCEPT;
TESMAR_API INT TesmarStop(TesmarSession* session) TESMAR_NOEXCEPT;
TESMAR_API INT TesmarVersion(void) TESMAR_NOEXCEPT;

// The exchange. Each returns once the service has answered, and at the latest after one second.

// Replaces the session's copy with the service's latest packet.
TESMAR_API INT TesmarRefresh(TesmarSession* session) TESMAR_NOEXCEPT;
// Sends the session's copy, with its edits, for the service to apply.
TESMAR_API INT TesmarUpdate(TesmarSession* session) TESMAR_NOEXCEPT;

// The copy. Both counts answer 1 (not 0) without a copy.
TESMAR_API DWORD TesmarGetProcessCount(TesmarSession* session) TESMAR_NOEXCEPT;
TESMAR_API DWORD TesmarGetProcessorCount(TesmarSession* session) TESMAR_NOEXCEPT;
// Null without a copy or for an index not below the process count.
TESMAR_API TesmarRecord* TesmarGetProcObject(TesmarSession* session, DWORD index) TESMAR_NOEXCEPT;

// Records. A thread index is valid below TesmarGetThreadCount (and below 256).

TESMAR_API LPCWSTR TesmarGetProcName(TesmarRecord* record) TESMAR_NOEXCEPT;           // null
TESMAR_API DWORD TesmarGetProcId(TesmarRecord* record) TESMAR_NOEXCEPT;               // 0
TESMAR_API DWORD TesmarGetProcAffin(TesmarRecord* record) TESMAR_NOEXCEPT;            // 0
TESMAR_API INT TesmarSetProcAffin(TesmarRecord* record, DWORD mask) TESMAR_NOEXCEPT;  // 0 / 1
TESMAR_API DWORD TesmarGetProcPrior(TesmarRecord* record) TESMAR_NOEXCEPT;            // 0
TESMAR_API INT TesmarSetProcPrior(TesmarRecord* record,
                                  DWORD priorityClass) TESMAR_NOEXCEPT;  // 1 / 0
// A process with more than 256 threads counts 256.
TESMAR_API LONG TesmarGetThreadCount(TesmarRecord* record) TESMAR_NOEXCEPT;                 // 0
TESMAR_API DWORD TesmarGetThreadAffin(TesmarRecord* record, DWORD thread) TESMAR_NOEXCEPT;  // 0
TESMAR_API INT TesmarSetThreadAffin(TesmarRecord* record, DWORD thread,
                                    DWORD mask) TESMAR_NOEXCEPT;                           // 0 / 1
TESMAR_API LONG TesmarGetThreadPrior(TesmarRecord* record, DWORD thread) TESMAR_NOEXCEPT;  // 127
TESMAR_API INT TesmarSetThreadPrior(TesmarRecord* record, DWORD thread,
                                    LONG priority) TESMAR_NOEXCEPT;  // 1 / 0
TESMAR_API INT TesmarSetThreadIdealProcessor(TesmarRecord* record, DWORD thread,
                                             DWORD processor) TESMAR_NOEXCEPT;  // 1 / 0
// What the platform answered when the service last set the thread's ideal processor.
TESMAR_API LONG TesmarGetprevIdealProcessor(TesmarRecord* record,
                                            DWORD thread) TESMAR_NOEXCEPT;  // -127
// Writes BoostDisabled to *disabled and answers BoostQueryOk; 0 and *disabled untouched for a
// null record or output.
TESMAR_API INT TesmarGetPriorityBoost(TesmarRecord* record, DWORD* disabled) TESMAR_NOEXCEPT;
TESMAR_API INT TesmarSetPriorityBoost(TesmarRecord* record, DWORD disable) TESMAR_NOEXCEPT;  // 1/0
TESMAR_API INT TesmarGetWatchList(TesmarRecord* record) TESMAR_NOEXCEPT;                     // 0
TESMAR_API INT TesmarSetWatchList(TesmarRecord* record, DWORD watched) TESMAR_NOEXCEPT;      // 0/1

#ifdef __cplusplus
}
#endif
