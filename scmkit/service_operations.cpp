// The operations on one service of a context: open, close, install, remove, start and stop.
#include "Scmkit.h"
#include "platform_error.h"

using tesmar::scmkit::PlatformError;

namespace {

bool IsMissing(LPCSTR text) {
  return !text || text[0] == '\0';
}

// A context holds one service at a time: a newly opened or created one replaces the old.
void KeepService(SerSetupContext* context, SC_HANDLE service) {
  SerSetupServiceClose(context);
  context->ServiceHandle = service;
}

}  // namespace

extern "C" DWORD SerSetupServiceOpen(SerSetupContext* context, LPCSTR serviceName) noexcept {
  if (!context || IsMissing(serviceName)) return 1;
  SC_HANDLE service = OpenServiceA(context->ScmHandle, serviceName, SERVICE_ALL_ACCESS);
  if (!service) return PlatformError();
  KeepService(context, service);
  return 0;
}

extern "C" DWORD SerSetupServiceClose(SerSetupContext* context) noexcept {
  if (!context) return 1;
  if (context->ServiceHandle) {
    CloseServiceHandle(context->ServiceHandle);
    context->ServiceHandle = nullptr;
  }
  return 0;
}

extern "C" DWORD SerSetupServiceInstall(SerSetupContext* context, DWORD startType,
                                        LPCSTR serviceName, LPCSTR executablePath) noexcept {
  if (!context || IsMissing(serviceName) || IsMissing(executablePath)) return 1;
  SC_HANDLE service = CreateServiceA(
      context->ScmHandle, serviceName, serviceName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      startType, SERVICE_ERROR_NORMAL, executablePath, /*loadOrderGroup=*/nullptr,
      /*tagId=*/nullptr, /*dependencies=*/nullptr, /*serviceStartName=*/nullptr,
      /*password=*/nullptr);
  if (!service) return PlatformError();
  KeepService(context, service);
  return 0;
}

extern "C" DWORD SerSetupServiceRemove(SerSetupContext* context) noexcept {
  if (!context || !context->ServiceHandle) return 1;
  if (!DeleteService(context->ServiceHandle)) return PlatformError();
  return SerSetupServiceClose(context);
}

extern "C" DWORD SerSetupServiceControl(SerSetupContext* context, DWORD command) noexcept {
  if (!context || !context->ServiceHandle || !context->ScmHandle) return 1;
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(context->ServiceHandle, &status)) return PlatformError();
  switch (command) {
    case SERSETUP_CONTROL_STOP:
      if (!ControlService(context->ServiceHandle, SERVICE_CONTROL_STOP, &status)) {
        return PlatformError();
      }
      return 0;
    case SERSETUP_CONTROL_START:
      if (!StartServiceA(context->ServiceHandle, 0, nullptr)) return PlatformError();
      return 0;
    default:
      return 1;
  }
}
