#include "base/command_line.h"

#include <unistd.h>

namespace tesmar::platform {

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::vector<std::string> SplitImagePath(std::string_view imagePath) {
  std::string whole(imagePath);
  if (!whole.empty() && whole.front() != '"' && whole.find(' ') != std::string::npos &&
      access(whole.c_str(), X_OK) == 0) {
    return {whole};
  }
  return SplitWords(imagePath);
}

std::vector<char*> ExecVector(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  pointers.reserve(words.size() + 1);
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace tesmar::platform
