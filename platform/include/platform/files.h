// Files and the standard handles: renaming a file, and what kind of file a standard handle is
// (a terminal is FILE_TYPE_CHAR).
#pragma once

#include "platform/export.h"
#include "platform/win32_types.h"

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

#define FILE_TYPE_UNKNOWN 0x0000u
#define FILE_TYPE_DISK 0x0001u
#define FILE_TYPE_CHAR 0x0002u
#define FILE_TYPE_PIPE 0x0003u

PLATFORM_EXTERN_C_BEGIN

// Fails with ERROR_ALREADY_EXISTS when the new name exists, as on Windows.
PLATFORM_API BOOL MoveFileA(LPCSTR existingName, LPCSTR newName) PLATFORM_NOEXCEPT;
// Pseudo-handles for the process's standard input, output and error; they need no closing.
PLATFORM_API HANDLE GetStdHandle(DWORD standardHandle) PLATFORM_NOEXCEPT;
// FILE_TYPE_UNKNOWN (with the last error set) for a handle that is none of these, or closed.
PLATFORM_API DWORD GetFileType(HANDLE file) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END
