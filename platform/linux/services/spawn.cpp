#include "services/spawn.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string_view>
#include <utility>

#include "base/command_line.h"
#include "base/descriptor.h"
#include "base/errno_to_win32.h"
#include "base/machine_root.h"
#include "platform/errors.h"

extern char** environ;

namespace tesmar::platform {
namespace {

// Messages from the two forked processes to the caller, one pipe write each.
enum class Report : int { ServiceProcess, ForkFailed, ExecFailed };
struct Message {
  Report kind;
  int value;
};

// Moves a descriptor above the standard ones, close-on-exec, so that redirecting 0 to 2 in the
// new process can never overwrite it.
OwnedDescriptor AboveStandardDescriptors(int descriptor) {
  if (descriptor >= 0 && descriptor <= 2) {
    int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
    close(descriptor);
    descriptor = moved;
  }
  return OwnedDescriptor(descriptor);
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& replacements) {
  std::vector<std::string> merged;
  for (char** entry = environ; entry && *entry; ++entry) {
    std::string_view variable(*entry);
    std::string_view name = variable.substr(0, variable.find('='));
    bool replaced = false;
    for (const std::string& replacement : replacements) {
      replaced = replaced || std::string_view(replacement).substr(0, replacement.find('=')) == name;
    }
    if (!replaced) merged.emplace_back(variable);
  }
  merged.insert(merged.end(), replacements.begin(), replacements.end());
  return merged;
}

void Send(int pipe, Report kind, int value) {
  Message message{kind, value};
  [[maybe_unused]] ssize_t written = write(pipe, &message, sizeof message);
}

// Runs in the forked service process: only calls that are safe after fork in a threaded program.
[[noreturn]] void BecomeService(char* const* arguments, char* const* environment, int input,
                                int errorLog, int ready, int reports) {
  close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  fcntl(ready, F_SETFD, 0);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults = {};
  defaults.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &defaults, nullptr);
  dup2(input, STDIN_FILENO);
  dup2(input, STDOUT_FILENO);
  dup2(errorLog, STDERR_FILENO);
  if (chdir("/") != 0) {
    // Starting elsewhere is harmless; the directory is a convention.
  }
  execve(arguments[0], arguments, environment);
  Send(reports, Report::ExecFailed, errno);
  _exit(127);
}

}  // namespace

DWORD SpawnDetachedService(const std::vector<std::string>& commandLine,
                           const std::vector<std::string>& environment,
                           const std::string& errorLogPath, SpawnedService* spawned) {
  if (commandLine.empty() || commandLine.front().empty()) return ERROR_FILE_NOT_FOUND;

  OwnedDescriptor nullDevice = AboveStandardDescriptors(open("/dev/null", O_RDWR | O_CLOEXEC));
  if (nullDevice.get() < 0) return SetLastErrorFromErrno();
  OwnedDescriptor errorLog = AboveStandardDescriptors(OpenOrMakeFile(
      errorLogPath, O_WRONLY | O_APPEND | O_CLOEXEC, MachineFileMode(MachineRoot())));
  int errorTarget = errorLog.get() >= 0 ? errorLog.get() : nullDevice.get();

  int reportEnds[2], readyEnds[2];
  if (pipe2(reportEnds, O_CLOEXEC) != 0) return SetLastErrorFromErrno();
  OwnedDescriptor reportRead = AboveStandardDescriptors(reportEnds[0]),
                  reportWrite = AboveStandardDescriptors(reportEnds[1]);
  if (pipe2(readyEnds, O_CLOEXEC) != 0) return SetLastErrorFromErrno();
  OwnedDescriptor readyRead = AboveStandardDescriptors(readyEnds[0]),
                  readyWrite = AboveStandardDescriptors(readyEnds[1]);

  std::vector<std::string> arguments(commandLine);
  std::vector<std::string> variables(environment);
  variables.push_back(std::string(kServiceReadyDescriptorVariable) + "=" +
                      std::to_string(readyWrite.get()));
  std::vector<std::string> merged = MergedEnvironment(variables);
  std::vector<char*> argumentPointers = ExecVector(arguments);
  std::vector<char*> environmentPointers = ExecVector(merged);

  pid_t intermediate = fork();
  if (intermediate < 0) return SetLastErrorFromErrno();
  if (intermediate == 0) {
    // A session of its own, then a second fork: the service is no child of the caller, and as
    // a process that leads no session it can never take a controlling terminal.
    setsid();
    pid_t service = fork();
    if (service < 0) {
      Send(reportWrite.get(), Report::ForkFailed, errno);
      _exit(1);
    }
    if (service > 0) {
      Send(reportWrite.get(), Report::ServiceProcess, service);
      _exit(0);
    }
    BecomeService(argumentPointers.data(), environmentPointers.data(), nullDevice.get(),
                  errorTarget, readyWrite.get(), reportWrite.get());
  }
  reportWrite.Reset();
  readyWrite.Reset();
  while (waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) {
  }

  // Read until both forked processes let go of the pipe: the service's copy closes at exec.
  int servicePid = 0, failure = 0;
  Message message;
  ssize_t got;
  while ((got = read(reportRead.get(), &message, sizeof message)) != 0) {
    if (got < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (got != sizeof message) break;
    if (message.kind == Report::ServiceProcess) servicePid = message.value;
    if (message.kind != Report::ServiceProcess) failure = message.value;
  }
  if (failure != 0 || servicePid == 0) {
    errno = failure != 0 ? failure : ECHILD;
    return SetLastErrorFromErrno();
  }
  spawned->process = IdentityOfProcess(servicePid);
  if (spawned->process.processId == 0) spawned->process.processId = servicePid;  // already gone
  spawned->readyDescriptor = readyRead.Release();
  return ERROR_SUCCESS;
}

}  // namespace tesmar::platform
