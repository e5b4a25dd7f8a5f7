#include "base/text_conversion.h"

#include <cstdint>

#include "platform/utf16.h"

namespace tesmar::platform {
namespace {
constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[i], advancing i; malformed sequences give U+FFFD.
char32_t DecodeUtf8(std::string_view text, size_t& i) {
  auto byte = static_cast<uint8_t>(text[i++]);
  if (byte < 0x80) return byte;
  int extra;
  char32_t value;
  char32_t minimum;
  if ((byte & 0xE0) == 0xC0) {
    extra = 1, value = byte & 0x1F, minimum = 0x80;
  } else if ((byte & 0xF0) == 0xE0) {
    extra = 2, value = byte & 0x0F, minimum = 0x800;
  } else if ((byte & 0xF8) == 0xF0) {
    extra = 3, value = byte & 0x07, minimum = 0x10000;
  } else {
    return kReplacement;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) return kReplacement;
    value = (value << 6) | (static_cast<uint8_t>(text[i++]) & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return kReplacement;
  }
  return value;
}
}  // namespace

void AppendUtf8AsUtf16(std::string_view text, std::u16string& out) {
  size_t i = 0;
  while (i < text.size()) {
    AppendCodePoint(out, DecodeUtf8(text, i));
  }
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  AppendUtf8AsUtf16(text, out);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      code = CodePointOfPair(text[i], text[i + 1]);
      ++i;
    } else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i])) {
      code = kReplacement;
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

}  // namespace tesmar::platform
