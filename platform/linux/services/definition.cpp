#include "services/definition.h"

#include <vector>

#include "platform/errors.h"
#include "platform/owned_handle.h"
#include "platform/registry.h"
#include "platform/service.h"

namespace tesmar::platform {
namespace {

constexpr std::u16string_view kServicesKey = u"SYSTEM\\CurrentControlSet\\Services";

std::u16string DefinitionKeyPath(std::u16string_view name) {
  std::u16string path(kServicesKey);
  path += u'\\';
  path += name;
  return path;
}

DWORD ReadDword(HKEY key, const char16_t* name, DWORD fallback) {
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return fallback;
  }
  return value;
}

std::u16string ReadString(HKEY key, const char16_t* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return {};
  }
  std::vector<char16_t> text(size / sizeof(char16_t) + 1, u'\0');
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS) {
    return {};
  }
  text[size / sizeof(char16_t)] = u'\0';
  return std::u16string(text.data());  // up to the first terminator
}

LSTATUS WriteDword(HKEY key, const char16_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}

LSTATUS WriteString(HKEY key, const char16_t* name, DWORD type, std::u16string_view text) {
  std::u16string terminated(text);
  return RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(terminated.c_str()),
                        static_cast<DWORD>((terminated.size() + 1) * sizeof(char16_t)));
}

DWORD MissingKeyError(LSTATUS status) {
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SERVICE_DOES_NOT_EXIST : DWORD(status);
}

}  // namespace

bool IsValidServiceName(std::u16string_view name) {
  if (name.empty() || name.size() > 256 || name == u"." || name == u"..") return false;
  return name.find_first_of(u"/\\") == std::u16string_view::npos &&
         name.find(u'\0') == std::u16string_view::npos;
}

std::optional<ServiceDefinition> ReadServiceDefinition(std::u16string_view name, DWORD* error) {
  OwnedKey key;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, DefinitionKeyPath(name).c_str(), 0, KEY_READ,
                                 key.Receive());
  if (status != ERROR_SUCCESS) {
    *error = MissingKeyError(status);
    return std::nullopt;
  }
  ServiceDefinition definition;
  definition.imagePath = ReadString(key.get(), u"ImagePath");
  definition.start = ReadDword(key.get(), u"Start", SERVICE_DEMAND_START);
  definition.type = ReadDword(key.get(), u"Type", SERVICE_WIN32_OWN_PROCESS);
  definition.errorControl = ReadDword(key.get(), u"ErrorControl", 1);
  definition.displayName = ReadString(key.get(), u"DisplayName");
  definition.markedForDelete = ReadDword(key.get(), u"DeleteFlag", 0) != 0;
  *error = ERROR_SUCCESS;
  return definition;
}

DWORD CreateServiceDefinition(std::u16string_view name, const ServiceDefinition& definition) {
  OwnedKey key;
  DWORD disposition = 0;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, DefinitionKeyPath(name).c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.Receive(),
                                   &disposition);
  if (status != ERROR_SUCCESS) return DWORD(status);
  if (disposition == REG_OPENED_EXISTING_KEY) {
    return ReadDword(key.get(), u"DeleteFlag", 0) ? ERROR_SERVICE_MARKED_FOR_DELETE
                                                  : ERROR_SERVICE_EXISTS;
  }
  // The key is ours alone from here: whoever created it owns the name.
  for (LSTATUS written : {WriteDword(key.get(), u"Type", definition.type),
                          WriteDword(key.get(), u"Start", definition.start),
                          WriteDword(key.get(), u"ErrorControl", definition.errorControl),
                          WriteString(key.get(), u"ImagePath", REG_EXPAND_SZ, definition.imagePath),
                          WriteString(key.get(), u"DisplayName", REG_SZ, definition.displayName),
                          WriteString(key.get(), u"ObjectName", REG_SZ, u"LocalSystem")}) {
    if (written != ERROR_SUCCESS) {
      key.Reset();
      RegDeleteKeyW(HKEY_LOCAL_MACHINE, DefinitionKeyPath(name).c_str());
      return DWORD(written);
    }
  }
  return ERROR_SUCCESS;
}

DWORD ChangeServiceDefinition(std::u16string_view name, const DefinitionChange& change) {
  OwnedKey key;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, DefinitionKeyPath(name).c_str(), 0,
                                 KEY_ALL_ACCESS, key.Receive());
  if (status != ERROR_SUCCESS) return MissingKeyError(status);
  if (ReadDword(key.get(), u"DeleteFlag", 0)) return ERROR_SERVICE_MARKED_FOR_DELETE;
  if (change.start) status = WriteDword(key.get(), u"Start", *change.start);
  if (status == ERROR_SUCCESS && change.errorControl) {
    status = WriteDword(key.get(), u"ErrorControl", *change.errorControl);
  }
  if (status == ERROR_SUCCESS && change.imagePath) {
    status = WriteString(key.get(), u"ImagePath", REG_EXPAND_SZ, *change.imagePath);
  }
  if (status == ERROR_SUCCESS && change.displayName) {
    status = WriteString(key.get(), u"DisplayName", REG_SZ, *change.displayName);
  }
  return DWORD(status);
}

DWORD MarkServiceForDelete(std::u16string_view name) {
  OwnedKey key;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, DefinitionKeyPath(name).c_str(), 0,
                                 KEY_ALL_ACCESS, key.Receive());
  if (status != ERROR_SUCCESS) return MissingKeyError(status);
  if (ReadDword(key.get(), u"DeleteFlag", 0)) return ERROR_SERVICE_MARKED_FOR_DELETE;
  return DWORD(WriteDword(key.get(), u"DeleteFlag", 1));
}

DWORD RemoveServiceDefinition(std::u16string_view name) {
  return MissingKeyError(RegDeleteKeyW(HKEY_LOCAL_MACHINE, DefinitionKeyPath(name).c_str()));
}

}  // namespace tesmar::platform
