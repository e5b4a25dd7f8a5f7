// A kernel object that WaitForSingleObject waits on by asking the object itself (processes),
// beside the events and threads it knows directly.
#pragma once

#include "base/handle_table.h"

namespace tesmar::platform {

class WaitableObject : public KernelObject {
 public:
  // True when the object is signalled within the time (INFINITE: no limit).
  virtual bool Wait(DWORD milliseconds) = 0;
};

}  // namespace tesmar::platform
