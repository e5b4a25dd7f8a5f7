// SerSetupCmd and the install-time procedures it runs for the system's own service. Every step
// is only tested for success; nothing is reported to the installer.
#include <cstring>

#include "Scmkit.h"
#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/threading.h"

namespace {

using tesmar::packet::kInstallationKeyPath;
using tesmar::packet::kInstallDirValue;
using tesmar::packet::kServiceNameNarrow;

// How long the install procedure gives an older installation to stop, and how often it looks.
constexpr DWORD kStopWaitMilliseconds = 30000;
constexpr DWORD kStopLookMilliseconds = 50;

// The stop control only asks the service to stop; a service marked for deletion while it still
// runs keeps its definition, and a new one of the same name cannot be created until it stopped.
// So the install procedure waits for the older installation to stop before it replaces it.
void WaitUntilStopped(SC_HANDLE service) {
  for (DWORD waited = 0; waited < kStopWaitMilliseconds; waited += kStopLookMilliseconds) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED) return;
    Sleep(kStopLookMilliseconds);
  }
}

void RemoveProcedure() {
  SerSetupContext* context = nullptr;
  if (SerSetupOpen(&context, nullptr) != 0) return;
  if (SerSetupServiceOpen(context, kServiceNameNarrow) == 0) {
    SerSetupServiceControl(context, SERSETUP_CONTROL_STOP);
    SerSetupServiceRemove(context);
  }
  SerSetupClose(context);
}

void InstallProcedure(LPCSTR executablePath) {
  SerSetupContext* context = nullptr;
  if (SerSetupOpen(&context, nullptr) != 0) return;
  bool olderInstallationRemoved = true;
  if (SerSetupServiceOpen(context, kServiceNameNarrow) == 0) {
    SerSetupServiceControl(context, SERSETUP_CONTROL_STOP);
    WaitUntilStopped(context->ServiceHandle);
    olderInstallationRemoved = SerSetupServiceRemove(context) == 0;
  }
  if (olderInstallationRemoved && SerSetupServiceInstall(context, SERVICE_AUTO_START,
                                                         kServiceNameNarrow, executablePath) == 0) {
    SerSetupServiceControl(context, SERSETUP_CONTROL_START);
  }
  SerSetupClose(context);
}

// InstallDir holds the directory's bytes without a terminating NUL; its readers read it into a
// zero-filled buffer.
void RecordDirectoryProcedure(LPCSTR directory) {
  if (!directory) return;
  HKEY machine = nullptr;
  if (RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, &machine) != ERROR_SUCCESS) return;
  HKEY installationKey = nullptr;
  if (RegCreateKeyExA(machine, kInstallationKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &installationKey, nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(installationKey, kInstallDirValue, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(directory),
                   static_cast<DWORD>(std::strlen(directory)));
    RegCloseKey(installationKey);
  }
  RegCloseKey(machine);
}

}  // namespace

extern "C" DWORD SerSetupCmd(HANDLE, const DWORD* commandCode, LPCSTR argument) noexcept {
  if (!commandCode) return 0;
  switch (*commandCode) {
    case SERSETUP_CMD_REMOVE:
      RemoveProcedure();
      break;
    case SERSETUP_CMD_INSTALL:
      InstallProcedure(argument);
      break;
    case SERSETUP_CMD_RECORD_DIRECTORY:
      RecordDirectoryProcedure(argument);
      break;
    default:
      break;
  }
  return 0;
}
