#include "processes/proc_stat_parser.h"

#include <charconv>

namespace tesmar::platform {
namespace {
std::optional<uint64_t> ParseNumber(std::string_view text) {
  uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  return value;
}
}  // namespace

std::optional<std::string_view> StatField(std::string_view statLine, int field) {
  if (field < 1) return std::nullopt;
  size_t open = statLine.find('(');
  size_t close = statLine.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    return std::nullopt;
  }
  if (field == 1) return statLine.substr(0, open == 0 ? 0 : open - 1);
  if (field == 2) return statLine.substr(open + 1, close - open - 1);
  size_t position = close + 1;
  for (int current = 3;; ++current) {
    while (position < statLine.size() &&
           (statLine[position] == ' ' || statLine[position] == '\n')) {
      ++position;
    }
    if (position >= statLine.size()) return std::nullopt;
    size_t end = statLine.find_first_of(" \n", position);
    if (end == std::string_view::npos) end = statLine.size();
    if (current == field) return statLine.substr(position, end - position);
    position = end;
  }
}

std::optional<uint64_t> StatNumber(std::string_view statLine, int field) {
  auto text = StatField(statLine, field);
  if (!text) return std::nullopt;
  return ParseNumber(*text);
}

std::optional<uint64_t> StatusNumber(std::string_view statusText, std::string_view name) {
  size_t position = 0;
  while (position < statusText.size()) {
    size_t end = statusText.find('\n', position);
    if (end == std::string_view::npos) end = statusText.size();
    std::string_view line = statusText.substr(position, end - position);
    if (line.size() > name.size() && line.substr(0, name.size()) == name &&
        line[name.size()] == ':') {
      std::string_view value = line.substr(name.size() + 1);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
      }
      return ParseNumber(value);
    }
    position = end + 1;
  }
  return std::nullopt;
}

}  // namespace tesmar::platform
