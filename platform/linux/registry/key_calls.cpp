// The key calls of the registry: connecting to a machine, creating, opening, deleting and
// closing keys.
#include <mutex>
#include <string>

#include "base/handle_table.h"
#include "base/machine_root.h"
#include "base/text_conversion.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/registry.h"
#include "registry/change_wait.h"
#include "registry/key_handles.h"
#include "registry/names.h"
#include "remote/machine_name.h"
#include "remote/remote_registry.h"

using namespace tesmar::platform;
using namespace tesmar::platform::registry;

namespace {
// The parent key, the path below it and the database of a call on a subkey.
DWORD ResolveSubKey(HKEY key, LPCWSTR subKey, KeyReference& parent, std::vector<StoredName>& path,
                    RegistryDatabase*& database) {
  DWORD error = ResolveKey(key, parent);
  if (error == ERROR_SUCCESS) error = SplitKeyPath(subKey, path);
  if (error != ERROR_SUCCESS) return error;
  database = DatabaseOf(parent, error);
  return error;
}

LSTATUS OpenOrCreate(HKEY key, LPCWSTR subKey, REGSAM desired, bool create, PHKEY result,
                     LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  if (auto far = remote::FindRemoteKey(key)) {
    return remote::OpenKey(*far, subKey, desired, create, result, disposition);
  }
  KeyReference parent;
  std::vector<StoredName> path;
  RegistryDatabase* database = nullptr;
  DWORD error = ResolveSubKey(key, subKey, parent, path, database);
  if (error != ERROR_SUCCESS) return error;
  REGSAM granted = 0;
  KeyId found = 0;
  bool created = false;
  error = FindKey(*database, parent.id, path, found);
  if (error == ERROR_FILE_NOT_FOUND && create) {
    if (!parent.Allows(KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    // Making a key writes the database, whatever access the new handle asks for.
    error = GrantAccess(desired | KEY_CREATE_SUB_KEY, *database, granted);
    if (error != ERROR_SUCCESS) return error;
    error = CreateKey(*database, parent.id, path, found, created);
  }
  if (error != ERROR_SUCCESS) return error;
  error = GrantAccess(desired, *database, granted);
  if (error != ERROR_SUCCESS) return error;
  *result = NewKeyHandle(parent.root, found, granted);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LSTATUS DeleteKeyAt(HKEY key, LPCWSTR subKey) {
  if (auto far = remote::FindRemoteKey(key)) return remote::DeleteKey(*far, subKey);
  KeyReference parent;
  std::vector<StoredName> path;
  RegistryDatabase* database = nullptr;
  DWORD error = ResolveSubKey(key, subKey, parent, path, database);
  if (error != ERROR_SUCCESS) return error;
  if (!database->FilesWritable()) return ERROR_ACCESS_DENIED;
  KeyId target = 0;
  error = FindKey(*database, parent.id, path, target);
  if (error != ERROR_SUCCESS) return error;
  return DeleteKey(*database, target);
}
}  // namespace

/***********************************************************************
 *           RegConnectRegistryW
 *
 * Another machine's name (not this host's, ".", "localhost" or empty) reaches that machine's
 * registry through ssh (remote/channel.h): ERROR_BAD_NETPATH when it cannot be reached,
 * ERROR_ACCESS_DENIED when it refuses the login, RPC_S_SERVER_UNAVAILABLE when its helper is
 * missing, ERROR_INVALID_NAME for a name ssh would misread. A local handle stays bound to the
 * machine root current at the call.
 */
extern "C" LSTATUS RegConnectRegistryW(LPCWSTR machineName, HKEY key, PHKEY result) noexcept {
  return StatusResult([&]() -> DWORD {
    if (!result) return ERROR_INVALID_PARAMETER;
    if (key != HKEY_LOCAL_MACHINE && key != HKEY_USERS) return ERROR_INVALID_HANDLE;
    if (!IsLocalMachineName(machineName)) return remote::ConnectRegistry(machineName, key, result);
    std::string root = MachineRoot();
    DWORD error;
    if (!RegistryDatabase::ForRoot(root, error)) return error;
    *result = NewKeyHandle(root, PredefinedRootId(key), KEY_ALL_ACCESS);
    return ERROR_SUCCESS;
  });
}

/***********************************************************************
 *           RegConnectRegistryA
 */
extern "C" LSTATUS RegConnectRegistryA(LPCSTR machineName, HKEY key, PHKEY result) noexcept {
  return StatusResult([&]() -> DWORD {
    std::u16string name = Utf8ToUtf16(machineName ? machineName : "");
    return RegConnectRegistryW(name.c_str(), key, result);
  });
}

/***********************************************************************
 *           RegCreateKeyExW
 *
 * Makes every missing key along the path in one transaction. The class, the security and
 * REG_OPTION_VOLATILE are not kept: every key lasts. Write access needs a writable database.
 */
extern "C" LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM desired,
                                   LPSECURITY_ATTRIBUTES, PHKEY result,
                                   LPDWORD disposition) noexcept {
  return StatusResult(
      [&] { return OpenOrCreate(key, subKey, desired, true, result, disposition); });
}

/***********************************************************************
 *           RegCreateKeyExA
 */
extern "C" LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR, DWORD options,
                                   REGSAM desired, LPSECURITY_ATTRIBUTES security, PHKEY result,
                                   LPDWORD disposition) noexcept {
  return StatusResult([&]() -> DWORD {
    std::u16string path = Utf8ToUtf16(subKey ? subKey : "");
    return RegCreateKeyExW(key, path.c_str(), reserved, nullptr, options, desired, security, result,
                           disposition);
  });
}

/***********************************************************************
 *           RegOpenKeyExW
 *
 * Write access needs a writable database (ERROR_ACCESS_DENIED otherwise).
 */
extern "C" LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM desired,
                                 PHKEY result) noexcept {
  return StatusResult([&] { return OpenOrCreate(key, subKey, desired, false, result, nullptr); });
}

/***********************************************************************
 *           RegOpenKeyExA
 */
extern "C" LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired,
                                 PHKEY result) noexcept {
  return StatusResult([&]() -> DWORD {
    std::u16string path = Utf8ToUtf16(subKey ? subKey : "");
    return RegOpenKeyExW(key, path.c_str(), options, desired, result);
  });
}

/***********************************************************************
 *           RegDeleteKeyW
 *
 * As on Windows NT, a key that has subkeys is refused with ERROR_ACCESS_DENIED.
 */
extern "C" LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) noexcept {
  return StatusResult([&] { return DeleteKeyAt(key, subKey); });
}

/***********************************************************************
 *           RegDeleteKeyA
 */
extern "C" LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) noexcept {
  return StatusResult([&]() -> DWORD {
    std::u16string path = Utf8ToUtf16(subKey ? subKey : "");
    return DeleteKeyAt(key, path.c_str());
  });
}

/***********************************************************************
 *           RegCloseKey
 *
 * Closing a predefined root does nothing and succeeds, as on Windows. Events of pending
 * asynchronous waits on the key are signalled, and the key's lock the handle holds is let go.
 */
extern "C" LSTATUS RegCloseKey(HKEY key) noexcept {
  return StatusResult([&]() -> DWORD {
    if (PredefinedRootId(key)) return ERROR_SUCCESS;
    if (auto far = remote::FindRemoteKey(key)) return remote::CloseKey(key, *far);
    auto handle = reinterpret_cast<HANDLE>(key);
    auto object = HandleTable::Instance().Get<RegistryKeyObject>(handle);
    if (!object) return ERROR_INVALID_HANDLE;
    CancelRegistrationsOf(object.get());
    {
      std::lock_guard turn(object->lockTurn);
      object->lock.Release();
    }
    HandleTable::Instance().Close(handle);
    return ERROR_SUCCESS;
  });
}
