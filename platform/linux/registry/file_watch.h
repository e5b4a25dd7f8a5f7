// inotify on machine directories, reporting the registry's announcements of committed changes
// (the directory touched) and directories that went away; what happens to other files there
// (the service manager's records) is ignored.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/win32_types.h"

namespace tesmar::platform::registry {

class DatabaseFileWatch {
 public:
  DatabaseFileWatch();
  ~DatabaseFileWatch();
  DatabaseFileWatch(const DatabaseFileWatch&) = delete;
  DatabaseFileWatch& operator=(const DatabaseFileWatch&) = delete;

  // Starts watching the directory root; watching it twice is harmless.
  DWORD Watch(const std::string& root);
  int descriptor() const { return descriptor_; }

  struct Events {
    bool changeAnnounced = false;  // also set when events were lost
    std::set<std::string> rootsGone;
  };
  // Reads what is pending without blocking.
  Events Consume();

 private:
  int descriptor_;
  std::mutex mutex_;  // Watch and Consume may run on different threads
  std::map<int, std::string> roots_;
};

}  // namespace tesmar::platform::registry
