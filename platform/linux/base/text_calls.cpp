#include "platform/handles.h"

/***********************************************************************
 *           lstrcmpW
 *
 * Compares by UTF-16 code unit instead of by locale; a null text counts as the empty one.
 */
extern "C" int lstrcmpW(LPCWSTR first, LPCWSTR second) noexcept {
  static const WCHAR empty[] = u"";
  if (!first) first = empty;
  if (!second) second = empty;
  while (*first && *first == *second) {
    ++first;
    ++second;
  }
  if (*first == *second) return 0;
  return *first < *second ? -1 : 1;
}

#include <cstring>
#include <string>

#include "base/text_conversion.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/text.h"

namespace {
size_t WideLength(LPCWSTR text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

// Copies a converted text out as Windows does: size 0 asks for the length; too short fails.
template <typename Unit, typename String>
int CopyOut(const String& converted, Unit* output, int outputLength) {
  auto needed = static_cast<int>(converted.size());
  if (outputLength == 0) return needed;
  if (!output || outputLength < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(output, converted.data(), converted.size() * sizeof(Unit));
  return needed;
}
}  // namespace

/***********************************************************************
 *           MultiByteToWideChar
 */
extern "C" int MultiByteToWideChar(UINT, DWORD, LPCSTR text, int length, LPWSTR output,
                                   int outputLength) noexcept {
  if (!text || length == 0 || length < -1 || outputLength < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return tesmar::platform::ValueResult<int>(0, [&] {
    size_t units = length == -1 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    return CopyOut(tesmar::platform::Utf8ToUtf16({text, units}), output, outputLength);
  });
}

/***********************************************************************
 *           WideCharToMultiByte
 */
extern "C" int WideCharToMultiByte(UINT, DWORD, LPCWSTR text, int length, LPSTR output,
                                   int outputLength, LPCSTR, PBOOL usedDefaultChar) noexcept {
  if (!text || length == 0 || length < -1 || outputLength < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefaultChar) *usedDefaultChar = FALSE;
  return tesmar::platform::ValueResult<int>(0, [&] {
    size_t units = length == -1 ? WideLength(text) + 1 : static_cast<size_t>(length);
    return CopyOut(tesmar::platform::Utf16ToUtf8({text, units}), output, outputLength);
  });
}
