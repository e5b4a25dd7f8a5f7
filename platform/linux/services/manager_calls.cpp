// The manager side of the built-in service manager: opening it and its services, creating,
// changing, deleting, querying and closing.
#include <memory>
#include <optional>
#include <string>

#include "base/text_conversion.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/service.h"
#include "remote/machine_name.h"
#include "remote/remote_services.h"
#include "services/definition.h"
#include "services/handles.h"
#include "services/systemctl.h"

namespace tesmar::platform {
namespace {

SC_HANDLE ToServiceHandle(HANDLE handle) {
  return reinterpret_cast<SC_HANDLE>(handle);
}
HANDLE ToHandle(SC_HANDLE handle) {
  return reinterpret_cast<HANDLE>(handle);
}

std::u16string Widen(LPCSTR text) {
  return text ? Utf8ToUtf16(text) : std::u16string();
}

// The value a handle export answers: the handle, or null with the last error set.
SC_HANDLE Failed(DWORD error) {
  SetLastError(error);
  return nullptr;
}

SC_HANDLE OpenManager(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess) {
  if (!IsLocalMachineName(machineName)) {
    SC_HANDLE opened = nullptr;
    DWORD error = remote::OpenManager(machineName, databaseName, desiredAccess, opened);
    return error ? Failed(error) : opened;
  }
  if (databaseName && std::u16string_view(databaseName) != u"ServicesActive") {
    return Failed(ERROR_DATABASE_DOES_NOT_EXIST);
  }
  DWORD granted = 0;
  if (DWORD error = GrantManagerAccess(desiredAccess, granted)) return Failed(error);
  return ToServiceHandle(HandleTable::Instance().Insert(std::make_shared<ManagerObject>(granted)));
}

SC_HANDLE OpenServiceByName(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess) {
  if (!serviceName) return Failed(ERROR_INVALID_PARAMETER);
  if (auto far = remote::FindRemoteService(manager)) {
    SC_HANDLE opened = nullptr;
    DWORD error = remote::OpenService(*far, serviceName, desiredAccess, opened);
    return error ? Failed(error) : opened;
  }
  if (!HandleTable::Instance().Get<ManagerObject>(ToHandle(manager))) return nullptr;
  std::u16string_view name(serviceName);
  if (!IsValidServiceName(name)) return Failed(ERROR_INVALID_NAME);
  DWORD error = ERROR_SUCCESS;
  auto definition = ReadServiceDefinition(name, &error);
  if (definition && definition->markedForDelete) {
    // A deletion that fell due while nobody looked (the process vanished) is done now.
    error =
        DeleteServiceIfDue(name) ? ERROR_SERVICE_DOES_NOT_EXIST : ERROR_SERVICE_MARKED_FOR_DELETE;
    definition.reset();
  }
  if (!definition) return Failed(error);
  DWORD granted = 0;
  if ((error = GrantServiceAccess(desiredAccess, granted))) return Failed(error);
  return ToServiceHandle(
      HandleTable::Instance().Insert(std::make_shared<ServiceObject>(name, granted)));
}

SC_HANDLE CreateServiceByName(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                              DWORD desiredAccess, DWORD serviceType, DWORD startType,
                              DWORD errorControl, LPCSTR binaryPathName, LPDWORD tagId) {
  if (auto far = remote::FindRemoteService(manager)) {
    if (tagId) return Failed(ERROR_INVALID_PARAMETER);
    SC_HANDLE created = nullptr;
    DWORD error = remote::CreateService(*far, serviceName, displayName, desiredAccess, serviceType,
                                        startType, errorControl, binaryPathName, created);
    return error ? Failed(error) : created;
  }
  auto managerObject = HandleTable::Instance().Get<ManagerObject>(ToHandle(manager));
  if (!managerObject) return nullptr;
  if ((managerObject->access() & SC_MANAGER_CREATE_SERVICE) == 0) {
    return Failed(ERROR_ACCESS_DENIED);
  }
  std::u16string name = Widen(serviceName);
  if (!serviceName || !IsValidServiceName(name)) return Failed(ERROR_INVALID_NAME);
  if (!binaryPathName || !*binaryPathName || serviceType != SERVICE_WIN32_OWN_PROCESS ||
      startType < SERVICE_AUTO_START || startType > SERVICE_DISABLED || errorControl > 3 || tagId) {
    return Failed(ERROR_INVALID_PARAMETER);
  }
  DWORD granted = 0;
  if (DWORD error = GrantServiceAccess(desiredAccess, granted)) return Failed(error);
  ServiceDefinition definition;
  definition.imagePath = Widen(binaryPathName);
  definition.type = serviceType;
  definition.start = startType;
  definition.errorControl = errorControl;
  definition.displayName = displayName ? Widen(displayName) : name;
  if (DWORD error = CreateServiceDefinition(name, definition)) return Failed(error);
  if (SystemdRuns()) {
    if (DWORD error = InstallUnit(name, definition)) {
      RemoveServiceDefinition(name);
      return Failed(error);
    }
  }
  ServiceRuntime(name).RemoveServiceRecords();  // nothing of an earlier service of the name
  return ToServiceHandle(
      HandleTable::Instance().Insert(std::make_shared<ServiceObject>(name, granted)));
}

DWORD ChangeConfig(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                   LPCSTR binaryPathName, LPDWORD tagId, LPCSTR displayName) {
  if (auto far = remote::FindRemoteService(service)) {
    if (tagId) return ERROR_INVALID_PARAMETER;
    return remote::ChangeConfig(*far, serviceType, startType, errorControl, binaryPathName,
                                displayName);
  }
  auto object = HandleTable::Instance().Get<ServiceObject>(ToHandle(service));
  if (!object) return ERROR_INVALID_HANDLE;
  if (!object->Allows(SERVICE_CHANGE_CONFIG)) return ERROR_ACCESS_DENIED;
  bool startKnown = startType == SERVICE_NO_CHANGE ||
                    (startType >= SERVICE_AUTO_START && startType <= SERVICE_DISABLED);
  if ((serviceType != SERVICE_NO_CHANGE && serviceType != SERVICE_WIN32_OWN_PROCESS) ||
      !startKnown || (errorControl != SERVICE_NO_CHANGE && errorControl > 3) || tagId ||
      (binaryPathName && !*binaryPathName)) {
    return ERROR_INVALID_PARAMETER;
  }
  DefinitionChange change;
  if (startType != SERVICE_NO_CHANGE) change.start = startType;
  if (errorControl != SERVICE_NO_CHANGE) change.errorControl = errorControl;
  if (binaryPathName) change.imagePath = Widen(binaryPathName);
  if (displayName) change.displayName = Widen(displayName);
  ServiceLock lock(object->runtime());
  if (DWORD error = ChangeServiceDefinition(object->name(), change)) return error;
  if (!SystemdRuns()) return ERROR_SUCCESS;
  DWORD error = ERROR_SUCCESS;
  auto definition = ReadServiceDefinition(object->name(), &error);
  return definition ? UpdateUnit(object->name(), *definition) : error;
}

DWORD MarkForDeletion(SC_HANDLE service) {
  if (auto far = remote::FindRemoteService(service)) return remote::Delete(*far);
  auto object = HandleTable::Instance().Get<ServiceObject>(ToHandle(service));
  if (!object) return ERROR_INVALID_HANDLE;
  if (!object->Allows(DELETE)) return ERROR_ACCESS_DENIED;
  ServiceLock lock(object->runtime());
  if (DWORD error = MarkServiceForDelete(object->name())) return error;
  // systemd forgets the unit at once; an instance it runs goes on until it is stopped.
  return SystemdRuns() ? RemoveUnit(object->name()) : DWORD(ERROR_SUCCESS);
}

DWORD QueryStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  if (auto far = remote::FindRemoteService(service)) return remote::QueryStatus(*far, status);
  auto object = HandleTable::Instance().Get<ServiceObject>(ToHandle(service));
  if (!object) return ERROR_INVALID_HANDLE;
  if (!object->Allows(SERVICE_QUERY_STATUS)) return ERROR_ACCESS_DENIED;
  if (!status) return ERROR_INVALID_PARAMETER;
  *status = ServiceStatus(object->name(), object->runtime());
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace tesmar::platform

using namespace tesmar::platform;

/***********************************************************************
 *           OpenSCManagerW
 *
 * Another machine's name (not this host's, ".", "localhost" or empty) reaches that machine's
 * manager through ssh (remote/channel.h): RPC_S_SERVER_UNAVAILABLE when it cannot be reached or
 * has no helper, ERROR_ACCESS_DENIED when it refuses the login, ERROR_INVALID_NAME for a name
 * ssh would misread; there the far machine grants the rights. Rights are granted as Windows grants
 * them: every right to whoever may administer the machine's services (may write its registry
 * database and service records), the rights that look to anyone else; asking for more answers
 * ERROR_ACCESS_DENIED.
 */
extern "C" SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName,
                                    DWORD desiredAccess) noexcept {
  return ValueResult<SC_HANDLE>(
      nullptr, [&] { return OpenManager(machineName, databaseName, desiredAccess); });
}

/***********************************************************************
 *           OpenSCManagerA
 *
 * 8-bit names are UTF-8.
 */
extern "C" SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName,
                                    DWORD desiredAccess) noexcept {
  return ValueResult<SC_HANDLE>(nullptr, [&] {
    std::u16string machine = Widen(machineName), database = Widen(databaseName);
    return OpenManager(machineName ? machine.c_str() : nullptr,
                       databaseName ? database.c_str() : nullptr, desiredAccess);
  });
}

/***********************************************************************
 *           OpenServiceW
 *
 * ERROR_SERVICE_DOES_NOT_EXIST for an unknown name, ERROR_SERVICE_MARKED_FOR_DELETE for a
 * service that waits to be deleted, ERROR_ACCESS_DENIED for rights the caller may not have (see
 * OpenSCManagerW).
 */
extern "C" SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName,
                                  DWORD desiredAccess) noexcept {
  return ValueResult<SC_HANDLE>(
      nullptr, [&] { return OpenServiceByName(manager, serviceName, desiredAccess); });
}

/***********************************************************************
 *           OpenServiceA
 */
extern "C" SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName,
                                  DWORD desiredAccess) noexcept {
  return ValueResult<SC_HANDLE>(nullptr, [&] {
    std::u16string name = Widen(serviceName);
    return OpenServiceByName(manager, serviceName ? name.c_str() : nullptr, desiredAccess);
  });
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
  return ValueResult<SC_HANDLE>(nullptr, [&] {
    return CreateServiceByName(manager, serviceName, displayName, desiredAccess, serviceType,
                               startType, errorControl, binaryPathName, tagId);
  });
}

/***********************************************************************
 *           ChangeServiceConfigA
 *
 * Changes the start type, the error control, the command line and the display name;
 * SERVICE_NO_CHANGE and null leave a setting as it is. Load-order groups, tags, dependencies and
 * accounts are not kept, as for CreateServiceA. A running service keeps what it was started
 * with until it starts again. ERROR_SERVICE_MARKED_FOR_DELETE for a service that waits to be
 * deleted.
 */
extern "C" BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType,
                                     DWORD errorControl, LPCSTR binaryPathName, LPCSTR,
                                     LPDWORD tagId, LPCSTR, LPCSTR, LPCSTR,
                                     LPCSTR displayName) noexcept {
  return BoolResult([&] {
    return ChangeConfig(service, serviceType, startType, errorControl, binaryPathName, tagId,
                        displayName);
  });
}

/***********************************************************************
 *           DeleteService
 *
 * Marks the service; it goes when it has stopped and no process holds a handle to it.
 * ERROR_SERVICE_MARKED_FOR_DELETE when it is marked already.
 */
extern "C" BOOL DeleteService(SC_HANDLE service) noexcept {
  return BoolResult([&] { return MarkForDeletion(service); });
}

/***********************************************************************
 *           QueryServiceStatus
 *
 * A service whose process ended without reporting stopped reads as stopped, with exit code
 * ERROR_PROCESS_ABORTED.
 */
extern "C" BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) noexcept {
  return BoolResult([&] { return QueryStatus(service, status); });
}

/***********************************************************************
 *           CloseServiceHandle
 *
 * Closing the last handle to a stopped service marked for deletion deletes it.
 */
extern "C" BOOL CloseServiceHandle(SC_HANDLE handle) noexcept {
  auto& table = HandleTable::Instance();
  DWORD previousError = GetLastError();
  if (auto far = remote::FindRemoteService(handle)) {
    remote::Close(handle, *far);
    return TRUE;
  }
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
