// RegEnumKeyExW: a key's subkeys by index.
#include <cstring>
#include <string>

#include "base/text_conversion.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/registry.h"
#include "registry/key_handles.h"
#include "remote/remote_registry.h"

using namespace tesmar::platform;
using namespace tesmar::platform::registry;

namespace {
LSTATUS EnumerateSubkey(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                        LPWSTR keyClass, LPDWORD classChars, PFILETIME lastWriteTime) {
  if (!name || !nameChars || reserved || (keyClass && !classChars)) {
    return ERROR_INVALID_PARAMETER;
  }
  if (remote::FindRemoteKey(key)) return ERROR_NOT_SUPPORTED;
  KeyReference reference;
  DWORD error = ResolveKey(key, reference);
  if (error != ERROR_SUCCESS) return error;
  if (!reference.Allows(KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  RegistryDatabase* database = DatabaseOf(reference, error);
  if (!database) return error;
  std::string stored;
  error = SubkeyName(*database, reference.id, index, stored);
  if (error != ERROR_SUCCESS) return error;

  std::u16string text = Utf8ToUtf16(stored);
  if (text.size() >= *nameChars) return ERROR_MORE_DATA;
  std::memcpy(name, text.c_str(), (text.size() + 1) * sizeof(char16_t));
  *nameChars = static_cast<DWORD>(text.size());
  if (keyClass && *classChars) keyClass[0] = u'\0';
  if (classChars) *classChars = 0;
  if (lastWriteTime) *lastWriteTime = FILETIME{};
  return ERROR_SUCCESS;
}
}  // namespace

/***********************************************************************
 *           RegEnumKeyExW
 *
 * Indexes follow the folded names, so that a caller counting up from 0 sees every subkey once
 * while nobody adds or deletes one.
 */
extern "C" LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars,
                                 LPDWORD reserved, LPWSTR keyClass, LPDWORD classChars,
                                 PFILETIME lastWriteTime) noexcept {
  return StatusResult([&] {
    return EnumerateSubkey(key, index, name, nameChars, reserved, keyClass, classChars,
                           lastWriteTime);
  });
}
