// The live operations on a made-up machine of sixteen processors: what a small box cannot show
// (threads on processors above 1, a thread that refuses a mask, ended and refused processes).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/handles.h"
#include "platform/process.h"
#include "snapshot_fixture.h"

namespace tesmar::affinity::testing {
namespace {

using platform::testing::MadeUpMachine;

class OperationsTest : public MadeUpMachineTest {
 protected:
  static constexpr DWORD kApp = 100;  // threads 100..103

  void SetUp() override {
    machine_->AddProcess(u"app.exe", kApp, 4);
    machine_->AddProcess(u"empty.exe", 200, 0);
    snapshot_ = TakeSnapshot();
    ASSERT_NE(snapshot_, nullptr);
    app_ = FindEntryById(snapshot_.get(), kApp);
    empty_ = FindEntryById(snapshot_.get(), 200);
    ASSERT_NE(app_, nullptr);
    ASSERT_NE(empty_, nullptr);
  }

  std::vector<std::string> AffinityCalls() const {
    std::vector<std::string> calls;
    for (const std::string& line : machine_->CallLog()) {
      if (line.rfind("SetAffinity", 0) == 0) calls.push_back(line);
    }
    return calls;
  }

  SnapshotPointer snapshot_;
  ProcessEntry* app_ = nullptr;
  ProcessEntry* empty_ = nullptr;
};

TEST_F(OperationsTest, MasksOfSixteenProcessorsGoToTheRightThreads) {
  EXPECT_EQ(AffinGetSystemAffinity(app_), 0xFFFFu);
  EXPECT_EQ(AffinGetProcessAffinity(app_), 0xFFFFu);

  ASSERT_EQ(AffinSetThreadAffinity(app_, 0, 0x1), 1);
  ASSERT_EQ(AffinSetThreadAffinity(app_, 2, 0x4), 1);
  ASSERT_EQ(AffinSetThreadAffinity(app_, 3, 0x8000), 1);
  EXPECT_EQ(machine_->ThreadById(100).mask, 0x1u);
  EXPECT_EQ(machine_->ThreadById(101).mask, 0xFFFFu);
  EXPECT_EQ(machine_->ThreadById(102).mask, 0x4u);
  EXPECT_EQ(machine_->ThreadById(103).mask, 0x8000u);
  EXPECT_EQ(AffinGetThreadAffinity(app_, 2), 0x4u);
  EXPECT_EQ(AffinGetThreadAffinity(app_, 3), 0x8000u);

  ASSERT_EQ(AffinSetThreadAffinity(app_, 1, 0x1), 1);
  ASSERT_EQ(AffinSetThreadAffinity(app_, 3, 0x1), 1);
  EXPECT_EQ(AffinGetActiveProcessAffinity(app_), 0x5u) << "threads on processors 0 and 2";

  ASSERT_EQ(AffinSetProcessAffinity(app_, 0xF0F0), 1);
  for (DWORD thread = 100; thread <= 103; ++thread) {
    EXPECT_EQ(machine_->ThreadById(thread).mask, 0xF0F0u);
  }
  EXPECT_EQ(AffinGetProcessAffinity(app_), 0xF0F0u);
  EXPECT_EQ(AffinSetThreadAffinity(app_, 0, 0x10000), 0) << "no processor 16";
}

TEST_F(OperationsTest, SettingEveryThreadStopsAtTheFirstThatRefuses) {
  machine_->Refuse(102, MadeUpMachine::Operation::SetAffinity);
  machine_->ClearCallLog();
  EXPECT_EQ(AffinSetActiveProcessAffinity(app_, 0x30), 0);
  EXPECT_EQ(machine_->ThreadById(100).mask, 0x30u);
  EXPECT_EQ(machine_->ThreadById(101).mask, 0x30u);
  EXPECT_EQ(machine_->ThreadById(102).mask, 0xFFFFu);
  EXPECT_EQ(machine_->ThreadById(103).mask, 0xFFFFu);
  EXPECT_EQ(AffinityCalls(),
            (std::vector<std::string>{"SetAffinity 100 0x30", "SetAffinity 101 0x30",
                                      "SetAffinity 102 0x30"}))
      << "the thread after the refusal is not touched";

  EXPECT_EQ(AffinSetActiveProcessAffinity(empty_, 0x30), 1) << "no thread refused";
  EXPECT_EQ(AffinGetActiveProcessAffinity(empty_), 0u);
}

TEST_F(OperationsTest, UnionSkipsThreadsThatCannotBeRead) {
  ASSERT_EQ(AffinSetThreadAffinity(app_, 0, 0x1), 1);
  ASSERT_EQ(AffinSetThreadAffinity(app_, 1, 0x2), 1);
  ASSERT_EQ(AffinSetThreadAffinity(app_, 2, 0x4), 1);
  ASSERT_EQ(AffinSetThreadAffinity(app_, 3, 0x8), 1);
  machine_->Refuse(101, MadeUpMachine::Operation::GetAffinity);
  machine_->Refuse(103, MadeUpMachine::Operation::Open);
  EXPECT_EQ(AffinGetThreadAffinity(app_, 1), 0u);
  EXPECT_EQ(AffinGetThreadAffinity(app_, 3), 0u) << "a thread that cannot be opened reads 0";
  EXPECT_EQ(AffinGetActiveProcessAffinity(app_), 0x5u);
}

TEST_F(OperationsTest, IdealProcessorOutsideTheMachineIsRejected) {
  DWORD previous = AffinSetThreadIdealProcessor(app_, 1, 15);
  EXPECT_LT(previous, 16u);
  EXPECT_EQ(AffinSetThreadIdealProcessor(app_, 1, 3), 15u) << "the previous hint comes back";
  EXPECT_EQ(AffinSetThreadIdealProcessor(app_, 1, 16), 0xFFFFFFFFu);
  EXPECT_EQ(AffinSetThreadIdealProcessor(app_, 1, 0xFFFFFFFF), 0xFFFFFFFFu);
  EXPECT_EQ(AffinSetThreadIdealProcessor(app_, 1, 0), 3u) << "a rejected hint changed nothing";
}

TEST_F(OperationsTest, PriorityAndBoostReadBackAsSet) {
  ASSERT_EQ(AffinSetProcessPriority(app_, HIGH_PRIORITY_CLASS), 1);
  EXPECT_EQ(AffinGetProcessPriority(app_), DWORD{HIGH_PRIORITY_CLASS});
  ASSERT_EQ(AffinSetThreadPriority(app_, 2, THREAD_PRIORITY_LOWEST), 1);
  EXPECT_EQ(AffinGetThreadPriority(app_, 2), THREAD_PRIORITY_LOWEST);
  EXPECT_EQ(AffinGetProcessPriority(app_), DWORD{HIGH_PRIORITY_CLASS});

  DWORD disabled = 7;
  ASSERT_EQ(AffinSetPriorityBoost(app_, 1), 1);
  ASSERT_EQ(AffinGetPriorityBoost(app_, &disabled), 1);
  EXPECT_EQ(disabled, 1u);
  ASSERT_EQ(AffinSetPriorityBoost(app_, 0), 1);
  ASSERT_EQ(AffinGetPriorityBoost(app_, &disabled), 1);
  EXPECT_EQ(disabled, 0u);
  EXPECT_EQ(AffinGetPriorityBoost(app_, nullptr), 0);
}

TEST_F(OperationsTest, EndedProcessGivesEveryFailureValue) {
  machine_->EndProcess(kApp);
  EXPECT_EQ(AffinGetProcessAffinity(app_), 0u);
  EXPECT_EQ(AffinSetProcessAffinity(app_, 0x1), 0);
  EXPECT_EQ(AffinGetSystemAffinity(app_), 0u);
  EXPECT_EQ(AffinSetProcessPriority(app_, NORMAL_PRIORITY_CLASS), 0);
  EXPECT_EQ(AffinSetPriorityBoost(app_, 1), 0);
  DWORD disabled = 7;
  EXPECT_EQ(AffinGetPriorityBoost(app_, &disabled), 0);
  EXPECT_EQ(disabled, 7u) << "untouched on failure";
  EXPECT_EQ(AffinGetProcessPriority(app_), 8u) << "the entry's base priority level";

  EXPECT_EQ(AffinGetThreadHandle(app_, 0), nullptr);
  EXPECT_EQ(AffinGetThreadAffinity(app_, 0), 0u);
  EXPECT_EQ(AffinSetThreadAffinity(app_, 0, 0x1), 0);
  EXPECT_EQ(AffinGetActiveProcessAffinity(app_), 0u);
  EXPECT_EQ(AffinSetActiveProcessAffinity(app_, 0x1), 0);
  EXPECT_EQ(AffinGetThreadPriority(app_, 0), 0);
  EXPECT_EQ(AffinSetThreadPriority(app_, 0, THREAD_PRIORITY_HIGHEST), 0);
  EXPECT_EQ(AffinSetThreadIdealProcessor(app_, 0, 1), 0xFFFFFFFFu);
}

TEST_F(OperationsTest, RefusedProcessFallsBackToTheBasePriority) {
  machine_->Refuse(kApp, MadeUpMachine::Operation::Open);
  EXPECT_EQ(AffinGetProcessPriority(app_), 8u);
  EXPECT_EQ(AffinGetProcessAffinity(app_), 0u);
  EXPECT_EQ(AffinSetProcessAffinity(app_, 0x3), 0);
  EXPECT_EQ(machine_->ThreadById(100).mask, 0xFFFFu);
}

// Within a pass an operation may keep its task's handle for the next one (a thread's and a
// process's, no more); the snapshot's end closes them.
TEST_F(OperationsTest, EveryOperationClosesWhatItOpenedByTheEndOfThePass) {
  const std::size_t before = platform::OpenHandleCount();
  // The count sees a handle that stays open.
  HANDLE owned = AffinGetThreadHandle(app_, 0);
  ASSERT_NE(owned, nullptr);
  EXPECT_EQ(platform::OpenHandleCount(), before + 1);
  EXPECT_TRUE(CloseHandle(owned));

  DWORD disabled = 0;
  for (int round = 0; round < 3; ++round) {
    AffinGetProcessAffinity(app_);
    AffinSetProcessAffinity(app_, 0x3);
    AffinGetSystemAffinity(app_);
    AffinGetProcessPriority(app_);
    AffinSetProcessPriority(app_, NORMAL_PRIORITY_CLASS);
    AffinSetPriorityBoost(app_, 0);
    AffinGetPriorityBoost(app_, &disabled);
    AffinGetThreadAffinity(app_, 1);
    AffinSetThreadAffinity(app_, 1, 0x3);
    AffinGetActiveProcessAffinity(app_);
    AffinSetActiveProcessAffinity(app_, 0x3);
    AffinGetThreadPriority(app_, 1);
    AffinSetThreadPriority(app_, 1, 0);
    AffinSetThreadIdealProcessor(app_, 1, 1);
    AffinSetThreadIdealProcessor(app_, 1, 99);  // failing calls close too
    EXPECT_LE(platform::OpenHandleCount(), before + 2);
  }
  snapshot_.reset();
  EXPECT_EQ(platform::OpenHandleCount(), before);
}

// A task's operations in a row open it once; a new snapshot opens it again.
TEST_F(OperationsTest, OperationsInARowOnOneTaskOpenItOnce) {
  const unsigned before = machine_->OpenCount();
  AffinGetThreadAffinity(app_, 1);
  AffinGetThreadPriority(app_, 1);
  AffinSetThreadAffinity(app_, 1, 0x3);
  AffinSetThreadPriority(app_, 1, THREAD_PRIORITY_HIGHEST);
  AffinSetThreadIdealProcessor(app_, 1, 1);
  EXPECT_EQ(machine_->OpenCount(), before + 1);
  DWORD disabled = 0;
  AffinGetProcessAffinity(app_);
  AffinGetProcessPriority(app_);
  AffinGetPriorityBoost(app_, &disabled);
  AffinSetProcessPriority(app_, HIGH_PRIORITY_CLASS);
  EXPECT_EQ(machine_->OpenCount(), before + 2);
  EXPECT_EQ(machine_->ThreadById(101).mask, 0x3u);

  snapshot_ = TakeSnapshot();
  app_ = FindEntryById(snapshot_.get(), kApp);
  ASSERT_NE(app_, nullptr);
  AffinGetThreadAffinity(app_, 1);
  EXPECT_EQ(machine_->OpenCount(), before + 3);
}

// A kept handle never reaches a newcomer that took its task's id: the operation fails, where
// opening the id anew would have found the newcomer.
TEST_F(OperationsTest, AKeptHandleFailsOnceItsTasksIdWasTaken) {
  ASSERT_EQ(AffinGetThreadAffinity(app_, 0), 0xFFFFu);
  DWORD disabled = 0;
  ASSERT_EQ(AffinGetPriorityBoost(app_, &disabled), 1);
  machine_->ReuseId(kApp, u"app.exe");
  machine_->ClearCallLog();
  EXPECT_EQ(AffinSetThreadAffinity(app_, 0, 0x1), 0);
  EXPECT_EQ(AffinSetProcessPriority(app_, REALTIME_PRIORITY_CLASS), 0);
  EXPECT_EQ(AffinSetPriorityBoost(app_, 1), 0);
  EXPECT_EQ(machine_->CallLog(), std::vector<std::string>{});
  EXPECT_EQ(machine_->ThreadById(100).mask, 0xFFFFu);
}

}  // namespace
}  // namespace tesmar::affinity::testing
