// Threads, events, waits, sleeping and the speaker.
#pragma once

#include "platform/export.h"
#include "platform/registry.h"  // SECURITY_ATTRIBUTES
#include "platform/win32_types.h"

#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_FAILED 0xFFFFFFFFu
// WAIT_TIMEOUT (258) is in platform/errors.h.

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);

PLATFORM_EXTERN_C_BEGIN

PLATFORM_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                                 LPTHREAD_START_ROUTINE start, LPVOID parameter,
                                 DWORD creationFlags, LPDWORD threadId) PLATFORM_NOEXCEPT;
// Unnamed events only (a name gives ERROR_NOT_SUPPORTED).
PLATFORM_API HANDLE CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset,
                                 BOOL initialState, LPCWSTR name) PLATFORM_NOEXCEPT;
PLATFORM_API BOOL SetEvent(HANDLE event) PLATFORM_NOEXCEPT;
PLATFORM_API BOOL ResetEvent(HANDLE event) PLATFORM_NOEXCEPT;
// Events, threads (signalled once the thread has ended) and processes (once the process ended).
PLATFORM_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) PLATFORM_NOEXCEPT;
PLATFORM_API void Sleep(DWORD milliseconds) PLATFORM_NOEXCEPT;
// A machine without a speaker sounds nothing; every tone is recorded (platform/tones.h).
PLATFORM_API BOOL Beep(DWORD frequency, DWORD duration) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END
