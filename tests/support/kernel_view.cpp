#include "support/kernel_view.h"

#include <cstdio>
#include <memory>
#include <sstream>

namespace tesmar::testing {

std::optional<std::string> CommandOutput(const std::string& command) {
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string output;
  char chunk[4096];
  while (std::size_t read = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, read);
  if (pclose(pipe) != 0) return std::nullopt;
  return output;
}

std::optional<uint32_t> TasksetMask(uint32_t threadId) {
  // "pid 1234's current affinity mask: 3"
  std::optional<std::string> output = CommandOutput("taskset -p " + std::to_string(threadId));
  if (!output) return std::nullopt;
  std::size_t colon = output->rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  return static_cast<uint32_t>(std::stoul(output->substr(colon + 1), nullptr, 16));
}

bool SetTasksetMask(uint32_t threadId, uint32_t mask, bool everyThread) {
  std::ostringstream command;
  command << "taskset " << (everyThread ? "-a " : "") << "-p 0x" << std::hex << mask << ' '
          << std::dec << threadId << " >/dev/null";
  return CommandOutput(command.str()).has_value();
}

bool ReniceThread(uint32_t threadId, int nice) {
  return CommandOutput("renice -n " + std::to_string(nice) + " -p " + std::to_string(threadId) +
                       " >/dev/null")
      .has_value();
}

std::vector<PsThread> PsThreads(uint32_t processId) {
  std::vector<PsThread> threads;
  std::optional<std::string> output =
      CommandOutput("ps -L -o tid= -o ni= -o cls= -o rtprio= -p " + std::to_string(processId));
  if (!output) return threads;
  std::istringstream lines(*output);
  PsThread thread;
  while (lines >> thread.threadId >> thread.nice >> thread.policy >> thread.realtimePriority) {
    threads.push_back(thread);
  }
  return threads;
}

std::optional<PsThread> PsThreadOf(uint32_t processId, uint32_t threadId) {
  for (const PsThread& thread : PsThreads(processId)) {
    if (thread.threadId == threadId) return thread;
  }
  return std::nullopt;
}

std::map<uint32_t, std::string> PsColumnById(const std::string& column) {
  std::map<uint32_t, std::string> byId;
  std::optional<std::string> output = CommandOutput("ps -e -o pid= -o " + column + "=");
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

bool RunsAsRoot() {
  return CommandOutput("id -u").value_or("") == "0\n";
}

}  // namespace tesmar::testing
