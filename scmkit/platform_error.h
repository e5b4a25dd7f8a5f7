// The error number a Scmkit operation answers for a failed platform call.
#pragma once

#include "platform/errors.h"

namespace tesmar::scmkit {

// The last error, read right after the call that failed. A platform call that failed without
// saying why must still not be answered as success.
inline DWORD PlatformError() {
  DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
}

}  // namespace tesmar::scmkit
