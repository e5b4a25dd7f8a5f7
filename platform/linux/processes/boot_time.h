// When this machine booted, as a Windows file time (100 ns units since 1601): what makes the
// creation times of the process list absolute, so that a process of another boot never has the
// same one as a process of this boot.
#pragma once

#include <cstdint>

namespace tesmar::platform {

// Read once a process (the kernel's btime, in whole seconds), so that every creation time one
// process reports stays the same while it runs, whatever the clock does; 0 when it cannot be
// read.
int64_t BootFileTime();

}  // namespace tesmar::platform
