#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "base/machine_root.h"
#include "platform/errors.h"
#include "platform/threading.h"
#include "platform/tones.h"

namespace tesmar::platform {
namespace {

// Windows NT accepts these frequencies only.
constexpr DWORD kLowestFrequency = 37;
constexpr DWORD kHighestFrequency = 32767;

std::string TonesLogPath() {
  return MachineRoot() + "/tones.log";
}

// One write of a whole line to a file opened for appending, so lines of processes beeping at the
// same time never interleave.
void RecordTone(DWORD frequency, DWORD duration) {
  std::string root = MachineRoot();
  MakeMachineRoot(root);
  int file = OpenOrMakeFile(TonesLogPath(), O_WRONLY | O_APPEND | O_CLOEXEC, MachineFileMode(root));
  if (file < 0) return;
  char line[64];
  int length = std::snprintf(line, sizeof line, "%d %u %u\n", static_cast<int>(getpid()), frequency,
                             duration);
  [[maybe_unused]] ssize_t written = write(file, line, static_cast<size_t>(length));
  close(file);
}

}  // namespace

std::vector<Tone> RecordedTones() noexcept {
  std::vector<Tone> tones;
  try {
    std::ifstream log(TonesLogPath());
    std::string line;
    while (std::getline(log, line)) {
      std::istringstream fields(line);
      Tone tone{};
      if (fields >> tone.processId >> tone.frequency >> tone.duration) tones.push_back(tone);
    }
  } catch (...) {
    tones.clear();
  }
  return tones;
}

}  // namespace tesmar::platform

/***********************************************************************
 *           Beep
 *
 * Sounds nothing: the tone is recorded in $TESMAR_ROOT/tones.log (platform/tones.h) and the
 * call takes the tone's duration, as Windows does. A record that cannot be written does not
 * fail the call; the record is an observer, not the sound.
 */
extern "C" BOOL Beep(DWORD frequency, DWORD duration) noexcept {
  if (frequency < tesmar::platform::kLowestFrequency ||
      frequency > tesmar::platform::kHighestFrequency) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  tesmar::platform::RecordTone(frequency, duration);
  Sleep(duration);
  return TRUE;
}
