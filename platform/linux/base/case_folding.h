// Comparing names without regard to case, as Windows compares registry and service names: by
// Unicode's simple upper-case mapping, not by ASCII alone.
#pragma once

#include <string>
#include <string_view>

namespace tesmar::platform {

// The name with every character that has an upper-case form replaced by it; a surrogate pair
// stays a pair.
std::u16string FoldCase(std::u16string_view name);

}  // namespace tesmar::platform
