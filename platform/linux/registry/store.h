// The registry's operations on one database: keys found and made along paths, values read and
// replaced, and the change numbers that waiters compare. Each write is one transaction.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "registry/database.h"
#include "registry/names.h"

namespace tesmar::platform::registry {

using KeyId = int64_t;

// The key at path below from; ERROR_FILE_NOT_FOUND when a part is missing.
DWORD FindKey(RegistryDatabase& database, KeyId from, const std::vector<StoredName>& path,
              KeyId& found);
// Finds or makes every key along path, in one transaction; created tells whether the last one
// is new.
DWORD CreateKey(RegistryDatabase& database, KeyId from, const std::vector<StoredName>& path,
                KeyId& found, bool& created);
// Deletes a key without subkeys, with its values; a key with subkeys, or a root, is refused
// with ERROR_ACCESS_DENIED.
DWORD DeleteKey(RegistryDatabase& database, KeyId key);

// The name of the key's subkey at index, in the order of the folded names;
// ERROR_NO_MORE_ITEMS past the last one, ERROR_KEY_DELETED when the key itself is gone.
DWORD SubkeyName(RegistryDatabase& database, KeyId key, DWORD index, std::string& name);

// ERROR_SUCCESS while the key exists, ERROR_KEY_DELETED once it is gone.
DWORD CheckKeyExists(RegistryDatabase& database, KeyId key);

// Reads a value as RegQueryValueEx does: with data null only the type and size; a size too
// small gives ERROR_MORE_DATA with the size needed.
DWORD ReadValue(RegistryDatabase& database, KeyId key, const StoredName& name, DWORD& type,
                BYTE* data, DWORD& size);
DWORD ReadWholeValue(RegistryDatabase& database, KeyId key, const StoredName& name, DWORD& type,
                     std::vector<BYTE>& data);
DWORD WriteValue(RegistryDatabase& database, KeyId key, const StoredName& name, DWORD type,
                 const BYTE* data, DWORD size);
DWORD DeleteValue(RegistryDatabase& database, KeyId key, const StoredName& name);

// The change numbers of a key: the last value change in the key itself and anywhere in its
// subtree, and likewise for subkeys made or deleted.
struct ChangeNumbers {
  int64_t values = 0;
  int64_t subtreeValues = 0;
  int64_t names = 0;
  int64_t subtreeNames = 0;
};
DWORD ReadChangeNumbers(RegistryDatabase& database, KeyId key, ChangeNumbers& numbers);
// The latest change a waiter with this filter and scope cares about.
int64_t LatestChange(const ChangeNumbers& numbers, bool subtree, DWORD filter);

}  // namespace tesmar::platform::registry
