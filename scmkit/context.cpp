// SerSetupOpen and SerSetupClose: the life of a service control context.
#include <new>

#include "Scmkit.h"
#include "platform_error.h"

using tesmar::scmkit::PlatformError;

extern "C" DWORD SerSetupOpen(SerSetupContext** context, LPCSTR machineName) noexcept {
  if (!context) return 1;
  auto* opened = new (std::nothrow) SerSetupContext{};
  if (!opened) return 1;
  opened->ScmHandle = OpenSCManagerA(machineName, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!opened->ScmHandle) {
    DWORD error = PlatformError();
    delete opened;
    return error;
  }
  *context = opened;
  return 0;
}

extern "C" DWORD SerSetupClose(SerSetupContext* context) noexcept {
  if (!context) return 1;
  SerSetupServiceClose(context);
  if (!CloseServiceHandle(context->ScmHandle)) return PlatformError();
  delete context;
  return 0;
}
