// The one translation of Linux errno values into Win32 error numbers.
#pragma once

#include "platform/win32_types.h"

namespace tesmar::platform {

DWORD Win32ErrorFromErrno(int error) noexcept;

// Sets the thread's last error from errno and returns it.
DWORD SetLastErrorFromErrno() noexcept;

}  // namespace tesmar::platform
