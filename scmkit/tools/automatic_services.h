// The boot and shutdown passes over this machine's services where no init system of its own
// (systemd) starts them: every service defined to start automatically is started at boot and
// stopped at shutdown, and the init script asks whether they run.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32_types.h"

namespace tesmar::scmkit {

// The services defined on this machine to start automatically, not marked for deletion, in the
// order of their names; ERROR_SUCCESS and none when no service is defined at all.
DWORD ListAutomaticServices(std::vector<std::u16string>& names);

enum class AutomaticPass { kStart, kStop, kStatus };

// Runs the pass over every automatic service and writes a line a service to out. Start starts
// each that is stopped and waits until it runs; stop asks each that runs to stop and waits until
// it has. The result is the init script's exit status: 0 when every one ended where the pass
// puts it, 1 when one did not (start, stop), or for the status pass 0 when every one runs, 3
// when one does not or none is defined, and 4 when a state could not be learnt.
int RunAutomaticPass(AutomaticPass pass, std::FILE* out);

}  // namespace tesmar::scmkit
