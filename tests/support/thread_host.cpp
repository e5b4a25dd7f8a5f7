#include "support/thread_host.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "support/programs.h"

extern char** environ;

namespace tesmar::testing {

SpawnedThreadHost::SpawnedThreadHost(unsigned threadCount) {
  start(threadCount);
}

SpawnedThreadHost::~SpawnedThreadHost() {
  stop();
}

namespace {

// A fork of this process, made the program on the pipes: with ns_last_pid it takes the wanted
// id, and setpriv runs the program as another user in the same process. -1 when it failed.
pid_t ForkAndRun(const std::vector<std::string>& command, int input, int output,
                 std::optional<uint32_t> onProcessId) {
  if (onProcessId) {
    int lastPid = open("/proc/sys/kernel/ns_last_pid", O_WRONLY | O_CLOEXEC);
    if (lastPid < 0) return -1;
    std::string previous = std::to_string(*onProcessId - 1);
    bool written = write(lastPid, previous.data(), previous.size()) == ssize_t(previous.size());
    close(lastPid);
    if (!written) return -1;
  }
  std::vector<char*> arguments;
  for (const std::string& word : command) arguments.push_back(const_cast<char*>(word.c_str()));
  arguments.push_back(nullptr);
  pid_t child = fork();
  if (child == 0) {
    dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    execve(arguments[0], arguments.data(), environ);
    _exit(127);
  }
  return child;
}

}  // namespace

bool SpawnedThreadHost::start(unsigned threadCount, const Launch& launch) {
  stop();
  int toChild[2];
  int fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) return false;
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return false;
  }
  std::string program = BuildProgram("tesmar_thread_host");
  std::string count = std::to_string(threadCount);
  pid_t child = -1;
  int spawned = 0;
  if (!launch.onProcessId && !launch.asUser) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    char* arguments[] = {program.data(), count.data(), nullptr};
    spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
  } else {
    std::vector<std::string> command{program, count};
    if (launch.asUser) {
      std::string id = std::to_string(*launch.asUser);
      command.insert(command.begin(), {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id,
                                       "--clear-groups", "--"});
    }
    child = ForkAndRun(command, toChild[0], fromChild[1], launch.onProcessId);
    if (child < 0) spawned = 1;
  }
  close(toChild[0]);
  close(fromChild[1]);
  if (spawned != 0) {
    close(toChild[1]);
    close(fromChild[0]);
    return false;
  }
  pid_ = static_cast<uint32_t>(child);
  stdinFd_ = toChild[1];

  std::string line;
  char byte;
  while (read(fromChild[0], &byte, 1) == 1 && byte != '\n') line.push_back(byte);
  close(fromChild[0]);
  std::istringstream words(line);
  std::string ready;
  uint32_t reportedPid = 0;
  words >> ready >> reportedPid;
  threadIds_.clear();
  for (uint32_t id; words >> id;) threadIds_.push_back(id);
  if (ready != "ready" || reportedPid != pid_ || threadIds_.size() != threadCount ||
      (launch.onProcessId && pid_ != *launch.onProcessId)) {
    stop();
    return false;
  }
  return true;
}

void SpawnedThreadHost::stop() {
  if (stdinFd_ >= 0) {
    close(stdinFd_);
    stdinFd_ = -1;
  }
  if (pid_ != 0) {
    int status = 0;
    // A child that does not leave at end of input within a second is killed.
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (waitpid(static_cast<pid_t>(pid_), &status, WNOHANG) != 0) {
        pid_ = 0;
        return;
      }
      usleep(10000);
    }
    kill(static_cast<pid_t>(pid_), SIGKILL);
    waitpid(static_cast<pid_t>(pid_), &status, 0);
    pid_ = 0;
  }
}

}  // namespace tesmar::testing
