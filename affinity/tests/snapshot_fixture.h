// Snapshots that are destroyed however a test ends, and finding entries in them.
#pragma once

#include <memory>
#include <string>

#include "Cpumask.h"
#include "support/made_up_machine_test.h"

namespace tesmar::affinity::testing {

using tesmar::testing::MadeUpMachine;
using tesmar::testing::MadeUpMachineTest;

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

// The entry of a process id in the snapshot, or null.
inline ProcessEntry* FindEntryById(const ProcessSnapshot* snapshot, DWORD processId) {
  for (ProcessEntry* entry = AffinGetFirstProcess(snapshot); entry;
       entry = AffinGetNextProcess(entry)) {
    if (AffinGetProcId(entry) == processId) return entry;
  }
  return nullptr;
}

}  // namespace tesmar::affinity::testing
