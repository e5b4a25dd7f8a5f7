// Threads, events, waits and the recorded speaker, against real threads and the real clock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/threading.h"
#include "platform/tones.h"
#include "support/temporary_machine_root.h"

namespace {

using tesmar::platform::RecordedTones;
using tesmar::platform::Tone;

DWORD WaitForRelease(LPVOID release) {
  WaitForSingleObject(static_cast<HANDLE>(release), INFINITE);
  return 7;
}

DWORD ReturnAtOnce(LPVOID) {
  return 0;
}

TEST(CreateThread, RunsTheRoutineOnAThreadWhoseHandleIsSignalledAtItsEnd) {
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(release, nullptr);
  DWORD threadId = 0xdeadbeef;
  HANDLE thread = CreateThread(nullptr, 0, WaitForRelease, release, 0, &threadId);
  ASSERT_NE(thread, nullptr);

  // The id is the Linux thread id: a task of this process, not the process itself.
  EXPECT_NE(threadId, 0xdeadbeefu);
  EXPECT_TRUE(std::filesystem::exists("/proc/self/task/" + std::to_string(threadId)));

  SetLastError(0xdeadbeef);
  EXPECT_EQ(WaitForSingleObject(thread, 50), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "a timeout is a result, not an error";

  ASSERT_TRUE(SetEvent(release));
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_TRUE(CloseHandle(release));
}

TEST(CreateThread, ClosingTheHandleEarlyLeavesTheThreadRunning) {
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  struct Events {
    HANDLE release, done;
  } events{release, done};
  HANDLE thread = CreateThread(
      nullptr, 64 * 1024,
      [](LPVOID parameter) -> DWORD {
        auto* events = static_cast<Events*>(parameter);
        WaitForSingleObject(events->release, INFINITE);
        SetEvent(events->done);
        return 0;
      },
      &events, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(CloseHandle(thread));
  SetEvent(release);
  EXPECT_EQ(WaitForSingleObject(done, 5000), WAIT_OBJECT_0);
  CloseHandle(release);
  CloseHandle(done);
}

TEST(CreateThread, RefusesWhatItCannotDo) {
  SetLastError(0);
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(0);
  constexpr DWORD kCreateSuspended = 0x4;
  EXPECT_EQ(CreateThread(nullptr, 0, ReturnAtOnce, nullptr, kCreateSuspended, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(WaitForSingleObject, FailsOnHandlesItCannotWaitFor) {
  HANDLE thread = CreateThread(nullptr, 0, ReturnAtOnce, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(CloseHandle(thread));
  for (HANDLE bogus : {HANDLE(nullptr), INVALID_HANDLE_VALUE, thread}) {
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(bogus, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  }
}

TEST(Events, AutoResetReleasesOneWaitManualResetStaysSignalled) {
  HANDLE automatic = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  HANDLE manual = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(automatic, nullptr);
  ASSERT_NE(manual, nullptr);

  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0) << "created signalled";
  EXPECT_EQ(WaitForSingleObject(automatic, 20), static_cast<DWORD>(WAIT_TIMEOUT))
      << "the first wait reset it";

  EXPECT_EQ(WaitForSingleObject(manual, 20), static_cast<DWORD>(WAIT_TIMEOUT));
  ASSERT_TRUE(SetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  ASSERT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(automatic);
  CloseHandle(manual);
}

TEST(Events, OneSetOfAnAutoResetEventWakesOneOfTwoWaitingThreads) {
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::atomic<int> woken{0};
  auto waiter = [](LPVOID parameter) -> DWORD {
    auto* state = static_cast<std::pair<HANDLE, std::atomic<int>*>*>(parameter);
    if (WaitForSingleObject(state->first, 300) == WAIT_OBJECT_0) ++*state->second;
    return 0;
  };
  std::pair<HANDLE, std::atomic<int>*> state{event, &woken};
  HANDLE first = CreateThread(nullptr, 0, waiter, &state, 0, nullptr);
  HANDLE second = CreateThread(nullptr, 0, waiter, &state, 0, nullptr);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  SetEvent(event);
  WaitForSingleObject(first, INFINITE);
  WaitForSingleObject(second, INFINITE);
  EXPECT_EQ(woken.load(), 1);
  CloseHandle(first);
  CloseHandle(second);
  CloseHandle(event);
}

TEST(Beep, RecordsEachToneInOrderAndTakesItsDuration) {
  tesmar::testing::TemporaryMachineRoot root;
  EXPECT_TRUE(RecordedTones().empty());

  auto before = std::chrono::steady_clock::now();
  ASSERT_TRUE(Beep(220, 50));
  ASSERT_TRUE(Beep(440, 30));
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(80));

  SetLastError(0);
  EXPECT_FALSE(Beep(36, 10)) << "below the lowest frequency";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(Beep(32768, 10));

  int self = static_cast<int>(std::stoi(std::filesystem::read_symlink("/proc/self").string()));
  std::vector<Tone> expected{{self, 220, 50}, {self, 440, 30}};
  EXPECT_EQ(RecordedTones(), expected);
}

TEST(Beep, ToneRecordsOfConcurrentThreadsNeverInterleave) {
  tesmar::testing::TemporaryMachineRoot root;
  auto beeper = [](LPVOID parameter) -> DWORD {
    DWORD frequency = static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
    for (int i = 0; i < 200; ++i) Beep(frequency, 0);
    return 0;
  };
  HANDLE low =
      CreateThread(nullptr, 0, beeper, reinterpret_cast<LPVOID>(uintptr_t{1000}), 0, nullptr);
  HANDLE high =
      CreateThread(nullptr, 0, beeper, reinterpret_cast<LPVOID>(uintptr_t{2000}), 0, nullptr);
  WaitForSingleObject(low, INFINITE);
  WaitForSingleObject(high, INFINITE);
  auto tones = RecordedTones();
  ASSERT_EQ(tones.size(), 400u);
  for (const Tone& tone : tones) {
    EXPECT_TRUE(tone.frequency == 1000 || tone.frequency == 2000);
    EXPECT_EQ(tone.duration, 0u);
  }
  CloseHandle(low);
  CloseHandle(high);
}

}  // namespace
