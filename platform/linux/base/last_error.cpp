#include "platform/errors.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

/***********************************************************************
 *           GetLastError
 */
extern "C" DWORD GetLastError() noexcept {
  return lastError;
}

/***********************************************************************
 *           SetLastError
 */
extern "C" void SetLastError(DWORD error) noexcept {
  lastError = error;
}

namespace tesmar::platform {

const char* Win32ErrorMessage(DWORD error) noexcept {
  switch (error) {
#define TESMAR_ERROR_MESSAGE(name, number, text) \
  case number:                                   \
    return text;
    TESMAR_WIN32_ERRORS(TESMAR_ERROR_MESSAGE)
#undef TESMAR_ERROR_MESSAGE
  }
  return nullptr;
}

}  // namespace tesmar::platform
