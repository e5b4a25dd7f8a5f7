// The tones Beep sounded on this machine, in the order they were sounded, by every process.
// A machine without a speaker sounds nothing, so the record is the only trace a test can read:
// Beep appends one line "<process id> <frequency> <duration>" to $TESMAR_ROOT/tones.log.
#pragma once

#include <vector>

#include "platform/export.h"
#include "platform/win32_types.h"

namespace tesmar::platform {

struct Tone {
  int processId;
  DWORD frequency;  // Hz
  DWORD duration;   // ms
  bool operator==(const Tone&) const = default;
};

// Every recorded tone of the machine; empty when none was recorded or the record is unreadable.
PLATFORM_API std::vector<Tone> RecordedTones() noexcept;

}  // namespace tesmar::platform
