// The delegation of the service manager to systemd where systemd is the init system: the unit a
// service definition becomes, and the service state that `systemctl show` answers. Plain values
// here; systemctl.h runs the calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/service.h"
#include "services/definition.h"
#include "services/runtime.h"

namespace tesmar::platform {

// Tests only: the folder that stands for "/" when looking for systemd (run/systemd/system) and
// for the folder of the units (etc/systemd/system).
inline constexpr char kSystemdRootVariable[] = "TESMAR_TEST_SYSTEMD_ROOT";
// Set in the unit's environment: the dispatcher of a process systemd started records itself.
inline constexpr char kServiceManagerVariable[] = "TESMAR_SERVICE_MANAGER";

// True when systemd is the init system (its runtime folder exists).
bool SystemdRuns();
// The folder the units are written to.
std::string UnitFolder();
// "tesmar-<folded name>.service": a prefix of our own, so that no service name can replace a
// unit of the system; characters a unit name cannot hold are escaped as systemd escapes them.
std::string UnitName(std::u16string_view serviceName);

// Type=notify (the dispatcher tells systemd when the service reports running), the command line
// of the image path (quoted and escaped for systemd), Restart= after the error control, the
// machine root and the service name in the environment, and multi-user.target when installed
// (enabled).
std::string UnitText(std::u16string_view serviceName, const ServiceDefinition& definition,
                     const std::string& machineRoot);

struct UnitState {
  std::string activeState;  // active, reloading, inactive, failed, activating, deactivating
  std::string subState;
  int mainProcessId = 0;
  int execMainStatus = 0;
};
// The properties asked for by `systemctl show -p ActiveState,SubState,MainPID,ExecMainStatus`
// (one Name=value a line); none without an ActiveState.
std::optional<UnitState> ParseUnitShow(std::string_view text);

// The status of a service systemd runs: systemd says whether it runs; while the process it runs
// is the one that reported last, its own report is the status; before it reported, a pending
// state. `reported` is the service's last record, `current` what the built-in view makes of it
// (a vanished process stopped).
SERVICE_STATUS StatusFromUnit(const UnitState& unit, const std::optional<StatusRecord>& reported,
                              const StatusRecord& current);

}  // namespace tesmar::platform
