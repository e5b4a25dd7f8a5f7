// Parsers for /proc texts. They take the text, so tests can feed literal strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tesmar::platform {

// Field n (1-based, as proc(5) counts) of a /proc/<id>/stat line. The command name (field 2)
// may hold blanks and parentheses, so fields are counted from its last ')'.
std::optional<std::string_view> StatField(std::string_view statLine, int field);
std::optional<uint64_t> StatNumber(std::string_view statLine, int field);

// The number on the "Name:" line of a /proc/<id>/status text ("Tgid:", say).
std::optional<uint64_t> StatusNumber(std::string_view statusText, std::string_view name);

constexpr int kStatCommand = 2;
constexpr int kStatState = 3;
constexpr int kStatParent = 4;
constexpr int kStatThreads = 20;
constexpr int kStatStartTime = 22;
constexpr int kStatProcessor = 39;

}  // namespace tesmar::platform
