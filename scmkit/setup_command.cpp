// SerSetupCmd and the install-time procedures it runs for the system's own service. A procedure
// answers 0 only when it did what it was asked; otherwise the error number of the step that
// failed, so that an installer told of success finds the system installed and running.
#include <cstring>

#include "Scmkit.h"
#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/owned_handle.h"
#include "platform/registry.h"
#include "platform/service_wait.h"
#include "platform_error.h"

namespace {

namespace packet = tesmar::packet;
using tesmar::platform::OwnedKey;
using tesmar::scmkit::PlatformError;

constexpr DWORD kBadArgument = 1;

// The context of the local machine's service manager, closed on every path.
class LocalContext {
 public:
  LocalContext() : opened_(SerSetupOpen(&context_, nullptr)) {}
  ~LocalContext() {
    if (context_) SerSetupClose(context_);
  }
  LocalContext(const LocalContext&) = delete;
  LocalContext& operator=(const LocalContext&) = delete;

  DWORD opened() const { return opened_; }
  SerSetupContext* get() const { return context_; }

 private:
  SerSetupContext* context_ = nullptr;
  DWORD opened_;
};

// The stop control only asks the service to stop. A configuration takes effect at the next
// start, and a start fails while the service still runs, so the install procedure waits for an
// older installation to stop before it starts the new one.
void StopAndWait(SerSetupContext* context) {
  if (SerSetupServiceControl(context, SERSETUP_CONTROL_STOP) != 0) return;  // not running
  SERVICE_STATUS status{};
  tesmar::platform::WaitWhilePending(context->ServiceHandle, SERVICE_STOP_PENDING, status);
}

DWORD RemoveProcedure() {
  LocalContext context;
  if (DWORD error = context.opened()) return error;
  DWORD opened = SerSetupServiceOpen(context.get(), packet::kServiceNameNarrow);
  if (opened == ERROR_SERVICE_DOES_NOT_EXIST) return 0;  // nothing to remove
  if (opened != 0) return opened;
  // A service that is not running refuses the stop control, and goes all the same. The
  // procedure waits for the stop, so that a package removal that follows finds no service
  // running from the files it deletes.
  StopAndWait(context.get());
  return SerSetupServiceRemove(context.get());
}

// An older installation is changed in place, not removed and made again: a service deleted while
// some process holds it open (a client's session) stays until that process lets go, so a new
// one could not be made meanwhile, and the installation would be lost once it did.
DWORD InstallProcedure(LPCSTR executablePath) {
  // Checked before anything is touched: a working installation stays as it is.
  if (!executablePath || !*executablePath) return kBadArgument;
  LocalContext context;
  if (DWORD error = context.opened()) return error;
  DWORD opened = SerSetupServiceOpen(context.get(), packet::kServiceNameNarrow);
  if (opened == 0) {
    StopAndWait(context.get());
    if (!ChangeServiceConfigA(context.get()->ServiceHandle, SERVICE_NO_CHANGE, SERVICE_AUTO_START,
                              SERVICE_NO_CHANGE, executablePath, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr)) {
      return PlatformError();
    }
  } else if (opened == ERROR_SERVICE_DOES_NOT_EXIST) {
    DWORD installed = SerSetupServiceInstall(context.get(), SERVICE_AUTO_START,
                                             packet::kServiceNameNarrow, executablePath);
    if (installed != 0) return installed;
  } else {
    return opened;
  }
  if (DWORD started = SerSetupServiceControl(context.get(), SERSETUP_CONTROL_START)) {
    return started;
  }
  // A service that stops at once (no registry to work in) is no installation.
  return tesmar::platform::WaitUntilStarted(context.get()->ServiceHandle);
}

// InstallDir holds the directory's bytes without a terminating NUL; its readers read it into a
// zero-filled buffer.
DWORD RecordDirectoryProcedure(LPCSTR directory) {
  if (!directory || !*directory) return kBadArgument;
  OwnedKey machine;
  LSTATUS status = RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, machine.Receive());
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  OwnedKey installationKey;
  status = RegCreateKeyExA(machine.get(), packet::kInstallationKeyPath, 0, nullptr,
                           REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           installationKey.Receive(), nullptr);
  if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
  return static_cast<DWORD>(RegSetValueExA(installationKey.get(), packet::kInstallDirValue, 0,
                                           REG_SZ, reinterpret_cast<const BYTE*>(directory),
                                           static_cast<DWORD>(std::strlen(directory))));
}

}  // namespace

extern "C" DWORD SerSetupCmd(HANDLE, const DWORD* commandCode, LPCSTR argument) noexcept {
  if (!commandCode) return 0;
  return static_cast<DWORD>(tesmar::platform::ErrorNumberResult([&]() -> DWORD {
    switch (*commandCode) {
      case SERSETUP_CMD_REMOVE:
        return RemoveProcedure();
      case SERSETUP_CMD_INSTALL:
        return InstallProcedure(argument);
      case SERSETUP_CMD_RECORD_DIRECTORY:
        return RecordDirectoryProcedure(argument);
      default:
        return 0;
    }
  }));
}
