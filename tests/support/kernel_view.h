// What the kernel says about processes and threads, asked through the system's own tools
// (taskset, ps, renice), so that a test checks an outcome independently of the code under test.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tesmar::testing {

// Standard output of a shell command, its standard error dropped; none when it could not run or
// exited with a failure.
std::optional<std::string> CommandOutput(const std::string& command);

// The affinity mask `taskset -p` shows for a thread (a process id names its main thread).
std::optional<uint32_t> TasksetMask(uint32_t threadId);
// taskset -p of one thread, or with everyThread of every thread of a process.
bool SetTasksetMask(uint32_t threadId, uint32_t mask, bool everyThread = false);
// renice of one thread.
bool ReniceThread(uint32_t threadId, int nice);

// One thread as `ps -L` shows it.
struct PsThread {
  uint32_t threadId = 0;
  std::string nice;              // "-" for a real-time thread
  std::string policy;            // ps's class: TS, B, RR, FF, IDL
  std::string realtimePriority;  // "-" for a thread that is not real-time

  int NiceValue() const { return nice == "-" ? 0 : std::stoi(nice); }
  // "ni cls rtprio", e.g. "-10 TS -" or "- RR 24".
  std::string Scheduling() const { return nice + " " + policy + " " + realtimePriority; }
};
// The threads of a process in ps's order (ascending thread id).
std::vector<PsThread> PsThreads(uint32_t processId);
// One thread of a process; none when ps does not show it.
std::optional<PsThread> PsThreadOf(uint32_t processId, uint32_t threadId);

// A column of `ps -e` for every process: process id -> the column, trimmed.
std::map<uint32_t, std::string> PsColumnById(const std::string& column);

// The test runs with the rights to raise priorities (root).
bool RunsAsRoot();

}  // namespace tesmar::testing
