#include "processes/proc_directory.h"

#include <cstdio>

namespace tesmar::platform {

bool ReadSmallFile(int directoryFd, const char* path, std::string& text) {
  text.clear();
  int fd = openat(directoryFd, path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  for (;;) {
    ssize_t bytes = read(fd, buffer, sizeof buffer);
    if (bytes < 0) {
      close(fd);
      return false;
    }
    if (bytes == 0) break;
    text.append(buffer, static_cast<size_t>(bytes));
  }
  close(fd);
  return true;
}

bool AppendTaskIds(int procFd, uint32_t processId, std::vector<uint32_t>& ids) {
  char path[32];
  std::snprintf(path, sizeof path, "%u/task", processId);
  int taskFd = openat(procFd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (taskFd < 0) return false;
  bool complete = ForEachNumberedEntry(taskFd, [&](uint32_t id) { ids.push_back(id); });
  close(taskFd);
  return complete;
}

}  // namespace tesmar::platform
