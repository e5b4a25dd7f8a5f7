#include "processes/process_identity.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <string>

namespace tesmar::platform {

std::optional<uint64_t> StartTimeOfLiveProcess(std::string_view statText) {
  // The command name (field 2) may hold blanks and parentheses: fields are counted after the
  // last closing parenthesis, where field 3 (the state) begins.
  size_t nameEnd = statText.rfind(')');
  if (nameEnd == std::string_view::npos) return std::nullopt;
  std::string_view rest = statText.substr(nameEnd + 1);
  int field = 2;
  size_t position = 0;
  while (position < rest.size()) {
    while (position < rest.size() && rest[position] == ' ') ++position;
    size_t end = rest.find(' ', position);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view value = rest.substr(position, end - position);
    ++field;
    if (field == 3 && (value == "Z" || value == "X" || value == "x")) return std::nullopt;
    if (field == 22) {
      uint64_t startTime = 0;
      auto [last, error] = std::from_chars(value.data(), value.data() + value.size(), startTime);
      if (error != std::errc() || last != value.data() + value.size()) return std::nullopt;
      return startTime;
    }
    position = end;
  }
  return std::nullopt;
}

ProcessIdentity IdentityOfProcess(int processId) {
  if (processId <= 0) return {};
  std::ifstream stat("/proc/" + std::to_string(processId) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  auto startTime = StartTimeOfLiveProcess(text);
  if (!startTime) return {};
  return {processId, *startTime};
}

ProcessIdentity CurrentProcessIdentity() {
  return IdentityOfProcess(static_cast<int>(getpid()));
}

bool IsAlive(const ProcessIdentity& process) {
  return process.processId > 0 && IdentityOfProcess(process.processId) == process;
}

}  // namespace tesmar::platform
