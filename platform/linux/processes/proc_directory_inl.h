// The template part of proc_directory.h.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>

namespace tesmar::platform {

namespace proc_directory_detail {
struct LinuxDirent64 {
  uint64_t inode;
  int64_t offset;
  unsigned short length;
  unsigned char type;
  char name[];
};

inline bool ParseId(const char* name, uint32_t& id) {
  if (*name < '0' || *name > '9') return false;
  uint64_t value = 0;
  for (; *name; ++name) {
    if (*name < '0' || *name > '9') return false;
    value = value * 10 + static_cast<uint64_t>(*name - '0');
    if (value > UINT32_MAX) return false;
  }
  id = static_cast<uint32_t>(value);
  return true;
}
}  // namespace proc_directory_detail

template <typename OnNumber>
bool ForEachNumberedEntry(int directoryFd, OnNumber onNumber) {
  using proc_directory_detail::LinuxDirent64;
  alignas(LinuxDirent64) char buffer[32768];
  for (;;) {
    long bytes = syscall(SYS_getdents64, directoryFd, buffer, sizeof buffer);
    if (bytes < 0) return false;
    if (bytes == 0) return true;
    for (long position = 0; position < bytes;) {
      auto* entry = reinterpret_cast<LinuxDirent64*>(buffer + position);
      uint32_t id;
      if (proc_directory_detail::ParseId(entry->name, id)) onNumber(id);
      position += entry->length;
    }
  }
}

}  // namespace tesmar::platform
