// A machine of its own for one test: a fresh directory made $TESMAR_ROOT for the life of the
// object, removed with everything in it afterwards. Child processes inherit it.
#pragma once

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
};

}  // namespace tesmar::testing
