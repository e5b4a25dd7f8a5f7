// The value calls of the registry: reading, replacing and deleting values.
#include <cstring>
#include <string>
#include <vector>

#include "base/text_conversion.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/registry.h"
#include "registry/key_handles.h"
#include "registry/names.h"
#include "remote/remote_registry.h"

using namespace tesmar::platform;
using namespace tesmar::platform::registry;

namespace {
bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ;
}

// The key and its database for a value call that needs the given access on the handle. An
// opened handle had its write access checked when it was opened; a predefined root has it
// checked now.
DWORD Prepare(HKEY key, REGSAM needed, KeyReference& reference, RegistryDatabase*& database) {
  DWORD error = ResolveKey(key, reference);
  if (error != ERROR_SUCCESS) return error;
  if (!reference.Allows(needed)) return ERROR_ACCESS_DENIED;
  database = DatabaseOf(reference, error);
  if (!database) return error;
  bool writes = (needed & KEY_SET_VALUE) != 0;
  if (writes && !reference.object && !database->FilesWritable()) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

// The same for a query, which also checks its own arguments first.
DWORD PrepareQuery(HKEY key, LPDWORD reserved, LPBYTE data, LPDWORD dataSize,
                   KeyReference& reference, RegistryDatabase*& database) {
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  return Prepare(key, KEY_QUERY_VALUE, reference, database);
}

// Copies bytes out as RegQueryValueEx does.
DWORD CopyOut(const std::string& bytes, LPBYTE data, LPDWORD dataSize) {
  auto size = static_cast<DWORD>(bytes.size());
  if (!dataSize) return ERROR_SUCCESS;
  if (!data) {
    *dataSize = size;
    return ERROR_SUCCESS;
  }
  DWORD room = *dataSize;
  *dataSize = size;
  if (room < size) return ERROR_MORE_DATA;
  if (size) std::memcpy(data, bytes.data(), size);
  return ERROR_SUCCESS;
}

// 8-bit text of a stored UTF-16 string; an odd last byte is no whole unit and is dropped.
std::string NarrowText(const std::vector<BYTE>& stored) {
  std::u16string units(stored.size() / 2, u'\0');
  if (!units.empty()) std::memcpy(units.data(), stored.data(), units.size() * 2);
  return Utf16ToUtf8(units);
}

LSTATUS SetValue(HKEY key, const StoredName& name, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size) return ERROR_INVALID_PARAMETER;
  if (auto far = remote::FindRemoteKey(key)) {
    return remote::SetValue(*far, Utf8ToUtf16(name.name), type, data, size);
  }
  KeyReference reference;
  RegistryDatabase* database = nullptr;
  DWORD error = Prepare(key, KEY_SET_VALUE, reference, database);
  if (error != ERROR_SUCCESS) return error;
  return WriteValue(*database, reference.id, name, type, data, size);
}
}  // namespace

/***********************************************************************
 *           RegQueryValueExW
 *
 * A value read with a size query first and then its data can change in between; the second
 * call then answers ERROR_MORE_DATA with the new size, as on Windows.
 */
extern "C" LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                                    LPBYTE data, LPDWORD dataSize) noexcept {
  return StatusResult([&]() -> DWORD {
    if (auto far = remote::FindRemoteKey(key)) {
      if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
      return remote::QueryValue(*far, valueName, type, data, dataSize);
    }
    KeyReference reference;
    RegistryDatabase* database = nullptr;
    DWORD error = PrepareQuery(key, reserved, data, dataSize, reference, database);
    if (error != ERROR_SUCCESS) return error;
    DWORD storedType = REG_NONE;
    DWORD size = dataSize ? *dataSize : 0;
    error = ReadValue(*database, reference.id, MakeStoredName(TextOf(valueName)), storedType, data,
                      size);
    if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return error;
    if (type) *type = storedType;
    if (dataSize) *dataSize = size;
    return error;
  });
}

/***********************************************************************
 *           RegQueryValueExA
 *
 * REG_SZ and REG_EXPAND_SZ values come back as UTF-8, and their size is the size of that text.
 */
extern "C" LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                    LPBYTE data, LPDWORD dataSize) noexcept {
  return StatusResult([&]() -> DWORD {
    DWORD storedType = REG_NONE;
    std::vector<BYTE> stored;
    std::u16string name = Utf8ToUtf16(valueName ? valueName : "");
    if (auto far = remote::FindRemoteKey(key)) {
      if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
      std::string bytes;
      if (DWORD error = remote::ReadWholeValue(*far, name, storedType, bytes)) return error;
      stored.assign(bytes.begin(), bytes.end());
    } else {
      KeyReference reference;
      RegistryDatabase* database = nullptr;
      DWORD error = PrepareQuery(key, reserved, data, dataSize, reference, database);
      if (error != ERROR_SUCCESS) return error;
      error = ReadWholeValue(*database, reference.id, MakeStoredName(name), storedType, stored);
      if (error != ERROR_SUCCESS) return error;
    }
    if (type) *type = storedType;
    std::string bytes =
        IsStringType(storedType) ? NarrowText(stored) : std::string(stored.begin(), stored.end());
    return CopyOut(bytes, data, dataSize);
  });
}

/***********************************************************************
 *           RegSetValueExW
 *
 * Replaces the value whole in one transaction; a process that dies meanwhile leaves the old
 * value. The data are stored as given, of any type and size.
 */
extern "C" LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                                  DWORD dataSize) noexcept {
  return StatusResult(
      [&] { return SetValue(key, MakeStoredName(TextOf(valueName)), type, data, dataSize); });
}

/***********************************************************************
 *           RegSetValueExA
 *
 * REG_SZ and REG_EXPAND_SZ data are 8-bit (UTF-8) text, stored as UTF-16 as on Windows: exactly
 * the dataSize bytes given are converted, so a count without the NUL stores no NUL.
 */
extern "C" LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                                  DWORD dataSize) noexcept {
  return StatusResult([&]() -> DWORD {
    if (!data && dataSize) return ERROR_INVALID_PARAMETER;
    StoredName name = MakeStoredName(Utf8ToUtf16(valueName ? valueName : ""));
    if (!IsStringType(type)) return SetValue(key, name, type, data, dataSize);
    std::u16string wide =
        Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), dataSize));
    return SetValue(key, name, type, reinterpret_cast<const BYTE*>(wide.data()),
                    static_cast<DWORD>(wide.size() * sizeof(char16_t)));
  });
}

/***********************************************************************
 *           RegDeleteValueW
 */
extern "C" LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) noexcept {
  return StatusResult([&]() -> DWORD {
    if (auto far = remote::FindRemoteKey(key)) return remote::DeleteValue(*far, valueName);
    KeyReference reference;
    RegistryDatabase* database = nullptr;
    DWORD error = Prepare(key, KEY_SET_VALUE, reference, database);
    if (error != ERROR_SUCCESS) return error;
    return DeleteValue(*database, reference.id, MakeStoredName(TextOf(valueName)));
  });
}
