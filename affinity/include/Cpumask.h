// libCpumask.so: a snapshot of every process and thread of the machine, taken in one system
// query and read in place, and the operations that read and change the live affinity, priority,
// ideal processor and boost of the process or thread behind an entry of it.
//
// Results: set operations give 1 for success and 0 for failure; a value that cannot be read
// gives 0; pointers give null. Only AffinConstructProcesses sets the last-error cell, only on
// failure, and nothing resets it: AffinGetLastError tells the most recent failure.
#pragma once

#include "platform/win32_types.h"

#define CPUMASK_API __attribute__((visibility("default")))
#ifdef __cplusplus
#define CPUMASK_EXTERN_C_BEGIN extern "C" {
#define CPUMASK_EXTERN_C_END }
#define CPUMASK_NOEXCEPT noexcept
#else
#define CPUMASK_EXTERN_C_BEGIN
#define CPUMASK_EXTERN_C_END
#define CPUMASK_NOEXCEPT
#endif

// Codes of the last-error cell.
#define AFFIN_ERR_NO_MEMORY 1           // the information buffer could not be allocated
#define AFFIN_ERR_NO_SNAPSHOT_MEMORY 2  // the ProcessSnapshot record could not be allocated
#define AFFIN_ERR_QUERY_FAILED 3        // the process list did not fit any buffer tried

// The system's process list as the query returned it; InfoBuffer is owned by the snapshot.
typedef struct ProcessSnapshot {
  LONG ProcessCount;
  PVOID InfoBuffer;
} ProcessSnapshot;

// One entry of the process list, inside a snapshot's InfoBuffer (layout: platform/process.h).
// Valid until the snapshot is destroyed.
typedef struct ProcessEntry ProcessEntry;

CPUMASK_EXTERN_C_BEGIN

CPUMASK_API DWORD AffinGetLastError(void) CPUMASK_NOEXCEPT;

// Snapshot and walking.
CPUMASK_API ProcessSnapshot* AffinConstructProcesses(void) CPUMASK_NOEXCEPT;
CPUMASK_API void AffinDestructProcesses(ProcessSnapshot* snapshot) CPUMASK_NOEXCEPT;
CPUMASK_API LONG AffinGetProcessCount(const ProcessSnapshot* snapshot) CPUMASK_NOEXCEPT;
CPUMASK_API ProcessEntry* AffinGetFirstProcess(const ProcessSnapshot* snapshot) CPUMASK_NOEXCEPT;
CPUMASK_API ProcessEntry* AffinGetNextProcess(const ProcessEntry* entry) CPUMASK_NOEXCEPT;
// Null for the idle process (the first entry).
CPUMASK_API LPCWSTR AffinGetProcName(const ProcessEntry* entry) CPUMASK_NOEXCEPT;
CPUMASK_API DWORD AffinGetProcId(const ProcessEntry* entry) CPUMASK_NOEXCEPT;
CPUMASK_API DWORD AffinGetThreadCount(const ProcessEntry* entry) CPUMASK_NOEXCEPT;

// Searching by name, case-sensitively; the idle process never matches.
CPUMASK_API ProcessEntry* AffinFindProcessByName(LPCWSTR name,
                                                 const ProcessSnapshot* snapshot) CPUMASK_NOEXCEPT;
// The next named entry as "name (0x<id>)", or null at the end. A continue flag of 0 restarts at
// the first entry; later calls pass the same snapshot with a nonzero flag. The text lives in one
// process-wide 256-unit buffer, valid until the next call.
CPUMASK_API LPCWSTR AffinGetNextProcessByName(const ProcessSnapshot* snapshot, INT continueFlag,
                                              DWORD* processId) CPUMASK_NOEXCEPT;

// The process behind an entry: each call opens it anew by id, makes one platform call and closes
// the handle.
CPUMASK_API DWORD AffinGetProcessAffinity(const ProcessEntry* entry) CPUMASK_NOEXCEPT;
CPUMASK_API INT AffinSetProcessAffinity(const ProcessEntry* entry, DWORD mask) CPUMASK_NOEXCEPT;
// Every processor the system offers the process; needs query rights only.
CPUMASK_API DWORD AffinGetSystemAffinity(const ProcessEntry* entry) CPUMASK_NOEXCEPT;
// The priority class, or the entry's base priority level (e.g. 8) when it cannot be read.
CPUMASK_API DWORD AffinGetProcessPriority(const ProcessEntry* entry) CPUMASK_NOEXCEPT;
CPUMASK_API INT AffinSetProcessPriority(const ProcessEntry* entry,
                                        DWORD priorityClass) CPUMASK_NOEXCEPT;
CPUMASK_API INT AffinSetPriorityBoost(const ProcessEntry* entry, INT disable) CPUMASK_NOEXCEPT;
// On 1, *disabled is 1 when boost is disabled, 0 when enabled.
CPUMASK_API INT AffinGetPriorityBoost(const ProcessEntry* entry, DWORD* disabled) CPUMASK_NOEXCEPT;

// Thread index of an entry, 0 <= index < AffinGetThreadCount(entry): the position in the
// entry's thread list. Callers keep to that bound.
CPUMASK_API HANDLE AffinGetThreadHandle(const ProcessEntry* entry, DWORD index) CPUMASK_NOEXCEPT;
CPUMASK_API DWORD AffinGetThreadAffinity(const ProcessEntry* entry, DWORD index) CPUMASK_NOEXCEPT;
CPUMASK_API INT AffinSetThreadAffinity(const ProcessEntry* entry, DWORD index,
                                       DWORD mask) CPUMASK_NOEXCEPT;
// The union of the thread masks; a thread that cannot be read adds nothing.
CPUMASK_API DWORD AffinGetActiveProcessAffinity(const ProcessEntry* entry) CPUMASK_NOEXCEPT;
// Stops at the first thread that refuses the mask (earlier threads keep it) and gives 0.
CPUMASK_API INT AffinSetActiveProcessAffinity(const ProcessEntry* entry,
                                              DWORD mask) CPUMASK_NOEXCEPT;
// 0 on failure, which a thread at priority 0 also gives.
CPUMASK_API INT AffinGetThreadPriority(const ProcessEntry* entry, DWORD index) CPUMASK_NOEXCEPT;
CPUMASK_API INT AffinSetThreadPriority(const ProcessEntry* entry, DWORD index,
                                       INT priority) CPUMASK_NOEXCEPT;
// The previous ideal processor, or 0xFFFFFFFF on failure.
CPUMASK_API DWORD AffinSetThreadIdealProcessor(const ProcessEntry* entry, DWORD index,
                                               DWORD processor) CPUMASK_NOEXCEPT;

CPUMASK_EXTERN_C_END
