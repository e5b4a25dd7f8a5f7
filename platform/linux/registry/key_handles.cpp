#include "registry/key_handles.h"

#include "base/machine_root.h"
#include "platform/errors.h"

namespace tesmar::platform::registry {
namespace {
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

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
  REGSAM wanted = desired & ~(GENERIC_ALL | GENERIC_WRITE | GENERIC_READ | MAXIMUM_ALLOWED);
  if (desired & GENERIC_READ) wanted |= KEY_READ;
  if (desired & GENERIC_WRITE) wanted |= KEY_WRITE;
  if (desired & GENERIC_ALL) wanted |= KEY_ALL_ACCESS;
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
