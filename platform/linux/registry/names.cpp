#include "registry/names.h"

#include "base/case_folding.h"
#include "base/text_conversion.h"
#include "platform/errors.h"

namespace tesmar::platform::registry {
namespace {
// Windows limits a key name to 255 characters.
constexpr size_t kMaxKeyNameLength = 255;

}  // namespace

StoredName MakeStoredName(std::u16string_view name) {
  return StoredName{Utf16ToUtf8(name), Utf16ToUtf8(FoldCase(name))};
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
