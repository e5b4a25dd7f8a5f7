#include "base/event_object.h"
#include "base/handle_table.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/registry.h"
#include "registry/change_wait.h"
#include "registry/key_handles.h"
#include "remote/remote_registry.h"

using namespace tesmar::platform;
using namespace tesmar::platform::registry;

namespace {
constexpr DWORD kLegalFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                               REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;
constexpr DWORD kThreadAgnostic = 0x10000000u;
}  // namespace

/***********************************************************************
 *           RegNotifyChangeKeyValue
 *
 * Sees changes made by any process after the call began, never earlier ones, also the caller's
 * own. Values set or deleted count for REG_NOTIFY_CHANGE_LAST_SET, subkeys made or deleted for
 * REG_NOTIFY_CHANGE_NAME; attributes and security never change here, so a wait for those alone
 * lasts until the key is deleted. Deleting the watched key ends the wait, as on Windows. A
 * synchronous wait is not ended by closing the key from another thread.
 */
extern "C" LSTATUS RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD notifyFilter,
                                           HANDLE event, BOOL asynchronous) noexcept {
  return StatusResult([&]() -> DWORD {
    DWORD filter = notifyFilter & ~kThreadAgnostic;
    if (filter == 0 || (filter & ~kLegalFilter)) return ERROR_INVALID_PARAMETER;
    if (auto far = remote::FindRemoteKey(key)) {
      return remote::NotifyChange(*far, watchSubtree, notifyFilter, event, asynchronous);
    }
    KeyReference reference;
    DWORD error = ResolveKey(key, reference);
    if (error != ERROR_SUCCESS) return error;
    if (!reference.Allows(KEY_NOTIFY)) return ERROR_ACCESS_DENIED;
    ChangeScope scope{reference.root, reference.id, watchSubtree != FALSE, filter};
    if (!asynchronous) return WaitForChange(scope);
    if (!event) return ERROR_INVALID_PARAMETER;
    auto eventObject = HandleTable::Instance().Get<EventObject>(event);
    if (!eventObject) return ERROR_INVALID_HANDLE;
    return RegisterForChange(scope, std::move(eventObject), reference.object.get());
  });
}
