#include "registry/names.h"

#include <locale.h>
#include <wctype.h>

#include "base/text_conversion.h"
#include "platform/errors.h"

namespace tesmar::platform::registry {
namespace {
// Windows limits a key name to 255 characters.
constexpr size_t kMaxKeyNameLength = 255;

// Folding follows Unicode's simple upper-case mapping, the one Windows compares registry names
// by; the C locale would fold ASCII only.
locale_t UnicodeLocale() {
  static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  return locale;
}

char32_t Upper(char32_t code) {
  if (code < 0x80) return (code >= 'a' && code <= 'z') ? code - 'a' + 'A' : code;
  locale_t locale = UnicodeLocale();
  if (!locale) return code;
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(code), locale));
}

std::u16string Fold(std::u16string_view name) {
  std::u16string folded;
  folded.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t unit = name[i];
    bool pair = unit >= 0xD800 && unit <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
                name[i + 1] <= 0xDFFF;
    if (!pair) {
      char32_t upper = Upper(unit);
      folded.push_back(upper < 0x10000 ? static_cast<char16_t>(upper) : unit);
      continue;
    }
    char32_t code = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (name[i + 1] - 0xDC00);
    char32_t upper = Upper(code);
    if (upper < 0x10000) upper = code;  // keep the pair a pair
    upper -= 0x10000;
    folded.push_back(static_cast<char16_t>(0xD800 + (upper >> 10)));
    folded.push_back(static_cast<char16_t>(0xDC00 + (upper & 0x3FF)));
    ++i;
  }
  return folded;
}
}  // namespace

StoredName MakeStoredName(std::u16string_view name) {
  return StoredName{Utf16ToUtf8(name), Utf16ToUtf8(Fold(name))};
}

std::u16string_view TextOf(LPCWSTR text) {
  if (!text) return {};
  return std::u16string_view(text);
}

DWORD SplitKeyPath(LPCWSTR path, std::vector<StoredName>& parts) {
  parts.clear();
  std::u16string_view rest = TextOf(path);
  while (!rest.empty()) {
    size_t end = rest.find(u'\\');
    std::u16string_view part = rest.substr(0, end);
    if (part.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    if (!part.empty()) parts.push_back(MakeStoredName(part));
    if (end == std::u16string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  return ERROR_SUCCESS;
}

}  // namespace tesmar::platform::registry
