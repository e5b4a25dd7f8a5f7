// A made-up machine (platform/testing/made_up_machine.h) in place of the kernel, for as long as
// the object lives: any number of processors, processes and threads, chosen operations refused.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "made_up_machine.h"
#include "platform/process_source.h"

namespace tesmar::testing {

using platform::testing::MadeUpMachine;

class MadeUpMachineInUse {
 public:
  explicit MadeUpMachineInUse(unsigned processorCount = 16)
      : machine_(std::make_shared<MadeUpMachine>(processorCount)) {
    platform::UseProcessSource(machine_);
  }
  // The running kernel again.
  ~MadeUpMachineInUse() { platform::UseProcessSource(nullptr); }
  MadeUpMachineInUse(const MadeUpMachineInUse&) = delete;
  MadeUpMachineInUse& operator=(const MadeUpMachineInUse&) = delete;

  const std::shared_ptr<MadeUpMachine>& machine() const { return machine_; }

 private:
  std::shared_ptr<MadeUpMachine> machine_;
};

// A test on a made-up machine, sixteen processors unless the fixture says otherwise.
class MadeUpMachineTest : public ::testing::Test {
 protected:
  explicit MadeUpMachineTest(unsigned processorCount = 16)
      : inUse_(processorCount), machine_(inUse_.machine()) {}

  MadeUpMachineInUse inUse_;
  std::shared_ptr<MadeUpMachine> machine_;
};

}  // namespace tesmar::testing
