#include "registry/key_handles.h"

#include "base/machine_root.h"
#include "platform/errors.h"

namespace tesmar::platform::registry {
namespace {
constexpr REGSAM kDelete = 0x00010000u;
constexpr REGSAM kWriteDac = 0x00040000u;
constexpr REGSAM kWriteOwner = 0x00080000u;
constexpr REGSAM kGenericAll = 0x10000000u;
constexpr REGSAM kGenericWrite = 0x40000000u;
constexpr REGSAM kGenericRead = 0x80000000u;
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | kDelete | kWriteDac | kWriteOwner;

constexpr uintptr_t kFirstPredefined = 0x80000000u;
constexpr uintptr_t kLastPredefined = 0x80000003u;
}  // namespace

KeyId PredefinedRootId(HKEY key) {
  auto value = reinterpret_cast<uintptr_t>(key);
  if (value < kFirstPredefined || value > kLastPredefined) return 0;
  return static_cast<KeyId>(value - kFirstPredefined + 1);
}

DWORD ResolveKey(HKEY key, KeyReference& reference) {
  if (KeyId root = PredefinedRootId(key)) {
    reference.root = MachineRoot();
    reference.id = root;
    reference.access = KEY_ALL_ACCESS;
    reference.object.reset();
    return ERROR_SUCCESS;
  }
  auto object = HandleTable::Instance().Get<RegistryKeyObject>(reinterpret_cast<HANDLE>(key));
  if (!object) return ERROR_INVALID_HANDLE;
  reference.root = object->root;
  reference.id = object->id;
  reference.access = object->access;
  reference.object = std::move(object);
  return ERROR_SUCCESS;
}

HKEY NewKeyHandle(std::string root, KeyId id, REGSAM access) {
  return reinterpret_cast<HKEY>(HandleTable::Instance().Insert(
      std::make_shared<RegistryKeyObject>(std::move(root), id, access)));
}

DWORD GrantAccess(REGSAM desired, RegistryDatabase& database, REGSAM& granted) {
  REGSAM wanted = desired & ~(kGenericAll | kGenericWrite | kGenericRead | MAXIMUM_ALLOWED);
  if (desired & kGenericRead) wanted |= KEY_READ;
  if (desired & kGenericWrite) wanted |= KEY_WRITE;
  if (desired & kGenericAll) wanted |= KEY_ALL_ACCESS;
  bool writable = database.FilesWritable();
  if (desired & MAXIMUM_ALLOWED) wanted |= writable ? KEY_ALL_ACCESS : KEY_READ;
  if ((wanted & kWriteRights) && !writable) return ERROR_ACCESS_DENIED;
  granted = wanted;
  return ERROR_SUCCESS;
}

RegistryDatabase* DatabaseOf(const KeyReference& reference, DWORD& error) {
  return RegistryDatabase::ForRoot(reference.root, error);
}

}  // namespace tesmar::platform::registry
