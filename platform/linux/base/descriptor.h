// A Linux file descriptor owned like every other handle of the layer (platform/owned_handle.h):
// closed when it leaves scope.
#pragma once

#include <unistd.h>

#include "platform/owned_handle.h"

namespace tesmar::platform {

inline void CloseDescriptor(int descriptor) {
  close(descriptor);
}

using OwnedDescriptor = Owned<int, &CloseDescriptor, -1>;

}  // namespace tesmar::platform
