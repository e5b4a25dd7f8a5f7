// When a task started, read through a /proc directory handle: what tells a task from any earlier
// or later one with the same id.
#pragma once

#include <cstdint>
#include <optional>

namespace tesmar::platform {

// The start time (field 22 of stat, clock ticks after boot) of a task that still runs; none for
// one that is gone or has ended and awaits its parent (a zombie). The leader of a process whose
// other threads run on is a zombie too, yet its process lives: wholeProcess counts it.
std::optional<uint64_t> StartTimeOfTask(int procFd, uint32_t id, bool wholeProcess);

// The /proc of this machine, opened once for the process; -1 when it cannot be.
int ProcRootDescriptor();

}  // namespace tesmar::platform
