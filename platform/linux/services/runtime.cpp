#include "services/runtime.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/case_folding.h"
#include "base/errno_to_win32.h"
#include "base/machine_root.h"
#include "base/text_conversion.h"
#include "platform/errors.h"

namespace tesmar::platform {
namespace {

namespace fs = std::filesystem;

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Written beside the target and renamed over it, so a reader sees the old record or the new one,
// never a part; synced first, so a crash leaves one of the two as well.
DWORD ReplaceFile(const std::string& path, std::string_view content) {
  std::string temporary =
      path + ".new-" + std::to_string(getpid()) + "-" + std::to_string(gettid());
  int file =
      OpenOrMakeFile(temporary, O_WRONLY | O_TRUNC | O_CLOEXEC, MachineFileMode(MachineRoot()));
  if (file < 0) return SetLastErrorFromErrno();
  bool written = write(file, content.data(), content.size()) == ssize_t(content.size());
  bool synced = written && fsync(file) == 0;
  int error = errno;
  close(file);
  if (!synced || rename(temporary.c_str(), path.c_str()) != 0) {
    if (synced) error = errno;
    unlink(temporary.c_str());
    errno = error;
    return SetLastErrorFromErrno();
  }
  return ERROR_SUCCESS;
}

std::string HolderFileName(const ProcessIdentity& process) {
  return std::to_string(process.processId) + "-" + std::to_string(process.startTime);
}

std::optional<ProcessIdentity> ParseHolderFileName(std::string_view name) {
  size_t dash = name.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  ProcessIdentity process;
  auto first = std::from_chars(name.data(), name.data() + dash, process.processId);
  auto second =
      std::from_chars(name.data() + dash + 1, name.data() + name.size(), process.startTime);
  if (first.ec != std::errc() || second.ec != std::errc()) return std::nullopt;
  return process;
}

}  // namespace

std::string FoldedServiceName(std::u16string_view serviceName) {
  // Folded as the registry folds the names of the definitions, so that every spelling the
  // registry finds a service by reaches the same records; ASCII letters are then lowered for
  // the folder's sake, which keeps names that fold apart apart.
  std::string folded;
  for (char c : Utf16ToUtf8(FoldCase(serviceName))) {
    if (c >= 'A' && c <= 'Z') {
      folded += static_cast<char>(c - 'A' + 'a');
    } else if (c == '/' || c == '%') {
      // Names never hold a slash (they are refused before); kept unambiguous all the same.
      folded += c == '/' ? "%2f" : "%25";
    } else {
      folded += c;
    }
  }
  return folded;
}

std::string FormatStatusRecord(const StatusRecord& record) {
  const SERVICE_STATUS& s = record.status;
  std::ostringstream text;
  text << s.dwCurrentState << ' ' << s.dwServiceType << ' ' << s.dwControlsAccepted << ' '
       << s.dwWin32ExitCode << ' ' << s.dwServiceSpecificExitCode << ' ' << s.dwCheckPoint << ' '
       << s.dwWaitHint << ' ' << record.process.processId << ' ' << record.process.startTime
       << '\n';
  return text.str();
}

std::optional<StatusRecord> ParseStatusRecord(std::string_view text) {
  std::istringstream fields{std::string(text)};
  StatusRecord record;
  SERVICE_STATUS& s = record.status;
  if (!(fields >> s.dwCurrentState >> s.dwServiceType >> s.dwControlsAccepted >>
        s.dwWin32ExitCode >> s.dwServiceSpecificExitCode >> s.dwCheckPoint >> s.dwWaitHint >>
        record.process.processId >> record.process.startTime)) {
    return std::nullopt;
  }
  if (s.dwCurrentState < SERVICE_STOPPED || s.dwCurrentState > SERVICE_PAUSED) return std::nullopt;
  return record;
}

ServiceRuntime::ServiceRuntime(std::u16string_view serviceName)
    : directory_(MachineRoot() + "/services/" + FoldedServiceName(serviceName)) {}

DWORD ServiceRuntime::EnsureDirectory() const {
  std::string root = MachineRoot();
  if (!MakeMachineRoot(root) || !MakeFolders(directory_ + "/handles", MachineFolderMode(root))) {
    return SetLastErrorFromErrno();
  }
  return ERROR_SUCCESS;
}

std::optional<StatusRecord> ServiceRuntime::ReadStatus() const {
  return ParseStatusRecord(ReadWholeFile(directory_ + "/status"));
}

DWORD ServiceRuntime::WriteStatus(const StatusRecord& record) const {
  if (DWORD error = EnsureDirectory()) return error;
  return ReplaceFile(directory_ + "/status", FormatStatusRecord(record));
}

void ServiceRuntime::AppendHistory(int processId, const SERVICE_STATUS& s) const {
  if (EnsureDirectory() != ERROR_SUCCESS) return;
  char line[160];
  int length =
      std::snprintf(line, sizeof line, "%d %u %u %u %u %u %u %u\n", processId, s.dwCurrentState,
                    s.dwServiceType, s.dwControlsAccepted, s.dwWin32ExitCode,
                    s.dwServiceSpecificExitCode, s.dwCheckPoint, s.dwWaitHint);
  int file = OpenOrMakeFile(directory_ + "/history", O_WRONLY | O_APPEND | O_CLOEXEC,
                            MachineFileMode(MachineRoot()));
  if (file < 0) return;
  // One write of the whole line: reports of two processes never interleave.
  [[maybe_unused]] ssize_t written = write(file, line, static_cast<size_t>(length));
  close(file);
}

std::vector<ReportedStatus> ServiceRuntime::ReadHistory() const {
  std::vector<ReportedStatus> history;
  std::istringstream lines(ReadWholeFile(directory_ + "/history"));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    ReportedStatus report{};
    SERVICE_STATUS& s = report.status;
    if (fields >> report.processId >> s.dwCurrentState >> s.dwServiceType >> s.dwControlsAccepted >>
        s.dwWin32ExitCode >> s.dwServiceSpecificExitCode >> s.dwCheckPoint >> s.dwWaitHint) {
      history.push_back(report);
    }
  }
  return history;
}

DWORD ServiceRuntime::WriteArguments(const std::vector<std::string>& arguments) const {
  if (DWORD error = EnsureDirectory()) return error;
  std::string content;
  for (const std::string& argument : arguments) {
    content += argument;
    content += '\0';
  }
  return ReplaceFile(directory_ + "/arguments", content);
}

std::vector<std::string> ServiceRuntime::ReadArguments() const {
  std::vector<std::string> arguments;
  std::string content = ReadWholeFile(directory_ + "/arguments");
  size_t begin = 0;
  for (size_t end; (end = content.find('\0', begin)) != std::string::npos; begin = end + 1) {
    arguments.push_back(content.substr(begin, end - begin));
  }
  return arguments;
}

void ServiceRuntime::AddHandleHolder(const ProcessIdentity& process) const {
  if (EnsureDirectory() != ERROR_SUCCESS) return;
  int file = OpenOrMakeFile(directory_ + "/handles/" + HolderFileName(process),
                            O_WRONLY | O_CLOEXEC, MachineFileMode(MachineRoot()));
  if (file >= 0) close(file);
}

void ServiceRuntime::RemoveHandleHolder(const ProcessIdentity& process) const {
  unlink((directory_ + "/handles/" + HolderFileName(process)).c_str());
}

bool ServiceRuntime::HasOtherHandleHolders(const ProcessIdentity& self) const {
  std::error_code error;
  bool found = false;
  for (const auto& entry : fs::directory_iterator(directory_ + "/handles", error)) {
    auto holder = ParseHolderFileName(entry.path().filename().string());
    if (holder && *holder == self) continue;
    if (holder && IsAlive(*holder)) {
      found = true;
    } else {
      std::error_code ignored;
      fs::remove(entry.path(), ignored);
    }
  }
  return found;
}

std::string ServiceRuntime::ControlSocketName(int processId) {
  return "control-" + std::to_string(processId);
}

void ServiceRuntime::RemoveServiceRecords() const {
  std::error_code ignored;
  fs::remove(directory_ + "/status", ignored);
  fs::remove(directory_ + "/arguments", ignored);
  fs::remove_all(directory_ + "/handles", ignored);
}

ServiceLock::ServiceLock(const ServiceRuntime& runtime) {
  if (runtime.EnsureDirectory() != ERROR_SUCCESS) return;
  file_ = OpenOrMakeFile(runtime.directory() + "/lock", O_RDWR | O_CLOEXEC,
                         MachineFileMode(MachineRoot()));
  if (file_ >= 0) {
    while (flock(file_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
}

ServiceLock::~ServiceLock() {
  // Unlocked explicitly: a process spawned meanwhile may still share the descriptor.
  if (file_ >= 0) {
    flock(file_, LOCK_UN);
    close(file_);
  }
}

}  // namespace tesmar::platform
