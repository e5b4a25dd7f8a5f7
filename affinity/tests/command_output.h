// Running the system's own tools (taskset, ps) to check what the kernel holds, independently of
// the code under test.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>
#include <string>

namespace tesmar::affinity::testing {

// Standard output of a shell command; nullopt when it could not run or exited non-zero.
inline std::optional<std::string> CommandOutput(const std::string& command) {
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string output;
  char chunk[4096];
  while (std::size_t read = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, read);
  if (pclose(pipe) != 0) return std::nullopt;
  return output;
}

// The mask `taskset -p` reports for a thread, from "pid N's current affinity mask: 3".
inline std::optional<uint32_t> TasksetMask(uint32_t threadId) {
  auto output = CommandOutput("taskset -p " + std::to_string(threadId));
  if (!output) return std::nullopt;
  auto colon = output->rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  return static_cast<uint32_t>(std::stoul(output->substr(colon + 1), nullptr, 16));
}

inline bool SetTasksetMask(uint32_t threadId, uint32_t mask, bool everyThread = false) {
  std::ostringstream command;
  command << "taskset " << (everyThread ? "-a " : "") << "-p 0x" << std::hex << mask << ' '
          << std::dec << threadId << " >/dev/null";
  return CommandOutput(command.str()).has_value();
}

// What ps reports of each process: id -> the rest of the line, trimmed.
inline std::map<uint32_t, std::string> PsColumnById(const std::string& column) {
  std::map<uint32_t, std::string> byId;
  auto output = CommandOutput("ps -e -o pid= -o " + column + "=");
  if (!output) return byId;
  std::istringstream lines(*output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    uint32_t id = 0;
    if (!(fields >> id)) continue;
    std::string rest;
    std::getline(fields, rest);
    auto first = rest.find_first_not_of(' ');
    auto last = rest.find_last_not_of(' ');
    byId[id] = first == std::string::npos ? "" : rest.substr(first, last - first + 1);
  }
  return byId;
}

// "ni cls rtprio" of one thread as ps shows them, e.g. "-10 TS -" or "- RR 24".
inline std::string PsScheduling(uint32_t processId, uint32_t threadId) {
  auto output =
      CommandOutput("ps -L -o tid= -o ni= -o cls= -o rtprio= -p " + std::to_string(processId));
  if (!output) return "";
  std::istringstream lines(*output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    uint32_t tid = 0;
    std::string nice, policy, realtime;
    if (fields >> tid >> nice >> policy >> realtime && tid == threadId) {
      return nice + " " + policy + " " + realtime;
    }
  }
  return "";
}

}  // namespace tesmar::affinity::testing
