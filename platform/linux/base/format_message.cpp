#include <cstring>
#include <string>

#include "platform/errors.h"
#include "platform/export_result.h"

/***********************************************************************
 *           FormatMessageW
 *
 * Only FORMAT_MESSAGE_FROM_SYSTEM with a caller's buffer: the texts are those of the platform's
 * error table, in English whatever the language asked for, and inserts are never expanded (the
 * text is copied as with FORMAT_MESSAGE_IGNORE_INSERTS). Other sources and
 * FORMAT_MESSAGE_ALLOCATE_BUFFER fail with ERROR_INVALID_PARAMETER.
 */
extern "C" DWORD FormatMessageW(DWORD flags, LPCVOID /*source*/, DWORD messageId,
                                DWORD /*languageId*/, LPWSTR buffer, DWORD size,
                                va_list* /*arguments*/) noexcept {
  return tesmar::platform::ValueResult<DWORD>(0, [&]() -> DWORD {
    constexpr DWORD kSupported =
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & ~kSupported) || !buffer) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    const char* text = tesmar::platform::Win32ErrorMessage(messageId);
    if (!text) {
      SetLastError(ERROR_MR_MID_NOT_FOUND);
      return 0;
    }
    // The table is ASCII, so each byte is one UTF-16 unit.
    std::u16string message(text, text + std::strlen(text));
    if (!(flags & FORMAT_MESSAGE_MAX_WIDTH_MASK)) message += u"\r\n";
    if (message.size() + 1 > size) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(buffer, message.c_str(), (message.size() + 1) * sizeof(char16_t));
    return static_cast<DWORD>(message.size());
  });
}
