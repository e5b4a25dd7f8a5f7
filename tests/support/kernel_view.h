// What the kernel says about a process's threads, asked through the system's own tools
// (taskset, ps, renice), so that a test checks the outcome independently of our platform layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tesmar::tests {

// Standard output of a shell command; empty when it could not run.
std::string CommandOutput(const std::string& command);

// The affinity mask of a thread (a process id names its main thread); 0 when unreadable.
uint32_t TasksetMask(uint32_t threadId);
bool TasksetSetMask(uint32_t threadId, uint32_t mask);
// renice of one thread.
bool ReniceThread(uint32_t threadId, int nice);

struct ThreadScheduling {
  uint32_t threadId = 0;
  int nice = 0;
  std::string policy;  // ps's class: TS, B, RR, FF, IDL
};
// The threads of a process in ps's order (ascending thread id).
std::vector<ThreadScheduling> PsThreads(uint32_t processId);

// The test runs with the rights to raise priorities (root).
bool RunsAsRoot();

}  // namespace tesmar::tests
