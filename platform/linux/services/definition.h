// Service definitions in the registry, under SYSTEM\CurrentControlSet\Services\<name>, with the
// values Windows keeps there: ImagePath, Start, Type, ErrorControl, DisplayName, and DeleteFlag
// once the service is marked for deletion.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace tesmar::platform {

struct ServiceDefinition {
  std::u16string imagePath;
  DWORD start = 0;
  DWORD type = 0;
  DWORD errorControl = 0;
  std::u16string displayName;
  bool markedForDelete = false;
};

// A name the service database takes: 1 to 256 characters, no slash or backslash, and not "." or
// ".." (the name also names the service's runtime folder).
bool IsValidServiceName(std::u16string_view name);

// The definition, or none with the Win32 error in *error (ERROR_SERVICE_DOES_NOT_EXIST when
// there is no such service).
std::optional<ServiceDefinition> ReadServiceDefinition(std::u16string_view name, DWORD* error);
// ERROR_SERVICE_EXISTS or ERROR_SERVICE_MARKED_FOR_DELETE when the name is taken.
DWORD CreateServiceDefinition(std::u16string_view name, const ServiceDefinition& definition);
// What ChangeServiceConfig changes of a definition; what is empty stays as it is.
struct DefinitionChange {
  std::optional<DWORD> start;
  std::optional<DWORD> errorControl;
  std::optional<std::u16string> imagePath;
  std::optional<std::u16string> displayName;
};
// ERROR_SERVICE_DOES_NOT_EXIST, or ERROR_SERVICE_MARKED_FOR_DELETE for a service that waits to
// be deleted. The values are written in one after the other; a running instance keeps what it
// started with.
DWORD ChangeServiceDefinition(std::u16string_view name, const DefinitionChange& change);
DWORD MarkServiceForDelete(std::u16string_view name);
DWORD RemoveServiceDefinition(std::u16string_view name);

}  // namespace tesmar::platform
