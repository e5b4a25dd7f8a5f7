// StartService: the manager spawns the service's program and waits until its dispatcher has
// connected.
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/machine_root.h"
#include "base/text_conversion.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/service.h"
#include "remote/remote_services.h"
#include "services/definition.h"
#include "services/dispatcher_link.h"
#include "services/handles.h"
#include "services/spawn.h"
#include "services/systemctl.h"

namespace tesmar::platform {
namespace {

// Windows gives a starting service this long to connect its dispatcher.
constexpr int kConnectTimeoutMilliseconds = 30000;
constexpr DWORD kStartPendingWaitHint = 2000;

// True when the service wrote its byte; false at end of file (it ended or closed the
// descriptor without connecting) or after the time.
bool WaitForDispatcher(int readyDescriptor) {
  pollfd ready{readyDescriptor, POLLIN, 0};
  int polled;
  while ((polled = poll(&ready, 1, kConnectTimeoutMilliseconds)) < 0 && errno == EINTR) {
  }
  char byte;
  return polled == 1 && read(readyDescriptor, &byte, 1) == 1;
}

// systemd starts the process; its dispatcher records itself (RunDispatcher) and the status
// follows systemd's state until then.
DWORD StartThroughSystemd(const ServiceObject& object, const std::vector<std::string>& arguments) {
  const ServiceRuntime& runtime = object.runtime();
  {
    ServiceLock lock(runtime);
    if (ServiceStatus(object.name(), runtime).dwCurrentState != SERVICE_STOPPED) {
      return ERROR_SERVICE_ALREADY_RUNNING;
    }
    std::vector<std::string> mainArguments{Utf16ToUtf8(object.name())};
    mainArguments.insert(mainArguments.end(), arguments.begin(), arguments.end());
    if (DWORD written = runtime.WriteArguments(mainArguments)) return written;
  }
  // Without the lock: the new process's dispatcher takes it to record itself.
  return StartUnit(object.name());
}

DWORD StartByHandle(SC_HANDLE service, const std::vector<std::string>& arguments) {
  if (auto far = remote::FindRemoteService(service)) return remote::Start(*far, arguments);
  auto object = HandleTable::Instance().Get<ServiceObject>(reinterpret_cast<HANDLE>(service));
  if (!object) return ERROR_INVALID_HANDLE;
  if (!object->Allows(SERVICE_START)) return ERROR_ACCESS_DENIED;
  DWORD error = ERROR_SUCCESS;
  auto definition = ReadServiceDefinition(object->name(), &error);
  if (!definition) return error;
  if (definition->markedForDelete) return ERROR_SERVICE_MARKED_FOR_DELETE;
  if (definition->start == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
  std::vector<std::string> commandLine = SplitImagePath(Utf16ToUtf8(definition->imagePath));

  const ServiceRuntime& runtime = object->runtime();
  if (SystemdRuns()) return StartThroughSystemd(*object, arguments);
  SpawnedService spawned;
  {
    ServiceLock lock(runtime);
    if (CurrentStatusLocked(runtime, definition->type).status.dwCurrentState != SERVICE_STOPPED) {
      return ERROR_SERVICE_ALREADY_RUNNING;
    }
    std::vector<std::string> mainArguments{Utf16ToUtf8(object->name())};
    mainArguments.insert(mainArguments.end(), arguments.begin(), arguments.end());
    if (DWORD written = runtime.WriteArguments(mainArguments)) return written;

    std::vector<std::string> environment{
        std::string(kMachineRootVariable) + "=" + std::filesystem::absolute(MachineRoot()).string(),
        std::string(kServiceNameVariable) + "=" + Utf16ToUtf8(object->name())};
    if (DWORD spawnError = SpawnDetachedService(commandLine, environment,
                                                runtime.directory() + "/errors.log", &spawned)) {
      return spawnError;
    }
    // Recorded before the lock is released: the new process's dispatcher takes the lock to
    // find itself in this record.
    StatusRecord record;
    record.status = {definition->type,     SERVICE_START_PENDING, 0, ERROR_SUCCESS, 0, 0,
                     kStartPendingWaitHint};
    record.process = spawned.process;
    if (DWORD written = runtime.WriteStatus(record)) {
      close(spawned.readyDescriptor);
      return written;
    }
  }
  bool connected = WaitForDispatcher(spawned.readyDescriptor);
  close(spawned.readyDescriptor);
  return connected ? ERROR_SUCCESS : ERROR_SERVICE_REQUEST_TIMEOUT;
}

}  // namespace
}  // namespace tesmar::platform

using namespace tesmar::platform;

/***********************************************************************
 *           StartServiceW
 *
 * Spawns the ImagePath detached, in a session of its own, and returns once its dispatcher has
 * connected (ERROR_SERVICE_REQUEST_TIMEOUT when it does not within 30 seconds or ends first).
 * The service learns its name and machine from the environment; arguments reach its main
 * routine after the service name. ERROR_SERVICE_ALREADY_RUNNING when it is not stopped.
 */
extern "C" BOOL StartServiceW(SC_HANDLE service, DWORD argc, LPCWSTR* argv) noexcept {
  return BoolResult([&] {
    std::vector<std::string> arguments;
    for (DWORD i = 0; argv && i < argc; ++i) {
      arguments.push_back(argv[i] ? Utf16ToUtf8(argv[i]) : std::string());
    }
    return StartByHandle(service, arguments);
  });
}

/***********************************************************************
 *           StartServiceA
 */
extern "C" BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) noexcept {
  return BoolResult([&] {
    std::vector<std::string> arguments;
    for (DWORD i = 0; argv && i < argc; ++i) arguments.push_back(argv[i] ? argv[i] : "");
    return StartByHandle(service, arguments);
  });
}
