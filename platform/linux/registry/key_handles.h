// HKEY handles: the predefined roots, which name a root of the current machine ($TESMAR_ROOT
// at each call), and opened keys, which are kernel objects in the handle table and stay bound to
// the machine they were opened on.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "base/handle_table.h"
#include "platform/registry.h"
#include "registry/key_lock.h"
#include "registry/store.h"

namespace tesmar::platform::registry {

class RegistryKeyObject : public KernelObject {
 public:
  RegistryKeyObject(std::string root, KeyId id, REGSAM access)
      : root(std::move(root)), id(id), access(access) {}

  const std::string root;
  const KeyId id;
  const REGSAM access;
  // The key's lock while this handle holds it (RegLockKey); one call at a time takes or lets go.
  std::mutex lockTurn;
  KeyLock lock;
};

// What a handle stands for at the moment of a call.
struct KeyReference {
  std::string root;
  KeyId id = 0;
  REGSAM access = 0;
  // Null for a predefined root.
  std::shared_ptr<RegistryKeyObject> object;

  bool Allows(REGSAM needed) const { return (access & needed) == needed; }
};

// ERROR_INVALID_HANDLE for a handle that is neither a predefined root nor an open key.
DWORD ResolveKey(HKEY key, KeyReference& reference);
// The key id of a predefined root handle, or 0.
KeyId PredefinedRootId(HKEY key);
HKEY NewKeyHandle(std::string root, KeyId id, REGSAM access);

// The access a handle opened with desired gets; write access needs a writable database, and
// MAXIMUM_ALLOWED gives what the database allows. ERROR_ACCESS_DENIED when it cannot be given.
DWORD GrantAccess(REGSAM desired, RegistryDatabase& database, REGSAM& granted);

// The connection for a reference's machine on the calling thread.
RegistryDatabase* DatabaseOf(const KeyReference& reference, DWORD& error);

}  // namespace tesmar::platform::registry
