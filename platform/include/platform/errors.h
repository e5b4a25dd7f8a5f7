// The Win32 error numbers the platform reports, with their system message texts. One table
// gives the constants and the messages, so the two cannot drift apart.
#pragma once

#include <stdarg.h>

#include "platform/export.h"
#include "platform/win32_types.h"

// One row a line reads as the table it is.
// clang-format off
#define TESMAR_WIN32_ERRORS(X)                                                                    \
  X(ERROR_SUCCESS, 0, "The operation completed successfully.")                                   \
  X(ERROR_INVALID_FUNCTION, 1, "Incorrect function.")                                             \
  X(ERROR_FILE_NOT_FOUND, 2, "The system cannot find the file specified.")                       \
  X(ERROR_PATH_NOT_FOUND, 3, "The system cannot find the path specified.")                       \
  X(ERROR_ACCESS_DENIED, 5, "Access is denied.")                                                  \
  X(ERROR_INVALID_HANDLE, 6, "The handle is invalid.")                                            \
  X(ERROR_NOT_ENOUGH_MEMORY, 8, "Not enough storage is available to process this command.")      \
  X(ERROR_BAD_FORMAT, 11, "An attempt was made to load a program with an incorrect format.")   \
  X(ERROR_INVALID_DATA, 13, "The data is invalid.")                                               \
  X(ERROR_OUTOFMEMORY, 14, "Not enough storage is available to complete this operation.")        \
  X(ERROR_GEN_FAILURE, 31, "A device attached to the system is not functioning.")                \
  X(ERROR_NOT_SUPPORTED, 50, "The request is not supported.")                                     \
  X(ERROR_BAD_NETPATH, 53, "The network path was not found.")                                     \
  X(ERROR_INVALID_PARAMETER, 87, "The parameter is incorrect.")                                   \
  X(ERROR_BUFFER_OVERFLOW, 111, "The file name is too long.")                                     \
  X(ERROR_DISK_FULL, 112, "There is not enough space on the disk.")                               \
  X(ERROR_CALL_NOT_IMPLEMENTED, 120, "This function is not supported on this system.")           \
  X(ERROR_INSUFFICIENT_BUFFER, 122, "The data area passed to a system call is too small.")       \
  X(ERROR_INVALID_NAME, 123, "The filename, directory name, or volume label syntax is incorrect.") \
  X(ERROR_NOT_LOCKED, 158, "The segment is already unlocked.")                                    \
  X(ERROR_BUSY, 170, "The requested resource is in use.")                                         \
  X(ERROR_ALREADY_EXISTS, 183, "Cannot create a file when that file already exists.")            \
  X(ERROR_MORE_DATA, 234, "More data is available.")                                              \
  X(WAIT_TIMEOUT, 258, "The wait operation timed out.")                                           \
  X(ERROR_NO_MORE_ITEMS, 259, "No more data is available.")                                       \
  X(ERROR_MR_MID_NOT_FOUND, 317,                                                                  \
    "The system cannot find message text for message number 0x%1 in the message file for %2.")    \
  X(ERROR_INVALID_FLAGS, 1004, "Invalid flags.")                                                  \
  X(ERROR_BADDB, 1009, "The configuration registry database is corrupt.")                         \
  X(ERROR_BADKEY, 1010, "The configuration registry key is invalid.")                             \
  X(ERROR_CANTOPEN, 1011, "The configuration registry key could not be opened.")                  \
  X(ERROR_CANTREAD, 1012, "The configuration registry key could not be read.")                    \
  X(ERROR_CANTWRITE, 1013, "The configuration registry key could not be written.")                \
  X(ERROR_REGISTRY_IO_FAILED, 1016,                                                               \
    "An I/O operation initiated by the registry failed unrecoverably. The registry could not "    \
    "read in, or write out, or flush, one of the files that contain the system's image of the "   \
    "registry.")                                                                                  \
  X(ERROR_KEY_DELETED, 1018,                                                                      \
    "Illegal operation attempted on a registry key that has been marked for deletion.")          \
  X(ERROR_NO_LOG_SPACE, 1019, "System could not allocate the required space in a registry log.")  \
  X(ERROR_INVALID_SERVICE_CONTROL, 1052, "The requested control is not valid for this service.") \
  X(ERROR_SERVICE_REQUEST_TIMEOUT, 1053,                                                          \
    "The service did not respond to the start or control request in a timely fashion.")          \
  X(ERROR_SERVICE_NO_THREAD, 1054, "A thread could not be created for the service.")             \
  X(ERROR_SERVICE_ALREADY_RUNNING, 1056, "An instance of the service is already running.")       \
  X(ERROR_SERVICE_DISABLED, 1058,                                                                 \
    "The service cannot be started, either because it is disabled or because it has no enabled " \
    "devices associated with it.")                                                                \
  X(ERROR_SERVICE_DOES_NOT_EXIST, 1060,                                                           \
    "The specified service does not exist as an installed service.")                             \
  X(ERROR_SERVICE_CANNOT_ACCEPT_CTRL, 1061,                                                       \
    "The service cannot accept control messages at this time.")                                  \
  X(ERROR_SERVICE_NOT_ACTIVE, 1062, "The service has not been started.")                          \
  X(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, 1063,                                                \
    "The service process could not connect to the service controller.")                          \
  X(ERROR_DATABASE_DOES_NOT_EXIST, 1065, "The database specified does not exist.")              \
  X(ERROR_SERVICE_SPECIFIC_ERROR, 1066, "The service has returned a service-specific error code.") \
  X(ERROR_PROCESS_ABORTED, 1067, "The process terminated unexpectedly.")                          \
  X(ERROR_SERVICE_MARKED_FOR_DELETE, 1072, "The specified service has been marked for deletion.") \
  X(ERROR_SERVICE_EXISTS, 1073, "The specified service already exists.")                          \
  X(ERROR_SERVICE_NEVER_STARTED, 1077,                                                            \
    "No attempts to start the service have been made since the last boot.")                      \
  X(ERROR_PRIVILEGE_NOT_HELD, 1314, "A required privilege is not held by the client.")           \
  X(ERROR_TIMEOUT, 1460, "This operation returned because the timeout period expired.")          \
  X(RPC_S_SERVER_UNAVAILABLE, 1722, "The RPC server is unavailable.")                             \
  X(ERROR_INVALID_PRIORITY, 1800, "The specified priority is invalid.")

// clang-format on

#ifdef __cplusplus
enum : DWORD {
#define TESMAR_ERROR_CONSTANT(name, number, text) name = number,
  TESMAR_WIN32_ERRORS(TESMAR_ERROR_CONSTANT)
#undef TESMAR_ERROR_CONSTANT
};
#endif

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu

PLATFORM_EXTERN_C_BEGIN

// GetLastError / SetLastError: one error number per thread, as kernel32 keeps it.
PLATFORM_API DWORD GetLastError(void) PLATFORM_NOEXCEPT;
PLATFORM_API void SetLastError(DWORD error) PLATFORM_NOEXCEPT;

// FormatMessageW: the system message text of an error number (FORMAT_MESSAGE_FROM_SYSTEM) into a
// caller's buffer of `size` units, ending in "\r\n" unless FORMAT_MESSAGE_MAX_WIDTH_MASK is
// given; returns the units written without the NUL. 0 with ERROR_MR_MID_NOT_FOUND for a number
// that has no text, ERROR_INSUFFICIENT_BUFFER for a buffer too small.
PLATFORM_API DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                                  LPWSTR buffer, DWORD size, va_list* arguments) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END

#ifdef __cplusplus
namespace tesmar::platform {
// The system message text of a Win32 error number, or null for a number outside the table.
PLATFORM_API const char* Win32ErrorMessage(DWORD error) noexcept;
}  // namespace tesmar::platform
#endif
