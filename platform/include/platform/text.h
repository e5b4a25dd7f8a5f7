// Conversion between UTF-16 and 8-bit text. The 8-bit code pages here are all UTF-8.
#pragma once

#include "platform/export.h"
#include "platform/win32_types.h"

#define CP_ACP 0u
#define CP_UTF8 65001u

PLATFORM_EXTERN_C_BEGIN

// As on Windows: a length of -1 means NUL-terminated (the NUL is converted too); an output size
// of 0 asks for the length needed. Returns the units written, 0 on failure.
PLATFORM_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length,
                                     LPWSTR output, int outputLength) PLATFORM_NOEXCEPT;
PLATFORM_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int length,
                                     LPSTR output, int outputLength, LPCSTR defaultChar,
                                     PBOOL usedDefaultChar) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END
