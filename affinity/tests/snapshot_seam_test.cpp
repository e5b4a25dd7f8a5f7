// The snapshot on a made-up machine: walking its entries, and sizing its buffer for process lists
// of any length up to the ceiling.
#include <gtest/gtest.h>

#include "platform/process.h"
#include "snapshot_fixture.h"

namespace tesmar::affinity::testing {
namespace {

class SnapshotTest : public MadeUpMachineTest {};

TEST_F(SnapshotTest, WalksEveryEntryInListOrderWithIdleFirst) {
  machine_->AddProcess(u"app.exe", 100, 3);
  machine_->AddProcess(u"db.exe", 200, 1);
  machine_->AddProcess(u"web.exe", 300, 7);
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);

  ProcessEntry* idle = AffinGetFirstProcess(snapshot.get());
  ASSERT_NE(idle, nullptr);
  EXPECT_EQ(static_cast<void*>(idle), snapshot->InfoBuffer);
  EXPECT_EQ(AffinGetProcName(idle), nullptr);
  EXPECT_EQ(AffinGetProcId(idle), 0u);
  EXPECT_EQ(AffinGetThreadCount(idle), 16u) << "one idle thread per processor";

  struct Expected {
    std::u16string name;
    DWORD id;
    DWORD threads;
  };
  const Expected expected[] = {{u"app.exe", 100, 3}, {u"db.exe", 200, 1}, {u"web.exe", 300, 7}};
  ProcessEntry* entry = AffinGetNextProcess(idle);
  for (const Expected& process : expected) {
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(TextOf(AffinGetProcName(entry)), process.name);
    EXPECT_EQ(AffinGetProcId(entry), process.id);
    EXPECT_EQ(AffinGetThreadCount(entry), process.threads);
    entry = AffinGetNextProcess(entry);
  }
  EXPECT_EQ(entry, nullptr) << "the last entry has no next";
  EXPECT_EQ(AffinGetProcessCount(snapshot.get()), 4);
  EXPECT_EQ(snapshot->ProcessCount, 4);
}

TEST_F(SnapshotTest, ListOfTheIdleEntryAloneCountsOne) {
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(AffinGetProcessCount(snapshot.get()), 1);
  EXPECT_EQ(AffinGetNextProcess(AffinGetFirstProcess(snapshot.get())), nullptr);
}

TEST_F(SnapshotTest, EntriesStayAsTakenWhileTheMachineChanges) {
  machine_->AddProcess(u"app.exe", 100, 2);
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);
  machine_->EndProcess(100);
  machine_->AddProcess(u"late.exe", 500, 1);
  ProcessEntry* entry = FindEntryById(snapshot.get(), 100);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(TextOf(AffinGetProcName(entry)), u"app.exe");
  EXPECT_EQ(FindEntryById(snapshot.get(), 500), nullptr);
  EXPECT_EQ(AffinGetProcessCount(snapshot.get()), 2);
}

TEST_F(SnapshotTest, NullArgumentsGiveTheFailureValues) {
  AffinDestructProcesses(nullptr);
  EXPECT_EQ(AffinGetProcessCount(nullptr), 0);
  EXPECT_EQ(AffinGetFirstProcess(nullptr), nullptr);
  EXPECT_EQ(AffinGetNextProcess(nullptr), nullptr);
  EXPECT_EQ(AffinGetProcName(nullptr), nullptr);
  EXPECT_EQ(AffinGetProcId(nullptr), 0u);
  EXPECT_EQ(AffinGetThreadCount(nullptr), 0u);
}

// However many buffer sizes a snapshot tries, it lists the machine once: the platform answers a
// retry with a larger buffer from the listing of the query that failed for size.
class SnapshotBufferTest : public MadeUpMachineTest {
 protected:
  static constexpr unsigned kThreadsPerKiB = 1024 / THREAD_ENTRY_SIZE;

  // One process whose list entry is about that many KiB long.
  void AddProcessOfSize(unsigned kibibytes) {
    machine_->AddProcess(u"big.exe", 100, 1);
    machine_->AddPhantomThreads(100, kibibytes * kThreadsPerKiB);
  }

  unsigned AttemptsFor(const SnapshotPointer& snapshot, DWORD expectedThreads) {
    ProcessEntry* entry = snapshot ? FindEntryById(snapshot.get(), 100) : nullptr;
    if (entry) {
      EXPECT_EQ(AffinGetThreadCount(entry), expectedThreads);
    }
    return machine_->ListCount();
  }
};

TEST_F(SnapshotBufferTest, ListsOfUpTo256KiBFitTheFixedSteps) {
  AddProcessOfSize(100);  // needs the second size, 128 KiB
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(AttemptsFor(snapshot, 1 + 100 * kThreadsPerKiB), 1u);

  machine_->AddProcess(u"more.exe", 1000, 1);
  machine_->AddPhantomThreads(1000, 100 * kThreadsPerKiB);  // 200 KiB in all: the 256 KiB step
  SnapshotPointer fourth = TakeSnapshot();
  ASSERT_NE(fourth, nullptr);
  EXPECT_EQ(AttemptsFor(fourth, 1 + 100 * kThreadsPerKiB), 1u + 1u);
}

TEST_F(SnapshotBufferTest, ASnapshotAbove256KiBListsTheMachineOnce) {
  // About 5,000 threads: a modest Linux server, which fixed steps alone would not hold. Four
  // fixed sizes and one sized from the reported length, from one listing.
  AddProcessOfSize(320);
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(AttemptsFor(snapshot, 1 + 320 * kThreadsPerKiB), 1u);

  // The next snapshot lists the machine as it is then.
  machine_->AddPhantomThreads(100, 10);
  SnapshotPointer next = TakeSnapshot();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(AttemptsFor(next, 1 + 320 * kThreadsPerKiB + 10), 2u);
}

TEST_F(SnapshotBufferTest, ListOfTwentyMegabytesIsSizedFromTheReportedLength) {
  AddProcessOfSize(20 * 1024);
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(AttemptsFor(snapshot, 1 + 20 * 1024 * kThreadsPerKiB), 1u);
}

TEST_F(SnapshotBufferTest, ListJustUnderTheCeilingFitsTheCeilingBuffer) {
  // The headroom would pass 64 MiB; the attempt is made at 64 MiB itself.
  AddProcessOfSize(63 * 1024);
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(AttemptsFor(snapshot, 1 + 63 * 1024 * kThreadsPerKiB), 1u);
}

TEST_F(SnapshotBufferTest, ListPastTheCeilingFailsWithQueryFailedAndTheCodeStays) {
  AddProcessOfSize(65 * 1024);
  EXPECT_EQ(TakeSnapshot(), nullptr);
  EXPECT_EQ(AffinGetLastError(), DWORD{AFFIN_ERR_QUERY_FAILED});
  EXPECT_EQ(machine_->ListCount(), 1u);

  // The cell tells the most recent failure, not the outcome of the most recent call.
  machine_->EndProcess(100);
  SnapshotPointer snapshot = TakeSnapshot();
  ASSERT_NE(snapshot, nullptr);
  EXPECT_EQ(AffinGetLastError(), DWORD{AFFIN_ERR_QUERY_FAILED});
}

}  // namespace
}  // namespace tesmar::affinity::testing
