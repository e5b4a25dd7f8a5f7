#include "processes/task_start_time.h"

#include <fcntl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "processes/proc_directory.h"
#include "processes/proc_stat_parser.h"

namespace tesmar::platform {

std::optional<uint64_t> StartTimeOfTask(int procFd, uint32_t id, bool wholeProcess) {
  char path[32];
  std::snprintf(path, sizeof path, "%u/stat", id);
  std::string text;
  if (!ReadSmallFile(procFd, path, text)) return std::nullopt;
  auto state = StatField(text, kStatState);
  if (!state) return std::nullopt;
  if (*state == "Z" || *state == "X" || *state == "x") {
    std::vector<uint32_t> tasks;
    if (!wholeProcess || !AppendTaskIds(procFd, id, tasks) || tasks.size() < 2) {
      return std::nullopt;
    }
  }
  return StatNumber(text, kStatStartTime);
}

int ProcRootDescriptor() {
  // Never closed: it serves the process to its end.
  static const int descriptor = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return descriptor;
}

}  // namespace tesmar::platform
