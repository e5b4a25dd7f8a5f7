#include "support/programs.h"

#include <filesystem>

namespace tesmar::testing {

std::string BuildProgram(const std::string& name) {
  std::error_code failure;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failure);
  if (failure) return name;
  return (self.parent_path() / name).string();
}

}  // namespace tesmar::testing
