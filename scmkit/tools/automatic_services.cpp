#include "automatic_services.h"

#include <string_view>

#include "platform/errors.h"
#include "platform/owned_handle.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/service_wait.h"
#include "platform/text.h"

namespace tesmar::scmkit {
namespace {

using platform::OwnedKey;
using platform::OwnedServiceHandle;

// Where the service manager keeps its definitions, one subkey a service.
constexpr char16_t kServicesKey[] = u"SYSTEM\\CurrentControlSet\\Services";
// A service name has at most 256 characters.
constexpr DWORD kNameRoom = 257;

DWORD ReadNumber(HKEY key, const char16_t* name, DWORD fallback) {
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return fallback;
  }
  return value;
}

bool StartsAutomatically(HKEY services, const char16_t* name) {
  OwnedKey definition;
  if (RegOpenKeyExW(services, name, 0, KEY_QUERY_VALUE, definition.Receive()) != ERROR_SUCCESS) {
    return false;  // deleted meanwhile
  }
  return ReadNumber(definition.get(), u"Start", SERVICE_DEMAND_START) == SERVICE_AUTO_START &&
         ReadNumber(definition.get(), u"DeleteFlag", 0) == 0;
}

std::string Utf8(std::u16string_view text) {
  auto length = static_cast<int>(text.size());
  int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string narrow(needed > 0 ? needed : 0, '\0');
  if (needed > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
  }
  return narrow;
}

void Report(std::FILE* out, std::u16string_view name, const char* what, DWORD error = 0) {
  std::string line = Utf8(name) + ": " + what;
  if (error) {
    const char* text = platform::Win32ErrorMessage(error);
    line +=
        " (error " + std::to_string(error) + ": " + (text ? text : "no text for this error") + ")";
  }
  std::fprintf(out, "%s\n", line.c_str());
}

DWORD LastErrorOr(DWORD fallback) {
  DWORD error = GetLastError();
  return error ? error : fallback;
}

// True when the service runs once the pass is over.
bool StartOne(SC_HANDLE service, std::u16string_view name, std::FILE* out) {
  if (!StartServiceW(service, 0, nullptr)) {
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_ALREADY_RUNNING) {
      Report(out, name, "already running");
      return true;
    }
    Report(out, name, "not started", error);
    return false;
  }
  if (DWORD error = platform::WaitUntilStarted(service)) {
    Report(out, name, "started but did not run", error);
    return false;
  }
  Report(out, name, "started");
  return true;
}

// True when the service is stopped once the pass is over.
bool StopOne(SC_HANDLE service, std::u16string_view name, std::FILE* out) {
  SERVICE_STATUS status{};
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    DWORD error = GetLastError();
    if (error == ERROR_SERVICE_NOT_ACTIVE) {
      Report(out, name, "not running");
      return true;
    }
    Report(out, name, "not stopped", error);
    return false;
  }
  if (!platform::WaitWhilePending(service, SERVICE_STOP_PENDING, status)) {
    Report(out, name, "stop asked, state unknown", LastErrorOr(ERROR_GEN_FAILURE));
    return false;
  }
  if (status.dwCurrentState != SERVICE_STOPPED) {
    Report(out, name, "still stopping");
    return false;
  }
  Report(out, name, "stopped");
  return true;
}

const char* StateText(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED:
      return "stopped";
    case SERVICE_START_PENDING:
      return "starting";
    case SERVICE_STOP_PENDING:
      return "stopping";
    case SERVICE_RUNNING:
      return "running";
    case SERVICE_CONTINUE_PENDING:
      return "continuing";
    case SERVICE_PAUSE_PENDING:
      return "pausing";
    case SERVICE_PAUSED:
      return "paused";
    default:
      return "in an unknown state";
  }
}

}  // namespace

DWORD ListAutomaticServices(std::vector<std::u16string>& names) {
  names.clear();
  OwnedKey services;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_READ, services.Receive());
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  for (DWORD index = 0;; ++index) {
    char16_t name[kNameRoom];
    DWORD chars = kNameRoom;
    status = RegEnumKeyExW(services.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
    if (StartsAutomatically(services.get(), name)) names.emplace_back(name, chars);
  }
}

int RunAutomaticPass(AutomaticPass pass, std::FILE* out) {
  const int failed = pass == AutomaticPass::kStatus ? 4 : 1;
  std::vector<std::u16string> names;
  if (DWORD error = ListAutomaticServices(names)) {
    Report(out, u"services", "not read", error);
    return failed;
  }
  OwnedServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    Report(out, u"service manager", "not reached", LastErrorOr(ERROR_GEN_FAILURE));
    return failed;
  }
  if (names.empty()) {
    std::fprintf(out, "no service starts automatically\n");
    return pass == AutomaticPass::kStatus ? 3 : 0;
  }
  int result = 0;
  for (const std::u16string& name : names) {
    OwnedServiceHandle service(OpenServiceW(manager.get(), name.c_str(),
                                            SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (!service) {
      Report(out, name, "not opened", LastErrorOr(ERROR_GEN_FAILURE));
      result = failed;
      continue;
    }
    switch (pass) {
      case AutomaticPass::kStart:
        if (!StartOne(service.get(), name, out)) result = failed;
        break;
      case AutomaticPass::kStop:
        if (!StopOne(service.get(), name, out)) result = failed;
        break;
      case AutomaticPass::kStatus: {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service.get(), &status)) {
          Report(out, name, "state unknown", LastErrorOr(ERROR_GEN_FAILURE));
          result = failed;
        } else {
          Report(out, name, StateText(status.dwCurrentState));
          if (status.dwCurrentState != SERVICE_RUNNING && result == 0) result = 3;
        }
        break;
      }
    }
  }
  return result;
}

}  // namespace tesmar::scmkit
