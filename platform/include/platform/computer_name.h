// The name of this computer.
#pragma once

#include "platform/export.h"
#include "platform/win32_types.h"

#define MAX_COMPUTERNAME_LENGTH 15

PLATFORM_EXTERN_C_BEGIN

// GetComputerNameW: *size holds the buffer's units on entry and the name's length (without the
// NUL) on success. A buffer too small fails with ERROR_BUFFER_OVERFLOW and *size set to the units
// needed, the NUL included.
PLATFORM_API BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END
