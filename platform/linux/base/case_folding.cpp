#include "base/case_folding.h"

#include <locale.h>
#include <wctype.h>

#include "platform/utf16.h"

namespace tesmar::platform {
namespace {

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

}  // namespace

std::u16string FoldCase(std::u16string_view name) {
  std::u16string folded;
  folded.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t unit = name[i];
    bool pair = IsHighSurrogate(unit) && i + 1 < name.size() && IsLowSurrogate(name[i + 1]);
    if (!pair) {
      char32_t upper = Upper(unit);
      folded.push_back(upper < 0x10000 ? static_cast<char16_t>(upper) : unit);
      continue;
    }
    char32_t code = CodePointOfPair(unit, name[i + 1]);
    char32_t upper = Upper(code);
    AppendCodePoint(folded, upper < 0x10000 ? code : upper);  // a pair stays a pair
    ++i;
  }
  return folded;
}

}  // namespace tesmar::platform
