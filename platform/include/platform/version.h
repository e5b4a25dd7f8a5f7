// The operating system's version, as GetVersionExA reports it: Windows NT's platform identifier
// and the running kernel's major and minor numbers.
#pragma once

#include "platform/export.h"
#include "platform/win32_types.h"

#define VER_PLATFORM_WIN32s 0u
#define VER_PLATFORM_WIN32_WINDOWS 1u
#define VER_PLATFORM_WIN32_NT 2u

typedef struct _OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
} OSVERSIONINFOA, *LPOSVERSIONINFOA;

PLATFORM_EXTERN_C_BEGIN

// Platform VER_PLATFORM_WIN32_NT; major, minor and build are the kernel release's first three
// numbers (6.1.0 for "6.1.0-18-amd64"), szCSDVersion the whole release text.
// ERROR_INSUFFICIENT_BUFFER when dwOSVersionInfoSize is not the structure's size.
PLATFORM_API BOOL GetVersionExA(LPOSVERSIONINFOA versionInfo) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END
