// The manager side of the built-in service manager: opening it and its services, creating,
// deleting, querying and closing.
#include <memory>
#include <string>

#include "base/text_conversion.h"
#include "platform/errors.h"
#include "platform/service.h"
#include "remote/machine_name.h"
#include "services/definition.h"
#include "services/handles.h"

namespace tesmar::platform {
namespace {

constexpr DWORD kCreateServiceRight = 0x0002;
constexpr DWORD kDeleteRight = 0x00010000;

SC_HANDLE ToServiceHandle(HANDLE handle) {
  return reinterpret_cast<SC_HANDLE>(handle);
}
HANDLE ToHandle(SC_HANDLE handle) {
  return reinterpret_cast<HANDLE>(handle);
}

std::u16string Widen(LPCSTR text) {
  return text ? Utf8ToUtf16(text) : std::u16string();
}

SC_HANDLE OpenManager(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess) {
  if (!IsLocalMachineName(machineName)) {
    // Remote machines are not reachable yet.
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return nullptr;
  }
  if (databaseName && std::u16string_view(databaseName) != u"ServicesActive") {
    SetLastError(ERROR_DATABASE_DOES_NOT_EXIST);
    return nullptr;
  }
  return ToServiceHandle(HandleTable::Instance().Insert(
      std::make_shared<ManagerObject>(ResolveManagerAccess(desiredAccess))));
}

SC_HANDLE OpenServiceByName(SC_HANDLE manager, std::u16string_view name, DWORD desiredAccess) {
  if (!HandleTable::Instance().Get<ManagerObject>(ToHandle(manager))) return nullptr;
  if (!IsValidServiceName(name)) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  DWORD error = ERROR_SUCCESS;
  auto definition = ReadServiceDefinition(name, &error);
  if (definition && definition->markedForDelete) {
    // A deletion that fell due while nobody looked (the process vanished) is done now.
    error =
        DeleteServiceIfDue(name) ? ERROR_SERVICE_DOES_NOT_EXIST : ERROR_SERVICE_MARKED_FOR_DELETE;
    definition.reset();
  }
  if (!definition) {
    SetLastError(error);
    return nullptr;
  }
  return ToServiceHandle(HandleTable::Instance().Insert(
      std::make_shared<ServiceObject>(name, ResolveServiceAccess(desiredAccess))));
}

}  // namespace
}  // namespace tesmar::platform

using namespace tesmar::platform;

/***********************************************************************
 *           OpenSCManagerW
 *
 * Only this machine (no name, an empty name or this host's name); another machine name answers
 * RPC_S_SERVER_UNAVAILABLE. Access is granted as asked: who may change a service is decided by
 * the permissions of the machine root's files.
 */
extern "C" SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName,
                                    DWORD desiredAccess) noexcept {
  try {
    return OpenManager(machineName, databaseName, desiredAccess);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

/***********************************************************************
 *           OpenSCManagerA
 *
 * 8-bit names are UTF-8.
 */
extern "C" SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName,
                                    DWORD desiredAccess) noexcept {
  try {
    std::u16string machine = Widen(machineName), database = Widen(databaseName);
    return OpenManager(machineName ? machine.c_str() : nullptr,
                       databaseName ? database.c_str() : nullptr, desiredAccess);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

/***********************************************************************
 *           OpenServiceW
 *
 * ERROR_SERVICE_DOES_NOT_EXIST for an unknown name, ERROR_SERVICE_MARKED_FOR_DELETE for a
 * service that waits to be deleted.
 */
extern "C" SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName,
                                  DWORD desiredAccess) noexcept {
  try {
    if (!serviceName) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    return OpenServiceByName(manager, serviceName, desiredAccess);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

/***********************************************************************
 *           OpenServiceA
 */
extern "C" SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName,
                                  DWORD desiredAccess) noexcept {
  try {
    if (!serviceName) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    return OpenServiceByName(manager, Widen(serviceName), desiredAccess);
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

/***********************************************************************
 *           CreateServiceA
 *
 * Services of their own process only (SERVICE_WIN32_OWN_PROCESS), started on demand, at system
 * start or disabled. Load-order groups, tags, dependencies and accounts are not kept: every
 * service runs as the user who started it. ERROR_SERVICE_EXISTS when the name is taken.
 */
extern "C" SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                                    DWORD desiredAccess, DWORD serviceType, DWORD startType,
                                    DWORD errorControl, LPCSTR binaryPathName, LPCSTR,
                                    LPDWORD tagId, LPCSTR, LPCSTR, LPCSTR) noexcept {
  try {
    auto managerObject = HandleTable::Instance().Get<ManagerObject>(ToHandle(manager));
    if (!managerObject) return nullptr;
    if ((managerObject->access() & kCreateServiceRight) == 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    std::u16string name = Widen(serviceName);
    if (!serviceName || !IsValidServiceName(name)) {
      SetLastError(ERROR_INVALID_NAME);
      return nullptr;
    }
    if (!binaryPathName || !*binaryPathName || serviceType != SERVICE_WIN32_OWN_PROCESS ||
        startType < SERVICE_AUTO_START || startType > SERVICE_DISABLED || errorControl > 3 ||
        tagId) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    ServiceDefinition definition;
    definition.imagePath = Widen(binaryPathName);
    definition.type = serviceType;
    definition.start = startType;
    definition.errorControl = errorControl;
    definition.displayName = displayName ? Widen(displayName) : name;
    if (DWORD error = CreateServiceDefinition(name, definition)) {
      SetLastError(error);
      return nullptr;
    }
    ServiceRuntime(name).RemoveServiceRecords();  // nothing of an earlier service of the name
    return ToServiceHandle(HandleTable::Instance().Insert(
        std::make_shared<ServiceObject>(name, ResolveServiceAccess(desiredAccess))));
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

/***********************************************************************
 *           DeleteService
 *
 * Marks the service; it goes when it has stopped and no process holds a handle to it.
 * ERROR_SERVICE_MARKED_FOR_DELETE when it is marked already.
 */
extern "C" BOOL DeleteService(SC_HANDLE service) noexcept {
  try {
    auto object = HandleTable::Instance().Get<ServiceObject>(ToHandle(service));
    if (!object) return FALSE;
    if (!object->Allows(kDeleteRight)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    DWORD error;
    {
      ServiceLock lock(object->runtime());
      error = MarkServiceForDelete(object->name());
    }
    if (error) {
      SetLastError(error);
      return FALSE;
    }
    return TRUE;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
}

/***********************************************************************
 *           QueryServiceStatus
 *
 * A service whose process ended without reporting stopped reads as stopped, with exit code
 * ERROR_PROCESS_ABORTED.
 */
extern "C" BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) noexcept {
  try {
    auto object = HandleTable::Instance().Get<ServiceObject>(ToHandle(service));
    if (!object) return FALSE;
    if (!object->Allows(SERVICE_QUERY_STATUS)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    if (!status) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    *status = CurrentStatus(object->runtime(), SERVICE_WIN32_OWN_PROCESS).status;
    return TRUE;
  } catch (...) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
}

/***********************************************************************
 *           CloseServiceHandle
 *
 * Closing the last handle to a stopped service marked for deletion deletes it.
 */
extern "C" BOOL CloseServiceHandle(SC_HANDLE handle) noexcept {
  auto& table = HandleTable::Instance();
  DWORD previousError = GetLastError();
  auto object = table.Get<KernelObject>(ToHandle(handle));
  if (!std::dynamic_pointer_cast<ManagerObject>(object) &&
      !std::dynamic_pointer_cast<ServiceObject>(object)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  object.reset();  // the table's reference is the last: closing runs a deletion that fell due
  if (!table.Close(ToHandle(handle))) return FALSE;
  SetLastError(previousError);
  return TRUE;
}
