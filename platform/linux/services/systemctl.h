// The calls on systemd through `systemctl` (found in PATH), for services of the service manager
// where systemd is the init system (services/systemd_unit.h).
#pragma once

#include <optional>
#include <string_view>

#include "platform/win32_types.h"
#include "services/definition.h"
#include "services/systemd_unit.h"

namespace tesmar::platform {

// Writes the unit (ERROR_SERVICE_EXISTS when a unit of the name is there already), reloads
// systemd and enables the unit for a service started automatically. What it wrote is removed
// again when a step fails.
DWORD InstallUnit(std::u16string_view serviceName, const ServiceDefinition& definition);
// Rewrites the unit after a changed definition, reloads systemd, and enables or disables it as
// the start type says; a running instance keeps what it started with.
DWORD UpdateUnit(std::u16string_view serviceName, const ServiceDefinition& definition);
// Disables the unit, removes it and reloads systemd; a running instance runs on until stopped.
DWORD RemoveUnit(std::u16string_view serviceName);
// `systemctl start` / `systemctl stop`, which return once the job is done.
DWORD StartUnit(std::u16string_view serviceName);
DWORD StopUnit(std::u16string_view serviceName);
std::optional<UnitState> QueryUnit(std::u16string_view serviceName);

}  // namespace tesmar::platform
