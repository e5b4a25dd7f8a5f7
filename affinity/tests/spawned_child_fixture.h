// A child process with real threads (tesmar_thread_host) and a snapshot that holds it, for the
// tests against the running kernel.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "Cpumask.h"
#include "platform/process.h"
#include "snapshot_fixture.h"
#include "support/thread_host.h"

namespace tesmar::affinity::testing {

template <typename Field>
Field ReadEntryBytes(const ProcessEntry* entry, std::size_t offset) {
  Field value;
  std::memcpy(&value, reinterpret_cast<const unsigned char*>(entry) + offset, sizeof value);
  return value;
}

class SpawnedChildTest : public ::testing::Test {
 protected:
  void Spawn(unsigned threadCount) {
    host_ = std::make_unique<tesmar::testing::SpawnedThreadHost>(threadCount);
    ASSERT_TRUE(host_->started()) << "tesmar_thread_host did not start";
    snapshot_ = TakeSnapshot();
    ASSERT_NE(snapshot_, nullptr) << "last error " << AffinGetLastError();
    entry_ = FindEntryById(snapshot_.get(), host_->pid());
    ASSERT_NE(entry_, nullptr) << "the child is in the snapshot";
    ASSERT_EQ(AffinGetThreadCount(entry_), threadCount);

    // Operations address threads by their position in the entry, in the kernel's order.
    threadIds_.clear();
    for (unsigned index = 0; index < threadCount; ++index) {
      threadIds_.push_back(ReadEntryBytes<uint32_t>(
          entry_, PROCESS_ENTRY_THREADS + THREAD_ENTRY_SIZE * index + THREAD_ENTRY_THREAD_ID));
    }
    if (host_->threadIds().size() == threadCount) {
      std::vector<uint32_t> listed = threadIds_;
      std::vector<uint32_t> reported = host_->threadIds();
      std::sort(listed.begin(), listed.end());
      std::sort(reported.begin(), reported.end());
      ASSERT_EQ(listed, reported) << "the entry lists the child's own threads";
    }
  }

  uint32_t ThreadId(DWORD index) const { return threadIds_.at(index); }

  std::unique_ptr<tesmar::testing::SpawnedThreadHost> host_;
  SnapshotPointer snapshot_;
  ProcessEntry* entry_ = nullptr;
  std::vector<uint32_t> threadIds_;
};

}  // namespace tesmar::affinity::testing
