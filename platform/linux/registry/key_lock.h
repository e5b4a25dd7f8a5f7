// The registry's lock on a key, for writers that must take turns (the clients of one Data key).
//
// One lock file a key beside the database, locked with flock: the kernel lets it go when its
// holder closes it or dies, so a holder that is killed never blocks anyone. The holder writes
// its process id into the file and touches the file when it lets go; a waiter sleeps on an
// inotify watch of the file and on a pidfd of the holder, so that it wakes when the lock is let
// go, changes hands or its holder dies, and never looks again and again.
#pragma once

#include <string>

#include "base/descriptor.h"
#include "platform/win32_types.h"
#include "registry/store.h"

namespace tesmar::platform::registry {

class KeyLock {
 public:
  KeyLock() = default;
  ~KeyLock() { Release(); }
  KeyLock(const KeyLock&) = delete;
  KeyLock& operator=(const KeyLock&) = delete;

  bool held() const { return static_cast<bool>(file_); }

  // Waits at most timeoutMilliseconds (INFINITE: without limit) for the key's lock of the
  // machine at root; ERROR_TIMEOUT when it did not come, another Win32 error when the lock file
  // cannot be had.
  DWORD Acquire(const std::string& root, KeyId key, DWORD timeoutMilliseconds);
  // Lets go, and wakes the waiters.
  void Release();

 private:
  OwnedDescriptor file_;
};

}  // namespace tesmar::platform::registry
