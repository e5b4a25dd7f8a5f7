// CreateProcessA and GetExitCodeProcess: a program started as a child process, whose handle is
// signalled once it ended.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/descriptor.h"
#include "base/errno_to_win32.h"
#include "base/waitable_object.h"
#include "platform/child_process.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/process.h"

extern char** environ;

namespace tesmar::platform {
namespace {

class ChildProcessObject : public WaitableObject {
 public:
  ChildProcessObject(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}

  bool Wait(DWORD milliseconds) override {
    if (ExitCode()) return true;
    pollfd ended{pidfd_.get(), POLLIN, 0};
    int timeout = milliseconds == INFINITE ? -1 : static_cast<int>(milliseconds);
    int polled;
    while ((polled = poll(&ended, 1, timeout)) < 0 && errno == EINTR) {
    }
    return polled == 1 && ExitCode();
  }

  // The exit code once the child ended (it is reaped then); none while it runs.
  std::optional<DWORD> ExitCode() {
    std::lock_guard lock(mutex_);
    if (exitCode_) return exitCode_;
    int status = 0;
    pid_t reaped;
    while ((reaped = waitpid(pid_, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (reaped == pid_) {
      exitCode_ = WIFEXITED(status) ? DWORD(WEXITSTATUS(status))
                                    : DWORD(128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0));
    }
    return exitCode_;
  }

 private:
  std::mutex mutex_;
  pid_t pid_;
  OwnedDescriptor pidfd_;
  std::optional<DWORD> exitCode_;
};

bool IsExecutableFile(const std::string& path) {
  return access(path.c_str(), X_OK) == 0;
}

// The calling program's folder first, then PATH; a name with a slash is taken as it is.
std::optional<std::string> FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) {
    return IsExecutableFile(name) ? std::optional(name) : std::nullopt;
  }
  std::vector<std::string> folders;
  char self[4096];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    std::string own(self, static_cast<size_t>(length));
    folders.push_back(own.substr(0, own.rfind('/')));
  }
  const char* path = std::getenv("PATH");
  std::string remaining = path ? path : "/usr/local/bin:/usr/bin:/bin";
  for (size_t start = 0; start <= remaining.size();) {
    size_t end = remaining.find(':', start);
    if (end == std::string::npos) end = remaining.size();
    if (end > start) folders.push_back(remaining.substr(start, end - start));
    start = end + 1;
  }
  for (const std::string& folder : folders) {
    std::string candidate = folder + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

std::vector<std::string> EnvironmentBlock(const char* block) {
  std::vector<std::string> entries;
  for (const char* entry = block; *entry; entry += entries.back().size() + 1) {
    entries.emplace_back(entry);
  }
  return entries;
}

DWORD Create(LPCSTR applicationName, LPSTR commandLine, DWORD creationFlags, LPVOID environment,
             LPCSTR currentDirectory, LPPROCESS_INFORMATION information) {
  if (!information || (creationFlags & ~(NORMAL_PRIORITY_CLASS | DETACHED_PROCESS)) != 0) {
    return ERROR_INVALID_PARAMETER;
  }
  std::vector<std::string> arguments =
      commandLine ? SplitImagePath(commandLine) : std::vector<std::string>();
  std::string name = applicationName ? applicationName : arguments.empty() ? "" : arguments[0];
  if (name.empty()) return ERROR_INVALID_PARAMETER;
  if (arguments.empty()) arguments.push_back(name);
  auto program = FindProgram(name);
  if (!program) return ERROR_FILE_NOT_FOUND;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (currentDirectory) posix_spawn_file_actions_addchdir_np(&actions, currentDirectory);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (creationFlags & DETACHED_PROCESS) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(&attributes, flags);
  std::vector<std::string> environmentEntries;
  if (environment) environmentEntries = EnvironmentBlock(static_cast<const char*>(environment));
  std::vector<char*> argv = ExecVector(arguments);
  std::vector<char*> envp = ExecVector(environmentEntries);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, program->c_str(), &actions, &attributes, argv.data(),
                            environment ? envp.data() : environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return Win32ErrorFromErrno(spawned);

  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0) {
    DWORD error = Win32ErrorFromErrno(errno);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return error;
  }
  auto object = std::make_shared<ChildProcessObject>(pid, pidfd);
  information->hProcess = HandleTable::Instance().Insert(object);
  information->hThread = HandleTable::Instance().Insert(object);
  information->dwProcessId = static_cast<DWORD>(pid);
  information->dwThreadId = static_cast<DWORD>(pid);
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace tesmar::platform

using namespace tesmar::platform;

/***********************************************************************
 *           CreateProcessA
 *
 * Security attributes and the startup information are not used; handles are inherited as the
 * descriptors are (the layer's own are closed on exec).
 */
extern "C" BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                               LPSECURITY_ATTRIBUTES, BOOL, DWORD creationFlags, LPVOID environment,
                               LPCSTR currentDirectory, LPSTARTUPINFOA,
                               LPPROCESS_INFORMATION processInformation) noexcept {
  return BoolResult([&] {
    return Create(applicationName, commandLine, creationFlags, environment, currentDirectory,
                  processInformation);
  });
}

/***********************************************************************
 *           GetExitCodeProcess
 *
 * For a process started by CreateProcessA.
 */
extern "C" BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) noexcept {
  return BoolResult([&]() -> DWORD {
    auto child = HandleTable::Instance().Get<ChildProcessObject>(process);
    if (!child) return ERROR_INVALID_HANDLE;
    if (!exitCode) return ERROR_INVALID_PARAMETER;
    *exitCode = child->ExitCode().value_or(STILL_ACTIVE);
    return ERROR_SUCCESS;
  });
}
