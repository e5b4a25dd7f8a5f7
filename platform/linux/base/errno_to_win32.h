// The one translation of Linux errno values into Win32 error numbers.
#pragma once

#include "platform/win32_types.h"

namespace tesmar::platform {

DWORD Win32ErrorFromErrno(int error) noexcept;

// For a call on a process or thread: a refusal is ERROR_ACCESS_DENIED, no memory
// ERROR_NOT_ENOUGH_MEMORY, and anything else means the task is not there (ERROR_INVALID_PARAMETER,
// as Windows answers for an id that names no process).
DWORD Win32ErrorFromTaskErrno(int error) noexcept;

// Sets the thread's last error from errno and returns it.
DWORD SetLastErrorFromErrno() noexcept;

}  // namespace tesmar::platform
