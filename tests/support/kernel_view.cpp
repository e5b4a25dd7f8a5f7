#include "kernel_view.h"

#include <cstdio>
#include <memory>
#include <sstream>

namespace tesmar::tests {

std::string CommandOutput(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return {};
  std::string output;
  char chunk[4096];
  while (std::size_t read = std::fread(chunk, 1, sizeof chunk, pipe.get())) {
    output.append(chunk, read);
  }
  return output;
}

uint32_t TasksetMask(uint32_t threadId) {
  // "pid 1234's current affinity mask: 3"
  std::string output = CommandOutput("taskset -p " + std::to_string(threadId) + " 2>/dev/null");
  std::size_t colon = output.rfind(": ");
  if (colon == std::string::npos) return 0;
  return static_cast<uint32_t>(std::stoul(output.substr(colon + 2), nullptr, 16));
}

bool TasksetSetMask(uint32_t threadId, uint32_t mask) {
  std::ostringstream command;
  command << "taskset -p " << std::hex << mask << std::dec << ' ' << threadId
          << " >/dev/null 2>&1 && echo ok";
  return CommandOutput(command.str()).starts_with("ok");
}

bool ReniceThread(uint32_t threadId, int nice) {
  std::string command = "renice -n " + std::to_string(nice) + " -p " + std::to_string(threadId) +
                        " >/dev/null 2>&1 && echo ok";
  return CommandOutput(command).starts_with("ok");
}

std::vector<ThreadScheduling> PsThreads(uint32_t processId) {
  std::istringstream lines(
      CommandOutput("ps -L -o tid=,ni=,cls= -p " + std::to_string(processId) + " 2>/dev/null"));
  std::vector<ThreadScheduling> threads;
  ThreadScheduling thread;
  std::string nice;
  while (lines >> thread.threadId >> nice >> thread.policy) {
    // ps shows "-" for the nice value of real-time threads.
    thread.nice = nice == "-" ? 0 : std::stoi(nice);
    threads.push_back(thread);
  }
  return threads;
}

bool RunsAsRoot() {
  return CommandOutput("id -u").starts_with("0");
}

}  // namespace tesmar::tests
