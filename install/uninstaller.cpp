#include "uninstaller.h"

#include <cstdio>
#include <string>
#include <vector>

#include "Scmkit.h"
#include "packet/data_key.h"
#include "platform/child_process.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/handles.h"
#include "platform/owned_handle.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/service_wait.h"

namespace tesmar::install {
namespace {

using tesmar::platform::OwnedKey;

// Deleted in this order: the first attempt on Ver2 fails while it has subkeys, the second
// takes it. "SOFTWARE\Kaltrix" stays.
constexpr const char* kKeysToDelete[] = {
    "SOFTWARE\\Kaltrix\\Tesmar\\Ver2",       "SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Client",
    "SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data", "SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Server",
    "SOFTWARE\\Kaltrix\\Tesmar\\Ver2",       "SOFTWARE\\Kaltrix\\Tesmar"};

void Say(const std::string& text) {
  std::fprintf(stderr, "Uninstall: %s\n", text.c_str());
}

// Stops and removes the service; false when it was there and did not stop in time.
bool StopAndRemoveService(SerSetupContext* context) {
  if (SerSetupServiceOpen(context, packet::kServiceNameNarrow) != 0) return true;  // none
  bool stopped = true;
  if (SerSetupServiceControl(context, SERSETUP_CONTROL_STOP) == 0) {
    SERVICE_STATUS status{};
    tesmar::platform::WaitWhilePending(context->ServiceHandle, SERVICE_STOP_PENDING, status);
    stopped = QueryServiceStatus(context->ServiceHandle, &status) &&
              status.dwCurrentState == SERVICE_STOPPED;
  }
  SerSetupServiceRemove(context);
  return stopped;
}

// InstallDir as stored (without a terminating NUL, or with one); empty when it cannot be read.
std::string ReadInstallDir(HKEY machine) {
  OwnedKey installation;
  if (RegOpenKeyExA(machine, packet::kInstallationKeyPath, 0, KEY_ALL_ACCESS,
                    installation.Receive()) != ERROR_SUCCESS) {
    return {};
  }
  DWORD type = REG_NONE, size = 0;
  if (RegQueryValueExA(installation.get(), packet::kInstallDirValue, nullptr, &type, nullptr,
                       &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  std::string directory(size, '\0');
  if (RegQueryValueExA(installation.get(), packet::kInstallDirValue, nullptr, &type,
                       reinterpret_cast<BYTE*>(directory.data()), &size) != ERROR_SUCCESS) {
    return {};
  }
  directory.resize(size);
  return directory.substr(0, directory.find('\0'));
}

void StartUninstaller(const std::string& program, const std::string& directory) {
  std::string commandLine = program;
  if (!directory.empty()) {
    std::string argument = "-f" + directory + kInstallManifest;
    commandLine +=
        argument.find(' ') == std::string::npos ? " " + argument : " \"" + argument + "\"";
  }
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  // Detached: it goes on when the terminal Uninstall ran in closes or the shell takes it back.
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                      NORMAL_PRIORITY_CLASS | DETACHED_PROCESS, nullptr, nullptr, &startup,
                      &started)) {
    const char* text = tesmar::platform::Win32ErrorMessage(GetLastError());
    Say("the uninstaller \"" + commandLine +
        "\" could not be started: " + (text ? text : "no text for this error"));
    return;
  }
  Say("started " + commandLine);
  // Not waited for: the uninstaller may remove this very program.
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
}

}  // namespace

int RunUninstall(const OperatorMessage& ask, const std::string& uninstallerProgram) {
  if (ask(kUninstallQuestion, kUninstallCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) !=
      IDYES) {
    return 0;
  }
  SerSetupContext* context = nullptr;
  SerSetupOpen(&context, nullptr);
  bool stopped = context ? StopAndRemoveService(context) : true;
  if (!stopped) Say("the service KaltrixTesmar did not stop: its registry keys are left");

  OwnedKey machine;
  RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, machine.Receive());
  std::string directory = machine ? ReadInstallDir(machine.get()) : std::string();
  if (directory.empty()) {
    Say("InstallDir is empty or missing: no service program is renamed");
  } else if (!MoveFileA((directory + kServiceProgram).c_str(),
                        (directory + kRenamedServiceProgram).c_str())) {
    const char* text = tesmar::platform::Win32ErrorMessage(GetLastError());
    Say(directory + kServiceProgram + " was not renamed: " + (text ? text : "no text"));
  }
  if (stopped && machine) {
    for (const char* key : kKeysToDelete) RegDeleteKeyA(machine.get(), key);
  }
  machine.Reset();

  StartUninstaller(uninstallerProgram, directory);
  if (context) SerSetupClose(context);
  return stopped ? 0 : 1;
}

}  // namespace tesmar::install
