// Starting a program as a new process (CreateProcessA), waiting for it (WaitForSingleObject on
// its process handle) and reading its exit code.
#pragma once

#include "platform/export.h"
#include "platform/registry.h"  // SECURITY_ATTRIBUTES
#include "platform/win32_types.h"

#define STILL_ACTIVE 259u
// The child leaves the caller's terminal: a session of its own, so that the terminal closing or
// the shell taking it back neither hangs it up nor stops it.
#define DETACHED_PROCESS 0x00000008u

typedef struct _STARTUPINFOA {
  DWORD cb;
  LPSTR lpReserved;
  LPSTR lpDesktop;
  LPSTR lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

PLATFORM_EXTERN_C_BEGIN

// The program is applicationName, or else the command line's first word (quoted when it holds
// blanks); a name without a slash is looked for in the calling program's own folder first,
// then along PATH (never in the current folder). The arguments are the command line's words.
// The child gets the caller's standard handles, environment and current folder unless others
// are given (environment: NAME=value strings, each ending in a NUL, the block in another).
// The creation flags accepted are NORMAL_PRIORITY_CLASS and DETACHED_PROCESS.
// hThread is a handle to the same process. ERROR_FILE_NOT_FOUND for a program not found.
PLATFORM_API BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine,
                                 LPSECURITY_ATTRIBUTES processAttributes,
                                 LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                                 DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                                 LPSTARTUPINFOA startupInfo,
                                 LPPROCESS_INFORMATION processInformation) PLATFORM_NOEXCEPT;
// STILL_ACTIVE while it runs; its exit status once it ended (128 + the signal that ended it).
PLATFORM_API BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END
