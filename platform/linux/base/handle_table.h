// The one table of kernel object handles of the process. A handle is an index into it, so a
// closed or made-up handle is recognised instead of followed; objects are shared so that a call
// in progress keeps its object alive while another thread closes the handle. Closed slots are
// handed out again oldest first, and only once many are free, as Windows and Wine delay reuse:
// a handle used after it was closed then fails, instead of reaching the next object opened.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win32_types.h"

namespace tesmar::platform {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

class HandleTable {
 public:
  static HandleTable& Instance();

  HANDLE Insert(std::shared_ptr<KernelObject> object);
  // The object behind an open handle of kind T, or null (last error ERROR_INVALID_HANDLE).
  template <typename T>
  std::shared_ptr<T> Get(HANDLE handle) {
    auto object = Find<T>(handle);
    if (!object) SetInvalidHandleError();
    return object;
  }
  // The same, leaving the last error alone (for the native calls).
  template <typename T>
  std::shared_ptr<T> Find(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(Lookup(handle));
  }
  bool Close(HANDLE handle);
  size_t OpenCount();

 private:
  std::shared_ptr<KernelObject> Lookup(HANDLE handle);
  static void SetInvalidHandleError();

  std::mutex mutex_;
  std::vector<std::shared_ptr<KernelObject>> slots_;
  std::deque<size_t> freeSlots_;
};

}  // namespace tesmar::platform
