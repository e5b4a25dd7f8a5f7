// The directory that holds one machine's state: $TESMAR_ROOT, or /var/lib/tesmar.
#pragma once

#include <string>

namespace tesmar::platform {

std::string MachineRoot();

}  // namespace tesmar::platform
