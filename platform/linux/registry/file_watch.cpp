#include "registry/file_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/errno_to_win32.h"
#include "platform/errors.h"

namespace tesmar::platform::registry {
namespace {
constexpr uint32_t kWatchedEvents = IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
}  // namespace

DatabaseFileWatch::DatabaseFileWatch() : descriptor_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

DatabaseFileWatch::~DatabaseFileWatch() {
  if (descriptor_ >= 0) close(descriptor_);
}

DWORD DatabaseFileWatch::Watch(const std::string& root) {
  if (descriptor_ < 0) return ERROR_NOT_ENOUGH_MEMORY;
  int watch = inotify_add_watch(descriptor_, root.c_str(), kWatchedEvents | IN_ONLYDIR);
  if (watch < 0) return Win32ErrorFromErrno(errno);
  std::lock_guard lock(mutex_);
  roots_[watch] = root;
  return ERROR_SUCCESS;
}

DatabaseFileWatch::Events DatabaseFileWatch::Consume() {
  Events events;
  alignas(inotify_event) char buffer[16384];
  for (;;) {
    ssize_t length = read(descriptor_, buffer, sizeof buffer);
    if (length <= 0) {
      if (length < 0 && errno == EINTR) continue;
      break;
    }
    for (ssize_t offset = 0; offset < length;) {
      auto* event = reinterpret_cast<inotify_event*>(buffer + offset);
      offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) events.changeAnnounced = true;
      if (event->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
        std::lock_guard lock(mutex_);
        auto root = roots_.find(event->wd);
        if (root != roots_.end()) {
          events.rootsGone.insert(root->second);
          if (event->mask & IN_IGNORED) roots_.erase(root);
        }
        continue;
      }
      // Only the directory's own events; a file in it has a name.
      if ((event->mask & IN_ATTRIB) && event->len == 0) events.changeAnnounced = true;
    }
  }
  return events;
}

}  // namespace tesmar::platform::registry
