// A command line (a service's ImagePath, CreateProcessA's line): the program, then its arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tesmar::platform {

// A quoted first word is the program ("/opt/my tools/svc" -a). An unquoted path that names an
// existing file as a whole is the program even when it holds blanks, as Windows tries it;
// otherwise words are split at blanks, and double quotes group a word.
std::vector<std::string> SplitImagePath(std::string_view imagePath);

}  // namespace tesmar::platform
