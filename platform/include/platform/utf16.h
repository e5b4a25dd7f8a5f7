// UTF-16 text as the system keeps it: surrogate pairs, and cutting a text short without keeping
// the first half of a pair whose second half was cut off.
#pragma once

#include <cstddef>
#include <string>

namespace tesmar::platform {

constexpr bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

constexpr bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point of a high and a low surrogate.
constexpr char32_t CodePointOfPair(char16_t high, char16_t low) {
  return 0x10000 + ((char32_t{high} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
}

// Appends a code point, as a pair when it lies beyond the basic plane.
inline void AppendCodePoint(std::u16string& text, char32_t code) {
  if (code < 0x10000) {
    text.push_back(static_cast<char16_t>(code));
    return;
  }
  code -= 0x10000;
  text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
  text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
}

// How many units of a NUL-terminated text to keep when at most `limit` fit: all of them when
// the text is no longer, else `limit`, one fewer where the cut would split a pair.
constexpr std::size_t CutLength(const char16_t* text, std::size_t limit) {
  std::size_t length = 0;
  while (length < limit && text[length] != u'\0') ++length;
  bool cut = length == limit && text[length] != u'\0';
  if (cut && length > 0 && IsHighSurrogate(text[length - 1])) --length;
  return length;
}

}  // namespace tesmar::platform
