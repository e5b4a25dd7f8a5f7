// Starting a program by name, as kernel32's WinExec.
#pragma once

#include "platform/export.h"
#include "platform/win32_types.h"

#define SW_HIDE 0u
#define SW_SHOW 5u

PLATFORM_EXTERN_C_BEGIN

// WinExec: starts the command line's program (its first word, looked up along PATH unless it
// holds a slash; the other words its arguments, double quotes grouping) in a session of its own
// and does not wait for it. Above 31 on success; otherwise 0 (out of memory or resources),
// ERROR_FILE_NOT_FOUND (2), ERROR_PATH_NOT_FOUND (3: a folder of the path is missing),
// ERROR_BAD_FORMAT (11: not an executable, or not executable for this user), or another
// number of 31 or below. The show command has no meaning without a window system to tell.
PLATFORM_API UINT WinExec(LPCSTR commandLine, UINT showCommand) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END
