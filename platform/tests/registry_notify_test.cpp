// Change notification within one process: what wakes a waiter and what does not.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/threading.h"
#include "registry_test_support.h"
#include "support/immutable_file.h"
#include "support/temporary_machine_root.h"

using registry_test::CreateKey;
using registry_test::SetDword;
using tesmar::testing::TemporaryMachineRoot;

namespace {
// Long enough for a wrong wake-up to show; a right one comes in milliseconds.
constexpr DWORD kQuietMilliseconds = 300;
constexpr DWORD kWakeMilliseconds = 10000;

class RegistryNotify : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = CreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix\\Tesmar");
    child_ = CreateKey(parent_, u"Ver2\\Data");
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    second_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  void TearDown() override {
    RegCloseKey(child_);
    RegCloseKey(parent_);
    CloseHandle(event_);
    CloseHandle(second_);
  }
  LONG Arm(HKEY key, BOOL subtree, HANDLE event, DWORD filter = REG_NOTIFY_CHANGE_LAST_SET) {
    return RegNotifyChangeKeyValue(key, subtree, filter, event, TRUE);
  }

  TemporaryMachineRoot root_;
  HKEY parent_ = nullptr;
  HKEY child_ = nullptr;
  HANDLE event_ = nullptr;
  HANDLE second_ = nullptr;
};

// Waiters learn of a change from the writer's touch of the machine's folder after the commit. A
// change that cannot be announced stands, but its writer is told: waiters would sleep through
// it.
TEST_F(RegistryNotify, AChangeThatCannotBeAnnouncedIsReported) {
  if (!tesmar::testing::ImmutableFile::Available()) {
    GTEST_SKIP() << "needs root and a file system with immutable files (chattr)";
  }
  ASSERT_EQ(SetDword(child_, u"RefreshFlag", 1), ERROR_SUCCESS);
  {
    tesmar::testing::ImmutableFile frozen(root_.path());
    ASSERT_TRUE(frozen.made());
    EXPECT_EQ(SetDword(child_, u"RefreshFlag", 2), static_cast<LONG>(ERROR_ACCESS_DENIED));
  }
  LONG result = 0;
  std::vector<BYTE> stored = registry_test::ReadBytes(child_, u"RefreshFlag", result);
  ASSERT_EQ(result, ERROR_SUCCESS);
  ASSERT_EQ(stored.size(), sizeof(DWORD));
  EXPECT_EQ(stored[0], 2) << "the change itself stands";
}

TEST_F(RegistryNotify, EarlierWritesDoNotWakeALaterWaiter) {
  ASSERT_EQ(SetDword(child_, u"RefreshFlag", 1), ERROR_SUCCESS);
  ASSERT_EQ(Arm(parent_, TRUE, event_), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event_, kQuietMilliseconds), WAIT_TIMEOUT);
  ASSERT_EQ(SetDword(child_, u"RefreshFlag", 0), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event_, kWakeMilliseconds), WAIT_OBJECT_0);
  // One registration, one signal: a further change needs a new one.
  ASSERT_EQ(SetDword(child_, u"RefreshFlag", 1), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event_, kQuietMilliseconds), WAIT_TIMEOUT);
}

TEST_F(RegistryNotify, SubkeyChangesReachOnlySubtreeWaiters) {
  ASSERT_EQ(Arm(parent_, TRUE, event_), ERROR_SUCCESS);
  ASSERT_EQ(Arm(parent_, FALSE, second_), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(child_, u"UpdateFlag", 1), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event_, kWakeMilliseconds), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(second_, kQuietMilliseconds), WAIT_TIMEOUT);
  ASSERT_EQ(SetDword(parent_, u"Own", 1), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(second_, kWakeMilliseconds), WAIT_OBJECT_0);

  // A sibling's change is outside the subtree of the child.
  HKEY sibling = CreateKey(parent_, u"Ver3");
  ASSERT_EQ(Arm(child_, TRUE, event_), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(sibling, u"Other", 1), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event_, kQuietMilliseconds), WAIT_TIMEOUT);
  RegCloseKey(sibling);
}

TEST_F(RegistryNotify, FiltersTellValueChangesFromNewSubkeys) {
  ASSERT_EQ(Arm(parent_, TRUE, event_, REG_NOTIFY_CHANGE_LAST_SET), ERROR_SUCCESS);
  ASSERT_EQ(Arm(parent_, TRUE, second_, REG_NOTIFY_CHANGE_NAME), ERROR_SUCCESS);
  HKEY fresh = CreateKey(child_, u"Fresh");
  EXPECT_EQ(WaitForSingleObject(second_, kWakeMilliseconds), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event_, kQuietMilliseconds), WAIT_TIMEOUT);
  // Deleting a value is a value change.
  ASSERT_EQ(SetDword(fresh, u"Gone", 1), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event_, kWakeMilliseconds), WAIT_OBJECT_0);
  ASSERT_EQ(Arm(parent_, TRUE, event_), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueW(fresh, u"Gone"), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event_, kWakeMilliseconds), WAIT_OBJECT_0);
  RegCloseKey(fresh);
}

TEST_F(RegistryNotify, ClosingOrDeletingTheWatchedKeyEndsTheWait) {
  HKEY watched = CreateKey(child_, u"Watched");
  ASSERT_EQ(Arm(watched, FALSE, event_), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(watched), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event_, kWakeMilliseconds), WAIT_OBJECT_0);

  watched = CreateKey(child_, u"Watched");
  ASSERT_EQ(Arm(watched, FALSE, event_), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyW(child_, u"Watched"), ERROR_SUCCESS);
  EXPECT_EQ(WaitForSingleObject(event_, kWakeMilliseconds), WAIT_OBJECT_0);
  EXPECT_EQ(Arm(watched, FALSE, event_), ERROR_KEY_DELETED);
  RegCloseKey(watched);
}

TEST_F(RegistryNotify, SynchronousWaitOnTheMachineRootSeesAnotherThreadsSet) {
  std::atomic<LONG> result{-1};
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    // Its own write just before waiting must not end the wait.
    SetDword(child_, u"UpdateFlag", 0);
    result = RegNotifyChangeKeyValue(HKEY_LOCAL_MACHINE, TRUE, REG_NOTIFY_CHANGE_LAST_SET, nullptr,
                                     FALSE);
    returned = true;
  });
  Sleep(kQuietMilliseconds);
  EXPECT_FALSE(returned);
  // The waiter may not have begun yet; every set after it began ends the wait.
  for (int round = 0; round < 100 && !returned; ++round) {
    ASSERT_EQ(SetDword(child_, u"UpdateFlag", 1), ERROR_SUCCESS);
    Sleep(50);
  }
  waiter.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(result, ERROR_SUCCESS);
}

TEST_F(RegistryNotify, RefusesBadArguments) {
  EXPECT_EQ(RegNotifyChangeKeyValue(parent_, TRUE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, TRUE),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegNotifyChangeKeyValue(parent_, TRUE, 0, event_, TRUE), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegNotifyChangeKeyValue(parent_, TRUE, 0x100, event_, TRUE), ERROR_INVALID_PARAMETER);
  HANDLE notAnEvent = reinterpret_cast<HANDLE>(parent_);
  EXPECT_EQ(RegNotifyChangeKeyValue(parent_, TRUE, REG_NOTIFY_CHANGE_LAST_SET, notAnEvent, TRUE),
            ERROR_INVALID_HANDLE);
  HKEY setOnly = nullptr;
  ASSERT_EQ(RegOpenKeyExW(parent_, nullptr, 0, KEY_SET_VALUE, &setOnly), ERROR_SUCCESS);
  EXPECT_EQ(Arm(setOnly, TRUE, event_), ERROR_ACCESS_DENIED);
  RegCloseKey(setOnly);
}

TEST_F(RegistryNotify, ManyPendingWaitsAllFireOnOneChange) {
  constexpr int kWaits = 64;
  HANDLE events[kWaits];
  for (HANDLE& event : events) {
    event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_EQ(Arm(parent_, TRUE, event), ERROR_SUCCESS);
  }
  ASSERT_EQ(SetDword(child_, u"RefreshFlag", 1), ERROR_SUCCESS);
  for (HANDLE event : events) {
    EXPECT_EQ(WaitForSingleObject(event, kWakeMilliseconds), WAIT_OBJECT_0);
    CloseHandle(event);
  }
}
}  // namespace
