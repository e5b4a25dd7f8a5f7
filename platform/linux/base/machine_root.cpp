#include "base/machine_root.h"

#include <cstdlib>

namespace tesmar::platform {

std::string MachineRoot() {
  const char* root = std::getenv("TESMAR_ROOT");
  if (root && *root) return root;
  return "/var/lib/tesmar";
}

}  // namespace tesmar::platform
