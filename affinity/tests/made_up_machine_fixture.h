// A made-up machine in place of the kernel for the length of one test, and snapshots that are
// destroyed however the test ends.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Cpumask.h"
#include "platform/process_source.h"
#include "platform/testing/made_up_machine.h"

namespace tesmar::affinity::testing {

struct SnapshotDeleter {
  void operator()(ProcessSnapshot* snapshot) const { AffinDestructProcesses(snapshot); }
};
using SnapshotPointer = std::unique_ptr<ProcessSnapshot, SnapshotDeleter>;

inline SnapshotPointer TakeSnapshot() {
  return SnapshotPointer(AffinConstructProcesses());
}

inline std::u16string TextOf(LPCWSTR text) {
  return text ? std::u16string(text) : u"(null)";
}

class MadeUpMachineTest : public ::testing::Test {
 protected:
  explicit MadeUpMachineTest(unsigned processorCount = 16)
      : machine_(std::make_shared<platform::testing::MadeUpMachine>(processorCount)) {
    platform::UseProcessSource(machine_);
  }
  ~MadeUpMachineTest() override { platform::UseProcessSource(nullptr); }

  // The entry of a process id in the snapshot, or null.
  static ProcessEntry* FindById(const ProcessSnapshot* snapshot, DWORD processId) {
    for (ProcessEntry* entry = AffinGetFirstProcess(snapshot); entry;
         entry = AffinGetNextProcess(entry)) {
      if (AffinGetProcId(entry) == processId) return entry;
    }
    return nullptr;
  }

  std::shared_ptr<platform::testing::MadeUpMachine> machine_;
};

}  // namespace tesmar::affinity::testing
