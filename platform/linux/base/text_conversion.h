// UTF-8 and UTF-16 conversions for the edges of the layer (/proc, file names, the database).
#pragma once

#include <string>
#include <string_view>

namespace tesmar::platform {

// Malformed input becomes U+FFFD; nothing is dropped silently.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// Appends, to reuse the caller's buffer.
void AppendUtf8AsUtf16(std::string_view text, std::u16string& out);

}  // namespace tesmar::platform
