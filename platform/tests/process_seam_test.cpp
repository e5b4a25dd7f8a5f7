// The process and thread calls against a made-up machine: sixteen processors, refusals, ended
// and reused ids — what a two-core box cannot show.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/process.h"
#include "process_test_support.h"
#include "support/made_up_machine_test.h"

using tesmar::platform::Scheduling;
using tesmar::platform::UseProcessSource;
using tesmar::platform::testing::MadeUpMachine;
using namespace process_test;

namespace {

class ProcessSeam : public tesmar::testing::MadeUpMachineTest {
 protected:
  void SetUp() override {
    machine_->AddProcess(u"app.exe", 100, 3);
    machine_->AddProcess(u"other.exe", 200, 1);
  }
};

TEST_F(ProcessSeam, ListStartsWithTheIdleProcessAndHoldsEveryThread) {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  EXPECT_EQ(info.dwNumberOfProcessors, 16u);
  EXPECT_EQ(info.dwActiveProcessorMask, 0xFFFFu);

  auto entries = Entries(QueryList());
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].processId, 0u);
  EXPECT_FALSE(entries[0].hasName);
  EXPECT_EQ(entries[0].threadCount, 16u);
  EXPECT_EQ(entries[1].name, u"app.exe");
  EXPECT_EQ(entries[1].threadIds, (std::vector<uint32_t>{100, 101, 102}));
  EXPECT_EQ(entries[2].name, u"other.exe");
  EXPECT_EQ(entries[2].processId, 200u);
}

TEST_F(ProcessSeam, TooSmallBufferReportsTheLengthThatFits) {
  ULONG needed = 0;
  EXPECT_EQ(NtQuerySystemInformation(SystemProcessInformation, nullptr, 0, &needed),
            STATUS_INFO_LENGTH_MISMATCH);
  ASSERT_GT(needed, 3 * PROCESS_ENTRY_THREADS);
  std::vector<unsigned char> buffer(needed);
  EXPECT_EQ(NtQuerySystemInformation(SystemProcessInformation, buffer.data(), needed - 1, nullptr),
            STATUS_INFO_LENGTH_MISMATCH);
  EXPECT_EQ(NtQuerySystemInformation(SystemProcessInformation, buffer.data(), needed, nullptr),
            STATUS_SUCCESS);

  machine_->AddPhantomThreads(100, 1000);
  ULONG grown = 0;
  EXPECT_EQ(NtQuerySystemInformation(SystemProcessInformation, buffer.data(), needed, &grown),
            STATUS_INFO_LENGTH_MISMATCH);
  EXPECT_EQ(grown, needed + 1000 * THREAD_ENTRY_SIZE);
  EXPECT_EQ(NtQuerySystemInformation(42, buffer.data(), needed, nullptr),
            STATUS_INVALID_INFO_CLASS);
}

// A retry with a larger buffer is answered from the listing of the query that failed for size,
// which the reported length fits, even when the machine grew meanwhile; any other query lists
// the machine again.
TEST_F(ProcessSeam, ARetryForSizeIsAnsweredFromTheListingThatDidNotFit) {
  ULONG needed = 0;
  ASSERT_EQ(NtQuerySystemInformation(SystemProcessInformation, nullptr, 0, &needed),
            STATUS_INFO_LENGTH_MISMATCH);
  machine_->AddPhantomThreads(100, 1000);
  std::vector<unsigned char> buffer(needed);
  EXPECT_EQ(NtQuerySystemInformation(SystemProcessInformation, buffer.data(), needed, nullptr),
            STATUS_SUCCESS);
  EXPECT_EQ(machine_->ListCount(), 1u);

  ULONG grown = 0;
  EXPECT_EQ(NtQuerySystemInformation(SystemProcessInformation, buffer.data(), needed, &grown),
            STATUS_INFO_LENGTH_MISMATCH);
  EXPECT_EQ(grown, needed + 1000 * THREAD_ENTRY_SIZE);
  EXPECT_EQ(NtQuerySystemInformation(SystemProcessInformation, buffer.data(), needed, nullptr),
            STATUS_INFO_LENGTH_MISMATCH)
      << "a buffer no larger is no retry";
  EXPECT_EQ(machine_->ListCount(), 3u);
}

TEST_F(ProcessSeam, HandlesFailOnceTheirProcessHasEndedAndNeverTouchANewcomer) {
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, 100);
  HANDLE thread = OpenThreadById(101);
  ASSERT_NE(process, nullptr);
  ASSERT_NE(thread, nullptr);
  machine_->ReuseId(100, u"newcomer.exe");
  machine_->ClearCallLog();

  SetLastError(0);
  EXPECT_FALSE(SetProcessAffinityMask(process, 0x1));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(SetThreadAffinityMask(thread, 0x1), 0u);
  EXPECT_FALSE(SetPriorityClass(process, HIGH_PRIORITY_CLASS));
  EXPECT_FALSE(SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST));
  EXPECT_EQ(SetThreadIdealProcessor(thread, 3), 0xFFFFFFFFu);
  EXPECT_EQ(ThreadMask(thread), 0u);
  EXPECT_TRUE(machine_->CallLog().empty());
  EXPECT_EQ(machine_->ThreadById(101).mask, 0xFFFFu);
  CloseHandle(process);
  CloseHandle(thread);

  machine_->EndProcess(200);
  SetLastError(0);
  EXPECT_EQ(OpenProcess(MAXIMUM_ALLOWED, FALSE, 200), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(OpenThreadById(200), nullptr);
}

// A process walk reads a thread before it changes it and checks its process only before a
// change: a newcomer that took the id after the listing is never changed, and the walk fails
// also where the newcomer's threads already hold the value (they were only read).
TEST_F(ProcessSeam, AWalkWhoseProcessIdIsTakenAfterItsListingChangesNothing) {
  const std::vector<std::function<BOOL(HANDLE)>> walks = {
      [](HANDLE p) { return SetProcessAffinityMask(p, 0xFFFF); },  // holds already
      [](HANDLE p) { return SetProcessAffinityMask(p, 0x1); },
      [](HANDLE p) { return SetPriorityClass(p, NORMAL_PRIORITY_CLASS); },  // holds already
      [](HANDLE p) { return SetPriorityClass(p, HIGH_PRIORITY_CLASS); },
      [](HANDLE p) { return SetProcessPriorityBoost(p, FALSE); },  // holds already
      [](HANDLE p) { return SetProcessPriorityBoost(p, TRUE); },
  };
  for (std::size_t k = 0; k < walks.size(); ++k) {
    HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, 100);
    ASSERT_NE(process, nullptr);
    bool replaced = false;
    machine_->OnThreadListing([&] {
      if (!std::exchange(replaced, true)) machine_->ReuseId(100, u"newcomer.exe");
    });
    machine_->ClearCallLog();
    SetLastError(0);
    EXPECT_FALSE(walks[k](process)) << k;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << k;
    EXPECT_TRUE(replaced) << k;
    EXPECT_EQ(machine_->CallLog(), std::vector<std::string>{}) << k;
    machine_->OnThreadListing(nullptr);
    CloseHandle(process);
  }
}

TEST_F(ProcessSeam, ProcessMaskIsTheUnionAndSettingItStopsAtARefusingThread) {
  machine_->ThreadById(100).mask = 0x1;
  machine_->ThreadById(101).mask = 0x4;
  machine_->ThreadById(102).mask = 0x4;
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, 100);
  DWORD_PTR mask = 0;
  DWORD_PTR system = 0;
  ASSERT_TRUE(GetProcessAffinityMask(process, &mask, &system));
  EXPECT_EQ(mask, 0x5u);
  EXPECT_EQ(system, 0xFFFFu);

  EXPECT_FALSE(SetProcessAffinityMask(process, 0x10000));  // processor 16 does not exist
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(SetProcessAffinityMask(process, 0));

  machine_->Refuse(101, MadeUpMachine::Operation::SetAffinity);
  SetLastError(0);
  EXPECT_FALSE(SetProcessAffinityMask(process, 0x8000));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(machine_->ThreadById(100).mask, 0x8000u);
  EXPECT_EQ(machine_->ThreadById(101).mask, 0x4u);
  EXPECT_EQ(machine_->ThreadById(102).mask, 0x4u);
  CloseHandle(process);

  HANDLE thread = OpenThreadById(101);
  EXPECT_EQ(SetThreadAffinityMask(thread, 0x2), 0u);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(thread);
}

// A mask a thread already holds is not set again: that changes nothing and costs a call.
TEST_F(ProcessSeam, MasksThatAlreadyHoldAreNotSetAgain) {
  machine_->ThreadById(101).mask = 0x3;
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, 100);
  HANDLE thread = OpenThreadById(101);
  machine_->ClearCallLog();
  EXPECT_TRUE(SetProcessAffinityMask(process, 0x3));
  EXPECT_EQ(machine_->CallLog(),
            (std::vector<std::string>{"SetAffinity 100 0x3", "SetAffinity 102 0x3"}));
  machine_->ClearCallLog();
  EXPECT_TRUE(SetProcessAffinityMask(process, 0x3));
  EXPECT_EQ(SetThreadAffinityMask(thread, 0x3), 0x3u);
  EXPECT_EQ(machine_->CallLog(), std::vector<std::string>{});
  CloseHandle(thread);
  CloseHandle(process);
}

TEST_F(ProcessSeam, IdealProcessorIsAHintActedOnOnce) {
  HANDLE thread = OpenThreadById(101);
  ASSERT_NE(thread, nullptr);
  machine_->ThreadById(101).lastProcessor = 7;
  machine_->ThreadById(101).mask = 0x0F0F;
  machine_->ClearCallLog();

  EXPECT_EQ(SetThreadIdealProcessor(thread, 2), 7u);  // previous: where it ran last
  EXPECT_EQ(machine_->CallLog(),
            (std::vector<std::string>{"SetAffinity 101 0x4", "SetAffinity 101 0xf0f"}));
  EXPECT_EQ(SetThreadIdealProcessor(thread, MAXIMUM_PROCESSORS), 2u);
  EXPECT_EQ(SetThreadIdealProcessor(thread, 15), 2u);
  EXPECT_EQ(SetThreadIdealProcessor(thread, 4), 15u);  // outside the mask: remembered only
  EXPECT_EQ(machine_->ThreadById(101).mask, 0x0F0Fu);

  for (DWORD rejected : {16u, 31u, 33u, 0xFFFFFFFFu}) {
    SetLastError(0);
    EXPECT_EQ(SetThreadIdealProcessor(thread, rejected), 0xFFFFFFFFu) << rejected;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  CloseHandle(thread);

  // A newcomer with the same thread id does not inherit the hint.
  machine_->ReuseId(100, u"newcomer.exe");
  machine_->ThreadById(101).lastProcessor = 9;
  thread = OpenThreadById(101);
  EXPECT_EQ(SetThreadIdealProcessor(thread, MAXIMUM_PROCESSORS), 9u);
  CloseHandle(thread);
}

TEST_F(ProcessSeam, EveryClassAndLevelReadsBackAsSet) {
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, 100);
  HANDLE thread = OpenThreadById(101);
  for (DWORD priorityClass :
       {IDLE_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS, REALTIME_PRIORITY_CLASS}) {
    ASSERT_TRUE(SetPriorityClass(process, priorityClass));
    for (int level : {-15, -2, -1, 0, 1, 2, 15}) {
      ASSERT_TRUE(SetThreadPriority(thread, level)) << priorityClass << " " << level;
      EXPECT_EQ(GetThreadPriority(thread), level) << priorityClass;
      EXPECT_EQ(GetPriorityClass(process), priorityClass) << level;
    }
  }
  CloseHandle(thread);
  CloseHandle(process);
}

TEST_F(ProcessSeam, ClassSurvivesAMainThreadAtASharedLevel) {
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, 100);
  ASSERT_TRUE(SetPriorityClass(process, HIGH_PRIORITY_CLASS));
  for (uint32_t id : {100u, 101u}) {
    HANDLE thread = OpenThreadById(id);
    ASSERT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_IDLE));
    CloseHandle(thread);
  }
  EXPECT_EQ(GetPriorityClass(process), HIGH_PRIORITY_CLASS);
  // Moving a thread off the shared level puts it back into its process's class.
  HANDLE thread = OpenThreadById(101);
  ASSERT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL));
  EXPECT_EQ(machine_->ThreadById(101).scheduling.nice, -12);
  // Levels a class does not offer are refused.
  EXPECT_FALSE(SetThreadPriority(thread, 5));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(thread);
  EXPECT_FALSE(SetPriorityClass(process, 0x4000));
  CloseHandle(process);
}

TEST_F(ProcessSeam, RealtimeOnlyLevelsLandInsideTheBandOfTheNextClass) {
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, 100);
  HANDLE above = OpenThreadById(101);
  HANDLE below = OpenThreadById(102);
  ASSERT_TRUE(SetPriorityClass(process, REALTIME_PRIORITY_CLASS));
  ASSERT_TRUE(SetThreadPriority(above, 6));
  ASSERT_TRUE(SetThreadPriority(below, -7));
  EXPECT_EQ(machine_->ThreadById(101).scheduling.realtimePriority, 30);
  EXPECT_EQ(machine_->ThreadById(102).scheduling.realtimePriority, 17);

  ASSERT_TRUE(SetPriorityClass(process, NORMAL_PRIORITY_CLASS));
  EXPECT_EQ(GetPriorityClass(process), NORMAL_PRIORITY_CLASS);
  EXPECT_EQ(GetThreadPriority(above), THREAD_PRIORITY_HIGHEST);
  EXPECT_EQ(GetThreadPriority(below), THREAD_PRIORITY_LOWEST);
  EXPECT_EQ(machine_->ThreadById(101).scheduling.nice, -4);
  EXPECT_EQ(machine_->ThreadById(102).scheduling.nice, 4);
  CloseHandle(below);
  CloseHandle(above);
  CloseHandle(process);
}

TEST_F(ProcessSeam, ALiveThreadThatRejectsAMaskFailsTheWalk) {
  // The kernel answers EINVAL (87) for a mask outside a thread's cpuset: that thread has not
  // ended, and the call must not report success.
  machine_->Refuse(101, MadeUpMachine::Operation::SetAffinity, ERROR_INVALID_PARAMETER);
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, 100);
  SetLastError(0);
  EXPECT_FALSE(SetProcessAffinityMask(process, 0x2));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(machine_->ThreadById(100).mask, 0x2u);
  EXPECT_EQ(machine_->ThreadById(102).mask, 0xFFFFu) << "the walk stops at the refusing thread";

  machine_->Refuse(102, MadeUpMachine::Operation::SetScheduling, ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(SetPriorityClass(process, HIGH_PRIORITY_CLASS));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(process);
}

TEST_F(ProcessSeam, IdealProcessorHintsStayWithTheMachineThatHeardThem) {
  HANDLE thread = OpenThreadById(101);
  ASSERT_NE(SetThreadIdealProcessor(thread, 5), 0xFFFFFFFFu);
  CloseHandle(thread);

  // The same ids on another machine are other threads.
  auto other = std::make_shared<MadeUpMachine>(16);
  other->AddProcess(u"app.exe", 100, 3);
  other->ThreadById(101).lastProcessor = 11;
  UseProcessSource(other);
  thread = OpenThreadById(101);
  EXPECT_EQ(SetThreadIdealProcessor(thread, MAXIMUM_PROCESSORS), 11u);
  CloseHandle(thread);
}

TEST_F(ProcessSeam, BoostDisabledIsBatchSchedulingForEveryThread) {
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, 100);
  ASSERT_TRUE(SetPriorityClass(process, IDLE_PRIORITY_CLASS));
  BOOL disabled = TRUE;
  ASSERT_TRUE(GetProcessPriorityBoost(process, &disabled));
  EXPECT_FALSE(disabled);
  ASSERT_TRUE(SetProcessPriorityBoost(process, TRUE));
  for (uint32_t id : {100u, 101u, 102u}) {
    EXPECT_EQ(machine_->ThreadById(id).scheduling.policy, Scheduling::Policy::Batch);
  }
  ASSERT_TRUE(GetProcessPriorityBoost(process, &disabled));
  EXPECT_TRUE(disabled);
  EXPECT_EQ(GetPriorityClass(process), IDLE_PRIORITY_CLASS);  // the nice values stayed

  HANDLE thread = OpenThreadById(102);
  ASSERT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_LOWEST));
  EXPECT_EQ(machine_->ThreadById(102).scheduling.policy, Scheduling::Policy::Batch);
  CloseHandle(thread);

  machine_->Refuse(101, MadeUpMachine::Operation::SetScheduling);
  EXPECT_FALSE(SetProcessPriorityBoost(process, FALSE));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(process);
}

TEST_F(ProcessSeam, ThreadCallsRejectWrongHandlesAndLengths) {
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, 100);
  HANDLE thread = OpenThreadById(100);
  THREAD_BASIC_INFORMATION basic{};
  EXPECT_EQ(NtQueryInformationThread(thread, ThreadBasicInformation, &basic, 32, nullptr),
            STATUS_INFO_LENGTH_MISMATCH);
  EXPECT_FALSE(NT_SUCCESS(
      NtQueryInformationThread(process, ThreadBasicInformation, &basic, sizeof basic, nullptr)));
  EXPECT_EQ(GetThreadPriority(process), THREAD_PRIORITY_ERROR_RETURN);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetPriorityClass(thread), 0u);
  ASSERT_EQ(NtQueryInformationThread(thread, ThreadBasicInformation, &basic, sizeof basic, nullptr),
            STATUS_SUCCESS);
  EXPECT_EQ(basic.AffinityMask, 0xFFFFu);
  EXPECT_EQ(basic.UniqueThread, 100u);
  CloseHandle(thread);
  CloseHandle(process);
  EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_ERROR_RETURN);  // closed

  // The native calls answer with a status and leave the last error as it was.
  SetLastError(0xdeadbeef);
  EXPECT_EQ(NtQueryInformationThread(thread, ThreadBasicInformation, &basic, sizeof basic, nullptr),
            STATUS_INVALID_HANDLE);
  HANDLE none = nullptr;
  CLIENT_ID gone{nullptr, reinterpret_cast<HANDLE>(uintptr_t{999})};
  EXPECT_EQ(NtOpenThread(&none, MAXIMUM_ALLOWED, nullptr, &gone), STATUS_INVALID_CID);
  EXPECT_EQ(GetLastError(), 0xdeadbeefu);
}

}  // namespace

namespace {

// The list tells why it could not be read, instead of calling every failure a refusal.
TEST_F(ProcessSeam, AListThatCannotBeReadAnswersWhy) {
  std::vector<unsigned char> buffer(1 << 16);
  ULONG needed = 0;
  for (auto [error, status] : {std::pair{ERROR_NOT_ENOUGH_MEMORY, STATUS_NO_MEMORY},
                               std::pair{ERROR_ACCESS_DENIED, STATUS_ACCESS_DENIED},
                               std::pair{ERROR_INVALID_PARAMETER, STATUS_INVALID_PARAMETER},
                               std::pair{ERROR_GEN_FAILURE, STATUS_UNSUCCESSFUL}}) {
    machine_->Refuse(0, MadeUpMachine::Operation::ListProcesses, error);
    EXPECT_EQ(NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                       static_cast<ULONG>(buffer.size()), &needed),
              status)
        << error;
  }
}

// A call that runs out of memory fails with ERROR_NOT_ENOUGH_MEMORY; it does not end the
// process (every call is noexcept, and an allocation that threw out of one would terminate it).
TEST_F(ProcessSeam, NoMemoryInsideACallIsItsError) {
  machine_->FailAllocation(100, MadeUpMachine::Operation::ListThreads);
  // At nice 19 the main thread tells no class, so the class is read by walking the threads.
  machine_->ThreadById(100).scheduling.nice = 19;
  HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, 100);
  ASSERT_NE(process, nullptr);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(SetProcessAffinityMask(process, 0x3));
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetPriorityClass(process), 0u);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  CloseHandle(process);

  machine_->FailAllocation(0, MadeUpMachine::Operation::ListProcesses);
  std::vector<unsigned char> buffer(1 << 16);
  EXPECT_EQ(NtQuerySystemInformation(SystemProcessInformation, buffer.data(),
                                     static_cast<ULONG>(buffer.size()), nullptr),
            STATUS_NO_MEMORY);
}

}  // namespace
