// Owning wrappers of the platform's handles: each closes what it holds when it leaves scope, so
// that an operation releases what it opened on every path.
//
//   OwnedKey key;
//   if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) ...
//   RegQueryValueExW(key.get(), ...);   // closed at the end of the scope
#pragma once

#include <utility>

#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/service.h"

namespace tesmar::platform {

template <typename Handle, auto Close, Handle Empty = Handle{}>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { Reset(); }
  Owned(Owned&& other) noexcept : handle_(other.Release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Empty; }

  // Where a call that hands out a handle through a pointer puts it; what was held is closed.
  Handle* Receive() {
    Reset();
    return &handle_;
  }
  Handle Release() { return std::exchange(handle_, Empty); }
  void Reset(Handle handle = Empty) {
    if (handle_ != Empty) Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Empty;
};

// Processes, threads and events (CloseHandle).
using OwnedHandle = Owned<HANDLE, &CloseHandle>;
// Registry keys (RegCloseKey; closing a predefined root does nothing).
using OwnedKey = Owned<HKEY, &RegCloseKey>;
// The service manager and its services (CloseServiceHandle).
using OwnedServiceHandle = Owned<SC_HANDLE, &CloseServiceHandle>;

}  // namespace tesmar::platform
