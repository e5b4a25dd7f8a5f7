#include "services/systemd_unit.h"

#include <sys/stat.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "base/command_line.h"
#include "base/text_conversion.h"
#include "platform/errors.h"
#include "services/dispatcher_link.h"

namespace tesmar::platform {
namespace {

std::string SystemdRoot() {
  const char* root = std::getenv(kSystemdRootVariable);
  return root ? root : "";
}

// A word of a unit setting in double quotes: backslash and quote escaped, control characters
// as \xNN, and "%" doubled so that systemd reads no specifier.
std::string Quoted(std::string_view word, bool escapeDollar) {
  std::string quoted = "\"";
  for (char c : word) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (c == '%') {
      quoted += "%%";
    } else if (c == '$' && escapeDollar) {
      quoted += "$$";  // ExecStart= would expand $NAME
    } else if (byte < 0x20 || byte == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + '"';
}

// Text of one line of a unit (Description=): no line break, "%" doubled.
std::string OneLine(std::string_view text) {
  std::string line;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      line += ' ';
    } else if (c == '%') {
      line += "%%";
    } else {
      line += c;
    }
  }
  return line;
}

// What systemd does when the process fails, after what the error control asks when a service
// fails to start: ignored, or tried again.
const char* RestartFor(DWORD errorControl) {
  return errorControl == SERVICE_ERROR_IGNORE ? "no" : "on-failure";
}

}  // namespace

bool SystemdRuns() {
  struct stat status {};
  std::string folder = SystemdRoot() + "/run/systemd/system";
  return stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string UnitFolder() {
  return SystemdRoot() + "/etc/systemd/system";
}

std::string UnitName(std::u16string_view serviceName) {
  std::string name = "tesmar-";
  for (char c : FoldedServiceName(serviceName)) {
    unsigned char byte = static_cast<unsigned char>(c);
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '_' || c == '.' || c == ':' || c == '-';
    if (plain) {
      name += c;
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
      name += escaped;
    }
  }
  return name + ".service";
}

std::string UnitText(std::u16string_view serviceName, const ServiceDefinition& definition,
                     const std::string& machineRoot) {
  std::string command;
  for (const std::string& word : SplitImagePath(Utf16ToUtf8(definition.imagePath))) {
    if (!command.empty()) command += ' ';
    command += Quoted(word, true);
  }
  std::string name = Utf16ToUtf8(serviceName);
  std::ostringstream unit;
  unit << "[Unit]\n"
       << "Description=" << OneLine(Utf16ToUtf8(definition.displayName)) << "\n\n"
       << "[Service]\n"
       << "Type=notify\n"
       << "NotifyAccess=main\n"
       << "ExecStart=" << command << '\n'
       << "Environment=" << Quoted(std::string(kMachineRootVariable) + "=" + machineRoot, false)
       << ' ' << Quoted(std::string(kServiceNameVariable) + "=" + name, false) << ' '
       << Quoted(std::string(kServiceManagerVariable) + "=systemd", false) << '\n'
       << "Restart=" << RestartFor(definition.errorControl) << '\n'
       << "\n[Install]\n"
       << "WantedBy=multi-user.target\n";
  return unit.str();
}

std::optional<UnitState> ParseUnitShow(std::string_view text) {
  UnitState unit;
  bool active = false;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string_view key(line.data(), equals), value(line.data() + equals + 1);
    auto number = [&](int& target) {
      std::from_chars(value.data(), value.data() + value.size(), target);
    };
    if (key == "ActiveState") {
      unit.activeState = value;
      active = !value.empty();
    } else if (key == "SubState") {
      unit.subState = value;
    } else if (key == "MainPID") {
      number(unit.mainProcessId);
    } else if (key == "ExecMainStatus") {
      number(unit.execMainStatus);
    }
  }
  if (!active) return std::nullopt;
  return unit;
}

SERVICE_STATUS StatusFromUnit(const UnitState& unit, const std::optional<StatusRecord>& reported,
                              const StatusRecord& current) {
  const std::string& state = unit.activeState;
  if (state == "inactive" || state == "failed") {
    SERVICE_STATUS status = current.status;
    status.dwCurrentState = SERVICE_STOPPED;
    status.dwControlsAccepted = 0;
    status.dwCheckPoint = status.dwWaitHint = 0;
    bool reportedStop = reported && reported->status.dwCurrentState == SERVICE_STOPPED;
    if (!reportedStop && unit.execMainStatus != 0) {
      // It ended without reporting: its exit status is the service's error.
      status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
      status.dwServiceSpecificExitCode = static_cast<DWORD>(unit.execMainStatus);
    }
    return status;
  }
  bool itsOwn = reported && unit.mainProcessId != 0 &&
                reported->process.processId == unit.mainProcessId &&
                reported->status.dwCurrentState != SERVICE_STOPPED;
  SERVICE_STATUS status{
      SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, ERROR_SUCCESS, 0, 0, 2000};
  if (itsOwn) status = reported->status;
  if (state == "deactivating" && (!itsOwn || status.dwCurrentState != SERVICE_STOP_PENDING)) {
    status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_STOP_PENDING, 0, ERROR_SUCCESS, 0, 0, 2000};
  }
  return status;
}

}  // namespace tesmar::platform
