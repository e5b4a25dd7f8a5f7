#include "platform/computer_name.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "base/text_conversion.h"
#include "platform/errors.h"
#include "platform/export_result.h"

/***********************************************************************
 *           GetComputerNameW
 *
 * The host name as gethostname gives it: neither upper-cased nor cut to
 * MAX_COMPUTERNAME_LENGTH, as a NetBIOS name would be, so a long host name needs a larger buffer.
 */
extern "C" BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size) noexcept {
  return tesmar::platform::BoolResult([&]() -> DWORD {
    if (!size) return ERROR_INVALID_PARAMETER;
    char hostName[HOST_NAME_MAX + 1] = {};
    if (gethostname(hostName, sizeof hostName - 1) != 0) return ERROR_GEN_FAILURE;
    std::u16string name = tesmar::platform::Utf8ToUtf16(hostName);
    DWORD needed = static_cast<DWORD>(name.size() + 1);
    if (!buffer || *size < needed) {
      *size = needed;
      return ERROR_BUFFER_OVERFLOW;
    }
    std::memcpy(buffer, name.c_str(), needed * sizeof(char16_t));
    *size = needed - 1;
    return ERROR_SUCCESS;
  });
}
