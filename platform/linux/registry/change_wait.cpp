#include "registry/change_wait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "base/errno_to_win32.h"
#include "platform/errors.h"
#include "registry/file_watch.h"

namespace tesmar::platform::registry {
namespace {
// The latest change the scope covers, as its database says now.
DWORD ReadLatest(const ChangeScope& scope, RegistryDatabase::Opening opening, int64_t& latest) {
  DWORD error;
  RegistryDatabase* database = RegistryDatabase::ForRoot(scope.root, error, opening);
  if (!database) return error;
  ChangeNumbers numbers;
  error = ReadChangeNumbers(*database, scope.key, numbers);
  if (error == ERROR_SUCCESS) latest = LatestChange(numbers, scope.subtree, scope.filter);
  return error;
}

// A poll that fails for another reason than a signal is tried again after this long, rather than
// at once and for ever.
constexpr auto kPollRetry = std::chrono::milliseconds(100);

// Blocks until one of the descriptors can be read; the Win32 error when poll fails.
DWORD WaitReadable(pollfd* descriptors, nfds_t count) {
  for (;;) {
    if (poll(descriptors, count, -1) >= 0) return ERROR_SUCCESS;
    if (errno != EINTR) return Win32ErrorFromErrno(errno);
  }
}

// One per process: a thread that serves every asynchronous registration, so that waits which
// time out and are armed again cost an entry each, not a thread each.
class ChangeWatcher {
 public:
  static ChangeWatcher& Instance() {
    static auto* watcher = new ChangeWatcher;  // lives on past exit() with its thread
    return *watcher;
  }

  DWORD Register(const ChangeScope& scope, std::shared_ptr<EventObject> event, const void* owner) {
    {
      std::lock_guard lock(mutex_);
      DWORD error = StartIfNeeded();
      if (error == ERROR_SUCCESS) error = watch_->Watch(scope.root);
      if (error != ERROR_SUCCESS) return error;
    }
    // The directory is watched before the baseline is read, so no later change goes unseen.
    int64_t baseline = 0;
    DWORD error = ReadLatest(scope, RegistryDatabase::Opening::kCreateIfMissing, baseline);
    if (error != ERROR_SUCCESS) return error;
    {
      std::lock_guard lock(mutex_);
      pending_.push_back(Registration{nextSerial_++, scope, baseline, std::move(event), owner});
    }
    Poke();  // a change between the baseline and the entry may have been consumed already
    return ERROR_SUCCESS;
  }

  void Cancel(const void* owner) {
    std::vector<Registration> cancelled;
    {
      std::lock_guard lock(mutex_);
      auto ofOwner = [owner](const Registration& entry) { return entry.owner == owner; };
      std::copy_if(pending_.begin(), pending_.end(), std::back_inserter(cancelled), ofOwner);
      std::erase_if(pending_, ofOwner);
    }
    for (auto& entry : cancelled) entry.event->Set();
  }

 private:
  struct Registration {
    uint64_t serial;
    ChangeScope scope;
    int64_t baseline;
    std::shared_ptr<EventObject> event;
    const void* owner;
  };

  // Under mutex_. A child made by fork() has no watcher thread and starts its own.
  DWORD StartIfNeeded() {
    if (process_ == getpid()) return ERROR_SUCCESS;
    if (wakeDescriptor_ >= 0) close(wakeDescriptor_);
    watch_ = std::make_unique<DatabaseFileWatch>();
    wakeDescriptor_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    pending_.clear();
    if (watch_->descriptor() < 0 || wakeDescriptor_ < 0) return ERROR_NOT_ENOUGH_MEMORY;
    std::thread(&ChangeWatcher::Run, this, watch_.get(), wakeDescriptor_).detach();
    process_ = getpid();
    return ERROR_SUCCESS;
  }

  void Poke() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(wakeDescriptor_, &one, sizeof one);
  }

  void Run(DatabaseFileWatch* watch, int wakeDescriptor) {
    for (;;) {
      pollfd descriptors[] = {{watch->descriptor(), POLLIN, 0}, {wakeDescriptor, POLLIN, 0}};
      if (WaitReadable(descriptors, 2) != ERROR_SUCCESS) {
        // Nothing can be told apart: every waiter is woken to look for itself, and the watch
        // goes on after a pause.
        CheckAll(DatabaseFileWatch::Events{true, {}}, /*fireAll=*/true);
        std::this_thread::sleep_for(kPollRetry);
        continue;
      }
      uint64_t count = 0;
      bool poked = read(wakeDescriptor, &count, sizeof count) > 0;
      DatabaseFileWatch::Events events = watch->Consume();
      if (poked || events.changeAnnounced || !events.rootsGone.empty()) CheckAll(events);
    }
  }

  void CheckAll(const DatabaseFileWatch::Events& events, bool fireAll = false) {
    std::vector<Registration> snapshot;
    {
      std::lock_guard lock(mutex_);
      snapshot = pending_;
    }
    std::vector<uint64_t> fired;
    for (const Registration& entry : snapshot) {
      int64_t latest = 0;
      bool gone = events.rootsGone.count(entry.scope.root) != 0;
      // An unreadable or deleted key wakes its waiter too: the waiter then finds out why.
      if (fireAll || gone ||
          ReadLatest(entry.scope, RegistryDatabase::Opening::kExistingOnly, latest) !=
              ERROR_SUCCESS ||
          latest > entry.baseline) {
        fired.push_back(entry.serial);
      }
    }
    std::vector<std::string> idleRoots;
    {
      std::lock_guard lock(mutex_);
      std::erase_if(pending_, [&](const Registration& entry) {
        return std::find(fired.begin(), fired.end(), entry.serial) != fired.end();
      });
      for (const Registration& entry : snapshot) {
        bool stillUsed = std::any_of(pending_.begin(), pending_.end(), [&](auto& other) {
          return other.scope.root == entry.scope.root;
        });
        if (!stillUsed) idleRoots.push_back(entry.scope.root);
      }
    }
    for (const Registration& entry : snapshot) {
      if (std::find(fired.begin(), fired.end(), entry.serial) != fired.end()) entry.event->Set();
    }
    // A machine nobody waits on any more is let go, so that its directory can be removed.
    for (const std::string& root : idleRoots) RegistryDatabase::Forget(root);
  }

  std::mutex mutex_;
  pid_t process_ = 0;
  std::unique_ptr<DatabaseFileWatch> watch_;
  int wakeDescriptor_ = -1;
  std::vector<Registration> pending_;
  uint64_t nextSerial_ = 1;
};
}  // namespace

DWORD WaitForChange(const ChangeScope& scope) {
  DatabaseFileWatch watch;
  DWORD error = watch.Watch(scope.root);
  if (error != ERROR_SUCCESS) return error;
  int64_t baseline = 0;
  error = ReadLatest(scope, RegistryDatabase::Opening::kCreateIfMissing, baseline);
  if (error != ERROR_SUCCESS) return error;
  for (;;) {
    pollfd descriptor{watch.descriptor(), POLLIN, 0};
    error = WaitReadable(&descriptor, 1);
    if (error != ERROR_SUCCESS) return error;
    DatabaseFileWatch::Events events = watch.Consume();
    if (events.rootsGone.count(scope.root)) return ERROR_KEY_DELETED;
    if (!events.changeAnnounced) continue;
    int64_t latest = 0;
    error = ReadLatest(scope, RegistryDatabase::Opening::kExistingOnly, latest);
    if (error == ERROR_KEY_DELETED) return ERROR_SUCCESS;  // the deletion is the change
    if (error != ERROR_SUCCESS) return error;
    if (latest > baseline) return ERROR_SUCCESS;
  }
}

DWORD RegisterForChange(const ChangeScope& scope, std::shared_ptr<EventObject> event,
                        const void* owner) {
  return ChangeWatcher::Instance().Register(scope, std::move(event), owner);
}

void CancelRegistrationsOf(const void* owner) {
  ChangeWatcher::Instance().Cancel(owner);
}

}  // namespace tesmar::platform::registry
