// A machine of its own for one test: a fresh directory made $TESMAR_ROOT for the life of the
// object, removed with everything in it afterwards. Child processes inherit it. The service
// manager is the built-in one under it, even where systemd runs.
#pragma once

#include <optional>
#include <string>

namespace tesmar::testing {

class TemporaryMachineRoot {
 public:
  TemporaryMachineRoot();
  ~TemporaryMachineRoot();
  TemporaryMachineRoot(const TemporaryMachineRoot&) = delete;
  TemporaryMachineRoot& operator=(const TemporaryMachineRoot&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
  bool hadPrevious_ = false;
  std::optional<std::string> previousSystemd_;
};

}  // namespace tesmar::testing
