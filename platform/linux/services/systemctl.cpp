#include "services/systemctl.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/errno_to_win32.h"
#include "base/machine_root.h"
#include "platform/errors.h"
#include "platform/service.h"

extern char** environ;

namespace tesmar::platform {
namespace {

struct Outcome {
  bool ran = false;
  int exitCode = -1;
  std::string output;
};

// Runs systemctl with the arguments, its standard output read whole, standard input on
// /dev/null; its errors go where the caller's go.
Outcome RunSystemctl(const std::vector<std::string>& arguments) {
  Outcome outcome;
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) return outcome;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  std::vector<std::string> words{"systemctl"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = ExecVector(words);
  pid_t child = -1;
  int spawned = posix_spawnp(&child, "systemctl", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(output[1]);
  if (spawned == 0) {
    char buffer[4096];
    ssize_t got;
    while ((got = read(output[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
      if (got > 0) outcome.output.append(buffer, static_cast<size_t>(got));
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.ran = true;
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  close(output[0]);
  return outcome;
}

DWORD Systemctl(const std::vector<std::string>& arguments, DWORD failure) {
  Outcome outcome = RunSystemctl(arguments);
  if (!outcome.ran) return ERROR_FILE_NOT_FOUND;
  return outcome.exitCode == 0 ? ERROR_SUCCESS : failure;
}

std::string UnitPath(std::u16string_view serviceName) {
  return UnitFolder() + "/" + UnitName(serviceName);
}

}  // namespace

DWORD InstallUnit(std::u16string_view serviceName, const ServiceDefinition& definition) {
  std::string path = UnitPath(serviceName);
  std::error_code error;
  std::filesystem::create_directories(UnitFolder(), error);
  int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (file < 0) return errno == EEXIST ? ERROR_SERVICE_EXISTS : SetLastErrorFromErrno();
  std::string text =
      UnitText(serviceName, definition, std::filesystem::absolute(MachineRoot()).string());
  bool written = write(file, text.data(), text.size()) == ssize_t(text.size());
  int writeError = errno;
  close(file);
  DWORD result = ERROR_SUCCESS;
  if (!written) {
    errno = writeError;
    result = SetLastErrorFromErrno();
  }
  if (!result) result = Systemctl({"daemon-reload"}, ERROR_GEN_FAILURE);
  if (!result && definition.start == SERVICE_AUTO_START) {
    result = Systemctl({"enable", UnitName(serviceName)}, ERROR_GEN_FAILURE);
  }
  if (result) {
    unlink(path.c_str());
    Systemctl({"daemon-reload"}, ERROR_SUCCESS);
  }
  return result;
}

DWORD UpdateUnit(std::u16string_view serviceName, const ServiceDefinition& definition) {
  std::string path = UnitPath(serviceName);
  std::string temporary = path + ".new";
  std::string text =
      UnitText(serviceName, definition, std::filesystem::absolute(MachineRoot()).string());
  {
    std::ofstream file(temporary, std::ios::trunc);
    file << text;
    file.close();
    if (!file || rename(temporary.c_str(), path.c_str()) != 0) {
      unlink(temporary.c_str());
      return ERROR_CANTWRITE;
    }
  }
  if (DWORD error = Systemctl({"daemon-reload"}, ERROR_GEN_FAILURE)) return error;
  bool automatic = definition.start == SERVICE_AUTO_START;
  return Systemctl({automatic ? "enable" : "disable", UnitName(serviceName)}, ERROR_GEN_FAILURE);
}

DWORD RemoveUnit(std::u16string_view serviceName) {
  // Disabling a unit that was never enabled is no failure; the removal is what counts.
  Systemctl({"disable", UnitName(serviceName)}, ERROR_SUCCESS);
  if (unlink(UnitPath(serviceName).c_str()) != 0 && errno != ENOENT) {
    return SetLastErrorFromErrno();
  }
  return Systemctl({"daemon-reload"}, ERROR_GEN_FAILURE);
}

DWORD StartUnit(std::u16string_view serviceName) {
  return Systemctl({"start", UnitName(serviceName)}, ERROR_SERVICE_REQUEST_TIMEOUT);
}

DWORD StopUnit(std::u16string_view serviceName) {
  return Systemctl({"stop", UnitName(serviceName)}, ERROR_SERVICE_REQUEST_TIMEOUT);
}

std::optional<UnitState> QueryUnit(std::u16string_view serviceName) {
  Outcome outcome = RunSystemctl(
      {"show", "-p", "ActiveState,SubState,MainPID,ExecMainStatus", "--", UnitName(serviceName)});
  if (!outcome.ran || outcome.exitCode != 0) return std::nullopt;
  return ParseUnitShow(outcome.output);
}

}  // namespace tesmar::platform
