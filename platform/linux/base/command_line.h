// A command line (a service's ImagePath, CreateProcessA's line): the program, then its arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tesmar::platform {

// Words split at blanks and tabs; double quotes group a word and are dropped.
std::vector<std::string> SplitWords(std::string_view text);

// A quoted first word is the program ("/opt/my tools/svc" -a). An unquoted path that names an
// existing file as a whole is the program even when it holds blanks, as Windows tries it;
// otherwise words are split at blanks, and double quotes group a word.
std::vector<std::string> SplitImagePath(std::string_view imagePath);

// The words as exec and posix_spawn take an argument or environment vector: pointers into the
// words, then a null. Valid while the words stay as they are.
std::vector<char*> ExecVector(std::vector<std::string>& words);

}  // namespace tesmar::platform
