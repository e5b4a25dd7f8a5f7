// The key lock calls: RegLockKey and RegUnlockKey (registry/key_lock.h).
#include <mutex>

#include "base/handle_table.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/registry.h"
#include "registry/key_handles.h"
#include "remote/remote_registry.h"

using namespace tesmar::platform;
using namespace tesmar::platform::registry;

namespace {

std::shared_ptr<RegistryKeyObject> OpenedKey(HKEY key) {
  if (PredefinedRootId(key)) return nullptr;
  return HandleTable::Instance().Get<RegistryKeyObject>(reinterpret_cast<HANDLE>(key));
}

}  // namespace

/***********************************************************************
 *           RegLockKey   (no Windows counterpart)
 */
extern "C" LSTATUS RegLockKey(HKEY key, DWORD timeoutMilliseconds) noexcept {
  return StatusResult([&]() -> DWORD {
    if (auto far = remote::FindRemoteKey(key)) return remote::LockKey(*far, timeoutMilliseconds);
    auto object = OpenedKey(key);
    if (!object) return ERROR_INVALID_HANDLE;
    if ((object->access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    std::unique_lock turn(object->lockTurn, std::try_to_lock);
    if (!turn) return ERROR_BUSY;
    return object->lock.Acquire(object->root, object->id, timeoutMilliseconds);
  });
}

/***********************************************************************
 *           RegUnlockKey   (no Windows counterpart)
 */
extern "C" LSTATUS RegUnlockKey(HKEY key) noexcept {
  return StatusResult([&]() -> DWORD {
    if (auto far = remote::FindRemoteKey(key)) return remote::UnlockKey(*far);
    auto object = OpenedKey(key);
    if (!object) return ERROR_INVALID_HANDLE;
    std::lock_guard turn(object->lockTurn);
    if (!object->lock.held()) return ERROR_NOT_LOCKED;
    object->lock.Release();
    return ERROR_SUCCESS;
  });
}
