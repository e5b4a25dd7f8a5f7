// The registry shared between processes: values, wake-ups, a writer killed mid-write, and a
// user who may not write.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "platform/errors.h"
#include "platform/registry.h"
#include "registry_test_support.h"
#include "support/temporary_machine_root.h"

using registry_test::CreateKey;
using registry_test::Helper;
using registry_test::ReadBytes;
using registry_test::SetDword;
using tesmar::testing::TemporaryMachineRoot;

namespace {
const char kDataPath[] = "SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data";
const char16_t kWideDataPath[] = u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data";
constexpr uid_t kNobody = 65534;

class RegistryProcesses : public ::testing::Test {
 protected:
  TemporaryMachineRoot root_;
};

TEST_F(RegistryProcesses, AValueWrittenInOneProcessIsReadInTheOther) {
  Helper writer({"set", kDataPath, "Greeting", "from the helper"});
  EXPECT_EQ(writer.ReadLine(), "set 0");
  EXPECT_EQ(writer.Wait(), 0);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWideDataPath, 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  char text[64] = {};
  DWORD size = sizeof text - 1;
  ASSERT_EQ(
      RegQueryValueExA(key, "greeting", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
      ERROR_SUCCESS);
  EXPECT_STREQ(text, "from the helper");

  const char16_t answer[] = u"from the test";
  ASSERT_EQ(RegSetValueExW(key, u"Greeting", 0, REG_SZ, reinterpret_cast<const BYTE*>(answer),
                           sizeof answer),
            ERROR_SUCCESS);
  RegCloseKey(key);
  Helper reader({"get", kDataPath, "GREETING"});
  EXPECT_EQ(reader.ReadLine(), "value from the test");
}

TEST_F(RegistryProcesses, AWaiterWakesWhenAnotherProcessSetsBelowItsKey) {
  HKEY data = CreateKey(HKEY_LOCAL_MACHINE, kWideDataPath);
  Helper waiter({"wait", "SOFTWARE\\Kaltrix", "1"});
  ASSERT_EQ(waiter.ReadLine(), "armed 0");
  // "armed" comes just before the wait begins; every set after that ends it.
  std::optional<std::string> line;
  for (DWORD round = 1; round <= 100 && !line; ++round) {
    ASSERT_EQ(SetDword(data, u"RefreshFlag", round), ERROR_SUCCESS);
    line = waiter.ReadLine(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(line, "woke 0");
  RegCloseKey(data);
}

TEST_F(RegistryProcesses, AKeyOnlyWaiterSleepsThroughSetsInSubkeys) {
  HKEY data = CreateKey(HKEY_LOCAL_MACHINE, kWideDataPath);
  HKEY parent = CreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix");
  Helper waiter({"wait", "SOFTWARE\\Kaltrix", "0"});
  ASSERT_EQ(waiter.ReadLine(), "armed 0");
  for (DWORD round = 1; round <= 5; ++round) {
    ASSERT_EQ(SetDword(data, u"RefreshFlag", round), ERROR_SUCCESS);
    EXPECT_EQ(waiter.ReadLine(std::chrono::milliseconds(100)), std::nullopt);
  }
  std::optional<std::string> line;
  for (DWORD round = 1; round <= 100 && !line; ++round) {
    ASSERT_EQ(SetDword(parent, u"Own", round), ERROR_SUCCESS);
    line = waiter.ReadLine(std::chrono::milliseconds(100));
  }
  EXPECT_EQ(line, "woke 0");
  RegCloseKey(parent);
  RegCloseKey(data);
}

// Bytes 0-3 hold the round that wrote the value, every other byte that round's pattern.
bool IsWholeValueOfRound(const std::vector<BYTE>& value, size_t size, uint32_t& round) {
  if (value.size() != size) return false;
  std::memcpy(&round, value.data(), sizeof round);
  auto pattern = static_cast<BYTE>(round % 251 + 1);
  for (size_t i = sizeof round; i < size; ++i) {
    if (value[i] != pattern) return false;
  }
  return true;
}

TEST_F(RegistryProcesses, AWriterKilledMidWriteLeavesTheOldValueWhole) {
  constexpr size_t kSize = 8u << 20;
  std::mt19937 random(12345);
  for (int attempt = 0; attempt < 6; ++attempt) {
    Helper writer({"write-loop", kDataPath, "ProcList", std::to_string(kSize)});
    // Let a few writes complete, then kill the next one somewhere in its course.
    uint32_t started = 0;
    while (started < 3) {
      auto line = writer.ReadLine();
      ASSERT_TRUE(line.has_value());
      if (line->starts_with("wrote")) {
        ASSERT_EQ(*line, "wrote 0");
      } else if (line->starts_with("writing")) {
        started = std::stoul(line->substr(8));
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
    writer.Kill();
    EXPECT_EQ(writer.Wait(), 128 + SIGKILL);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWideDataPath, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    LONG result;
    std::vector<BYTE> value = ReadBytes(key, u"ProcList", result);
    ASSERT_EQ(result, ERROR_SUCCESS);
    uint32_t round = 0;
    EXPECT_TRUE(IsWholeValueOfRound(value, kSize, round)) << "attempt " << attempt;
    EXPECT_GE(round, started - 1);
    // The database takes the next write as usual.
    ASSERT_EQ(SetDword(key, u"RefreshFlag", 1), ERROR_SUCCESS);
    RegCloseKey(key);
  }
}

// Makes the machine readable for others, as a fresh install under /var/lib would be.
void OpenForReading(const std::string& root) {
  namespace fs = std::filesystem;
  fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  for (const auto& entry : fs::directory_iterator(root)) {
    fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write |
                                      fs::perms::group_read | fs::perms::others_read);
  }
}

TEST_F(RegistryProcesses, AUserWhoCannotWriteGetsAccessDeniedAndChangesNothing) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the helper as another user";
  HKEY data = CreateKey(HKEY_LOCAL_MACHINE, kWideDataPath);
  ASSERT_EQ(SetDword(data, u"Kept", 42), ERROR_SUCCESS);
  OpenForReading(root_.path());

  Helper intruder({"--as-user", std::to_string(kNobody), "access", kDataPath});
  EXPECT_EQ(intruder.ReadLine(), "open-all-access 5");
  EXPECT_EQ(intruder.ReadLine(), "create-new 5");
  EXPECT_EQ(intruder.ReadLine(), "set-on-root 5");
  EXPECT_EQ(intruder.ReadLine(), "open-read 0");
  EXPECT_EQ(intruder.ReadLine(), "query 0");
  EXPECT_EQ(intruder.Wait(), 0);

  DWORD value = 0;
  DWORD size = sizeof value;
  ASSERT_EQ(
      RegQueryValueExW(data, u"Kept", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(value, 42u);
  EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, u"Intruder", nullptr, nullptr, nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  HKEY fresh = nullptr;
  EXPECT_EQ(RegOpenKeyExW(data, u"Fresh", 0, KEY_READ, &fresh), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SetDword(data, u"Kept", 43), ERROR_SUCCESS);
  RegCloseKey(data);
}

TEST_F(RegistryProcesses, AGroupGivenWriteAccessAsTheReadmeSaysMayWrite) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the helper as another user";
  HKEY data = CreateKey(HKEY_LOCAL_MACHINE, kWideDataPath);
  RegCloseKey(data);
  // The operator's steps: everything in the machine directory belongs to the group, which may
  // read and write it; folders are setgid, so that files made later belong to it too, and take
  // the folder's permissions.
  std::string quoted = "'" + root_.path() + "'";
  std::string command = "chgrp -R " + std::to_string(kNobody) + " " + quoted +
                        " && chmod -R g+rwX " + quoted + " && find " + quoted +
                        " -type d -exec chmod g+s {} +";
  ASSERT_EQ(std::system(command.c_str()), 0);

  Helper member({"--as-user", std::to_string(kNobody), "access", kDataPath});
  EXPECT_EQ(member.ReadLine(), "open-all-access 0");
  EXPECT_EQ(member.ReadLine(), "create-new 0");
  EXPECT_EQ(member.ReadLine(), "set-on-root 0");
  EXPECT_EQ(member.Wait(), 0);
  HKEY fresh = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data\\Fresh", 0,
                          KEY_READ, &fresh),
            ERROR_SUCCESS);
  RegCloseKey(fresh);
}
}  // namespace
