// The key lock (RegLockKey, RegUnlockKey): writers take turns, in one process and across
// processes, and a holder that ends one way or another never blocks the others.
#include <gtest/gtest.h>

#include <future>
#include <string>

#include "platform/errors.h"
#include "platform/owned_handle.h"
#include "platform/registry.h"
#include "registry_test_support.h"
#include "support/temporary_machine_root.h"

using registry_test::CreateKey;
using registry_test::Helper;
using tesmar::platform::OwnedKey;

namespace {

const char kDataPath[] = "SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data";
const char16_t kWideDataPath[] = u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data";
// Long enough that only a lock that is never let go runs into it.
constexpr DWORD kGenerousLockWait = 60000;

class RegistryLock : public ::testing::Test {
 protected:
  void SetUp() override { RegCloseKey(CreateKey(HKEY_LOCAL_MACHINE, kWideDataPath)); }

  static OwnedKey Open(REGSAM access = KEY_ALL_ACCESS) {
    OwnedKey key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWideDataPath, 0, access, key.Receive()), 0);
    return key;
  }

  tesmar::testing::TemporaryMachineRoot root_;
};

TEST_F(RegistryLock, HandlesTakeTurnsAndLetGoByUnlockOrClose) {
  OwnedKey first = Open();
  OwnedKey second = Open();
  ASSERT_EQ(RegLockKey(first.get(), 0), ERROR_SUCCESS);
  EXPECT_EQ(RegLockKey(first.get(), 0), ERROR_SUCCESS) << "held already";
  EXPECT_EQ(RegLockKey(second.get(), 50), ERROR_TIMEOUT);
  EXPECT_EQ(RegUnlockKey(second.get()), ERROR_NOT_LOCKED);

  std::future<LSTATUS> waiting =
      std::async(std::launch::async, [&] { return RegLockKey(second.get(), kGenerousLockWait); });
  ASSERT_EQ(RegUnlockKey(first.get()), ERROR_SUCCESS);
  EXPECT_EQ(waiting.get(), ERROR_SUCCESS);
  EXPECT_EQ(RegLockKey(first.get(), 0), ERROR_TIMEOUT);

  // Closing the handle lets go as well.
  waiting =
      std::async(std::launch::async, [&] { return RegLockKey(first.get(), kGenerousLockWait); });
  second.Reset();
  EXPECT_EQ(waiting.get(), ERROR_SUCCESS);
}

TEST_F(RegistryLock, OnlyAnOpenedKeyThatMayBeWrittenIsLocked) {
  OwnedKey reading = Open(KEY_READ);
  EXPECT_EQ(RegLockKey(reading.get(), 0), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegLockKey(HKEY_LOCAL_MACHINE, 0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegUnlockKey(HKEY_LOCAL_MACHINE), ERROR_INVALID_HANDLE);
  // Another key has a lock of its own.
  OwnedKey data = Open();
  OwnedKey other;
  ASSERT_EQ(RegCreateKeyExW(data.get(), u"Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            other.Receive(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegLockKey(data.get(), 0), ERROR_SUCCESS);
  EXPECT_EQ(RegLockKey(other.get(), 0), ERROR_SUCCESS);
}

// Across processes: a waiter is woken by the holder letting go, and by the holder's death.
TEST_F(RegistryLock, AHolderKilledOrEndedLetsTheWaiterIn) {
  Helper holder({"lock", kDataPath, "0"});
  ASSERT_EQ(holder.ReadLine(), "lock 0");
  OwnedKey key = Open();
  EXPECT_EQ(RegLockKey(key.get(), 50), ERROR_TIMEOUT);
  std::future<LSTATUS> waiting =
      std::async(std::launch::async, [&] { return RegLockKey(key.get(), kGenerousLockWait); });
  holder.Kill();
  EXPECT_EQ(waiting.get(), ERROR_SUCCESS);

  Helper next({"lock", kDataPath, std::to_string(kGenerousLockWait)});
  ASSERT_EQ(RegUnlockKey(key.get()), ERROR_SUCCESS);
  EXPECT_EQ(next.ReadLine(), "lock 0");
  EXPECT_EQ(RegLockKey(key.get(), 0), ERROR_TIMEOUT);
  next.CloseInput();  // it closes its handle and ends
  EXPECT_EQ(next.Wait(), 0);
  EXPECT_EQ(RegLockKey(key.get(), kGenerousLockWait), ERROR_SUCCESS);
}

}  // namespace
