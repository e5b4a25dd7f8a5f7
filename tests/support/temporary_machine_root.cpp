#include "support/temporary_machine_root.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace tesmar::testing {

TemporaryMachineRoot::TemporaryMachineRoot() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tesmar-root-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary machine root");
  path_ = pattern;
  if (const char* previous = std::getenv("TESMAR_ROOT")) {
    previous_ = previous;
    hadPrevious_ = true;
  }
  setenv("TESMAR_ROOT", path_.c_str(), 1);
  // The built-in service manager even where systemd runs: its runtime folder is looked for
  // under this root, where it is not.
  if (const char* previous = std::getenv("TESMAR_TEST_SYSTEMD_ROOT")) previousSystemd_ = previous;
  setenv("TESMAR_TEST_SYSTEMD_ROOT", path_.c_str(), 1);
}

TemporaryMachineRoot::~TemporaryMachineRoot() {
  if (hadPrevious_) {
    setenv("TESMAR_ROOT", previous_.c_str(), 1);
  } else {
    unsetenv("TESMAR_ROOT");
  }
  if (previousSystemd_) {
    setenv("TESMAR_TEST_SYSTEMD_ROOT", previousSystemd_->c_str(), 1);
  } else {
    unsetenv("TESMAR_TEST_SYSTEMD_ROOT");
  }
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace tesmar::testing
