// Export marker of the platform library: its Win32 calls and its test seams.
#pragma once

#define PLATFORM_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define PLATFORM_EXTERN_C_BEGIN extern "C" {
#define PLATFORM_EXTERN_C_END }
#define PLATFORM_NOEXCEPT noexcept
#else
#define PLATFORM_EXTERN_C_BEGIN
#define PLATFORM_EXTERN_C_END
#define PLATFORM_NOEXCEPT
#endif
