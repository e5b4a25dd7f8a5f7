// Key and value names as the store keeps them: the name as given, for showing, and a folded
// form, for comparing without regard to case. Both are UTF-8 in the database.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace tesmar::platform::registry {

struct StoredName {
  std::string name;
  std::string folded;
};

StoredName MakeStoredName(std::u16string_view name);

// Splits a key path at its backslashes; empty parts (a leading, doubled or trailing backslash)
// are skipped. A part longer than Windows allows fails with ERROR_INVALID_PARAMETER.
DWORD SplitKeyPath(LPCWSTR path, std::vector<StoredName>& parts);

// A NUL-terminated UTF-16 text, null counting as the empty one.
std::u16string_view TextOf(LPCWSTR text);

}  // namespace tesmar::platform::registry
