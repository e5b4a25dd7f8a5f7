// Who a service process is: its id and its start time, so that a recorded process whose id was
// reused by another program is recognised as gone.
#pragma once

#include <cstdint>

namespace tesmar::platform {

struct ProcessIdentity {
  int processId = 0;
  uint64_t startTime = 0;  // clock ticks after boot, field 22 of /proc/<pid>/stat
  bool operator==(const ProcessIdentity&) const = default;
};

ProcessIdentity CurrentProcessIdentity();
// The identity of a live process, or processId 0 when there is none with that id: a process
// that ended and waits to be reaped (zombie) counts as none.
ProcessIdentity IdentityOfProcess(int processId);
bool IsAlive(const ProcessIdentity& process);

}  // namespace tesmar::platform
