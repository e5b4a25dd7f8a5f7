// The one table of kernel object handles of the process. A handle is an index into it, so a
// closed or made-up handle is recognised instead of followed; objects are shared so that a call
// in progress keeps its object alive while another thread closes the handle.
#pragma once

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
    auto object = std::dynamic_pointer_cast<T>(Lookup(handle));
    if (!object) SetInvalidHandleError();
    return object;
  }
  bool Close(HANDLE handle);

 private:
  std::shared_ptr<KernelObject> Lookup(HANDLE handle);
  static void SetInvalidHandleError();

  std::mutex mutex_;
  std::vector<std::shared_ptr<KernelObject>> slots_;
  std::vector<size_t> freeSlots_;
};

}  // namespace tesmar::platform
