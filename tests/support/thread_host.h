// A tesmar_thread_host child for real-kernel tests: N threads that only sleep, ended when the
// object goes (its stdin closes, and the child is reaped).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tesmar::testing {

class SpawnedThreadHost {
 public:
  // How the child is started: by default as any other child.
  struct Launch {
    // The process id it must have (root only, through /proc/sys/kernel/ns_last_pid; nobody
    // else may start a process meanwhile). start() fails when the id went to another process.
    std::optional<uint32_t> onProcessId;
    // Run as this user (and its group of the same number), through setpriv.
    std::optional<uint32_t> asUser;
  };

  SpawnedThreadHost() = default;
  // Starts at once; check started().
  explicit SpawnedThreadHost(unsigned threadCount);
  ~SpawnedThreadHost();
  SpawnedThreadHost(const SpawnedThreadHost&) = delete;
  SpawnedThreadHost& operator=(const SpawnedThreadHost&) = delete;

  // Starts the child and waits for its ready line. False when it could not.
  bool start(unsigned threadCount, const Launch& launch = {});
  bool started() const { return pid_ != 0; }
  uint32_t pid() const { return pid_; }
  // The main thread first, then the others in creation order.
  const std::vector<uint32_t>& threadIds() const { return threadIds_; }
  // Ends the child and waits for it; threadIds() stay as they were.
  void stop();

 private:
  uint32_t pid_ = 0;
  int stdinFd_ = -1;
  std::vector<uint32_t> threadIds_;
};

}  // namespace tesmar::testing
