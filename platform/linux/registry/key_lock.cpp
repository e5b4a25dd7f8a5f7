#include "registry/key_lock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>

#include "base/errno_to_win32.h"
#include "platform/errors.h"

namespace tesmar::platform::registry {
namespace {

using Clock = std::chrono::steady_clock;

std::string LockPath(const std::string& root, KeyId key) {
  return root + "/registry-key-" + std::to_string(key) + ".lock";
}

// A new lock file takes the permissions and the owner of the database, as SQLite's own files
// beside it do: whoever may write the database may take the lock.
void TakeDatabaseModes(int file, const std::string& root) {
  struct stat database;
  if (stat((root + "/registry.db").c_str(), &database) != 0) return;
  fchmod(file, database.st_mode & 0666);
  if (geteuid() == 0) {
    [[maybe_unused]] int owned = fchown(file, database.st_uid, database.st_gid);
  }
}

DWORD OpenLockFile(const std::string& root, KeyId key, OwnedDescriptor& file) {
  std::string path = LockPath(root, key);
  file.Reset(open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (file) {
    TakeDatabaseModes(file.get(), root);
    return ERROR_SUCCESS;
  }
  if (errno != EEXIST) return Win32ErrorFromErrno(errno);
  file.Reset(open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
  return file ? ERROR_SUCCESS : Win32ErrorFromErrno(errno);
}

// The holder's id, as it wrote it; 0 when the file says none.
pid_t HolderOf(int file) {
  char text[16] = {};
  ssize_t length = pread(file, text, sizeof text - 1, 0);
  if (length <= 0) return 0;
  long holder = std::strtol(text, nullptr, 10);
  return holder > 0 ? static_cast<pid_t>(holder) : 0;
}

void WriteHolder(int file) {
  std::string text = std::to_string(getpid()) + "\n";
  if (ftruncate(file, 0) == 0) {
    [[maybe_unused]] ssize_t written = pwrite(file, text.data(), text.size(), 0);
  }
}

int TryLock(int file) {
  if (flock(file, LOCK_EX | LOCK_NB) == 0) return 0;
  return errno == EWOULDBLOCK ? EWOULDBLOCK : errno;
}

int MillisecondsLeft(DWORD timeout, Clock::time_point deadline) {
  if (timeout == INFINITE) return -1;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

DWORD KeyLock::Acquire(const std::string& root, KeyId key, DWORD timeoutMilliseconds) {
  if (held()) return ERROR_SUCCESS;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  OwnedDescriptor file;
  if (DWORD error = OpenLockFile(root, key, file)) return error;
  // Watched before the first try, so that a holder letting go after it wakes the wait.
  OwnedDescriptor changes(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
  if (!changes) return Win32ErrorFromErrno(errno);
  if (inotify_add_watch(changes.get(), LockPath(root, key).c_str(),
                        IN_ATTRIB | IN_MODIFY | IN_CLOSE_WRITE) < 0) {
    return Win32ErrorFromErrno(errno);
  }
  for (;;) {
    int tried = TryLock(file.get());
    if (tried == 0) break;
    if (tried != EWOULDBLOCK) return Win32ErrorFromErrno(tried);
    // The holder as it says; a holder that has just taken the lock and not yet said so wakes the
    // wait when it writes.
    OwnedDescriptor holder;
    if (pid_t id = HolderOf(file.get())) {
      holder.Reset(static_cast<int>(syscall(SYS_pidfd_open, id, 0)));
    }
    // The holder may have let go or died before its pidfd was open.
    if ((tried = TryLock(file.get())) == 0) break;
    pollfd wakes[2] = {{changes.get(), POLLIN, 0}, {holder.get(), POLLIN, 0}};
    int left = MillisecondsLeft(timeoutMilliseconds, deadline);
    if (left == 0) return ERROR_TIMEOUT;
    int ready = poll(wakes, holder ? 2 : 1, left);
    if (ready < 0 && errno != EINTR) return Win32ErrorFromErrno(errno);
    char drained[4096];
    while (read(changes.get(), drained, sizeof drained) > 0) {
    }
  }
  WriteHolder(file.get());
  file_ = std::move(file);
  return ERROR_SUCCESS;
}

void KeyLock::Release() {
  if (!file_) return;
  int file = file_.get();
  flock(file, LOCK_UN);
  // Let go first, then say so: a waiter that wakes finds the lock free. The holder's id stays
  // in the file until the next holder writes its own, so the file is only touched.
  futimens(file, nullptr);
  file_.Reset();
}

}  // namespace tesmar::platform::registry
