// How an exported function fails. Every export is noexcept and answers in its Win32 way; the
// body it runs may throw (std::bad_alloc where it allocates), and one wrapper a kind of result
// turns what it throws into the same error everywhere:
//
//   extern "C" BOOL SetEvent(HANDLE event) noexcept {
//     return BoolResult([&]() -> DWORD { ... return ERROR_SUCCESS; });
//   }
//
// std::bad_alloc is ERROR_NOT_ENOUGH_MEMORY (STATUS_NO_MEMORY), anything else ERROR_GEN_FAILURE
// (STATUS_UNSUCCESSFUL). Errors of the system's own libraries keep their own conventions; the
// wrappers only decide what an exception becomes.
#pragma once

#include <new>

#include "platform/errors.h"
#include "platform/win32_types.h"

namespace tesmar::platform {

// Inside a catch block: the Win32 error for the exception being handled.
inline DWORD ErrorOfCaughtException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (...) {
    return ERROR_GEN_FAILURE;
  }
}

// The NTSTATUS of a Win32 error, for the native calls.
inline NTSTATUS NtStatusOfError(DWORD error) noexcept {
  switch (error) {
    case ERROR_SUCCESS:
      return STATUS_SUCCESS;
    case ERROR_ACCESS_DENIED:
      return STATUS_ACCESS_DENIED;
    case ERROR_INVALID_HANDLE:
      return STATUS_INVALID_HANDLE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return STATUS_NO_MEMORY;
    case ERROR_INVALID_PARAMETER:
      return STATUS_INVALID_PARAMETER;
    default:
      return STATUS_UNSUCCESSFUL;
  }
}

// BOOL exports: the body answers a Win32 error, ERROR_SUCCESS for success; any other sets the
// last error and the export answers FALSE.
template <typename Body>
BOOL BoolResult(Body&& body) noexcept {
  DWORD error;
  try {
    error = body();
  } catch (...) {
    error = ErrorOfCaughtException();
  }
  if (error == ERROR_SUCCESS) return TRUE;
  SetLastError(error);
  return FALSE;
}

// LSTATUS exports (the registry): the body's Win32 error is the result.
template <typename Body>
LSTATUS StatusResult(Body&& body) noexcept {
  try {
    return static_cast<LSTATUS>(body());
  } catch (...) {
    return static_cast<LSTATUS>(ErrorOfCaughtException());
  }
}

// NTSTATUS exports (the native calls): the body's status.
template <typename Body>
NTSTATUS NtStatusResult(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return NtStatusOfError(ErrorOfCaughtException());
  }
}

// Exports that answer a value (a handle, a mask, a level) and keep their error in the last
// error: the body sets it where it fails; an exception sets it here and the export answers
// failure.
template <typename Value, typename Body>
Value ValueResult(Value failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    SetLastError(ErrorOfCaughtException());
    return failure;
  }
}

// Exports of the system's libraries that answer an error number: the body's number.
template <typename Body>
INT ErrorNumberResult(Body&& body) noexcept {
  try {
    return static_cast<INT>(body());
  } catch (...) {
    return static_cast<INT>(ErrorOfCaughtException());
  }
}

}  // namespace tesmar::platform
