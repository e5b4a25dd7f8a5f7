// The memory status of this machine.
#pragma once

#include "platform/export.h"
#include "platform/win32_types.h"

// MEMORYSTATUS with SIZE_T fields, as 64-bit Windows declares it: 56 bytes here, not the 32 of
// 32-bit Windows, whose 32-bit fields cap every figure at 4 GiB.
typedef struct _MEMORYSTATUS {
  DWORD dwLength;
  DWORD dwMemoryLoad;  // percent of physical memory in use
  SIZE_T dwTotalPhys;
  SIZE_T dwAvailPhys;
  SIZE_T dwTotalPageFile;  // physical memory and swap
  SIZE_T dwAvailPageFile;
  SIZE_T dwTotalVirtual;  // the address space of this process
  SIZE_T dwAvailVirtual;
} MEMORYSTATUS, *LPMEMORYSTATUS;

PLATFORM_EXTERN_C_BEGIN

// GlobalMemoryStatus: figures in bytes, read anew at each call. Available physical memory is
// what the kernel estimates can be had without swapping (MemAvailable), not only free pages.
PLATFORM_API void GlobalMemoryStatus(LPMEMORYSTATUS status) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END
