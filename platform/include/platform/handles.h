// Kernel object handles: processes, threads, events. One table in the process holds them all.
#pragma once

#include "platform/export.h"
#include "platform/win32_types.h"

PLATFORM_EXTERN_C_BEGIN

// CloseHandle: releases a handle of any kind. A handle that is not open fails with
// ERROR_INVALID_HANDLE.
PLATFORM_API BOOL CloseHandle(HANDLE handle) PLATFORM_NOEXCEPT;

// lstrcmpW: case-sensitive comparison of two UTF-16 texts, -1, 0 or 1. Windows orders by the
// user's locale; here texts compare by code unit, which agrees with it on equality, the only
// outcome the system relies on.
PLATFORM_API int lstrcmpW(LPCWSTR first, LPCWSTR second) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END

#ifdef __cplusplus
namespace tesmar::platform {
// How many handles of the process are open, for tests that check an operation closes what it
// opened.
PLATFORM_API size_t OpenHandleCount() noexcept;
}  // namespace tesmar::platform
#endif
