#include "processes/boot_time.h"

#include <fcntl.h>

#include <charconv>
#include <string>
#include <string_view>

#include "processes/proc_directory.h"
#include "processes/task_start_time.h"

namespace tesmar::platform {
namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kUnixEpochInFileTimeSeconds = 11'644'473'600;
constexpr int64_t kFileTimeUnitsPerSecond = 10'000'000;

int64_t ReadBootFileTime() {
  std::string text;
  if (!ReadSmallFile(ProcRootDescriptor(), "stat", text)) return 0;
  constexpr std::string_view kKey = "\nbtime ";
  size_t at = text.find(kKey);
  if (at == std::string::npos) return 0;
  int64_t seconds = 0;
  const char* begin = text.data() + at + kKey.size();
  if (std::from_chars(begin, text.data() + text.size(), seconds).ec != std::errc()) return 0;
  return (seconds + kUnixEpochInFileTimeSeconds) * kFileTimeUnitsPerSecond;
}

}  // namespace

int64_t BootFileTime() {
  static const int64_t boot = ReadBootFileTime();
  return boot;
}

}  // namespace tesmar::platform
