// The registry's write-ahead log against a reader that never lets go: any user who may read
// registry.db can hold a read transaction open, and every later commit then stays in the log.
// The log must stop at its stated limit (README, "The registry") instead of filling the disk,
// and shrink again once the reader has gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/registry.h"
#include "registry_test_support.h"
#include "support/console_process.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/wait_until.h"

namespace {

using registry_test::CreateKey;
using registry_test::ReadBytes;

constexpr std::uintmax_t kStatedLogLimit = 64u << 20;
constexpr DWORD kValueSize = 2u << 20;

std::uintmax_t LogLength(const std::string& root) {
  std::error_code missing;
  std::uintmax_t length = std::filesystem::file_size(root + "/registry.db-wal", missing);
  return missing ? 0 : length;
}

TEST(RegistryLogBound, AReaderThatNeverLetsGoCannotMakeTheLogGrowPastItsLimit) {
  tesmar::testing::TemporaryMachineRoot root;
  HKEY key = CreateKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data");
  std::vector<BYTE> value(kValueSize, 0x5A);
  ASSERT_EQ(RegSetValueExW(key, u"ProcList", 0, REG_BINARY, value.data(), kValueSize), 0);

  tesmar::testing::ConsoleProcess reader(tesmar::testing::BuildProgram("tesmar_snapshot_reader"),
                                         {root.path() + "/registry.db"});
  std::optional<std::string> said = reader.ReadLine(tesmar::testing::kGenerousWait);
  ASSERT_TRUE(said && said->starts_with("holding")) << said.value_or("nothing");

  // Half again as much as the limit, in values of 2 MB that differ in every page (SQLite writes
  // only the pages of a value that changed).
  int refused = 0;
  std::uintmax_t longest = 0;
  uint32_t lastWritten = 0;
  for (uint32_t round = 1; round <= 48; ++round) {
    std::memset(value.data(), static_cast<int>(round), value.size());
    LSTATUS result = RegSetValueExW(key, u"ProcList", 0, REG_BINARY, value.data(), kValueSize);
    if (result == ERROR_NO_LOG_SPACE) {
      ++refused;
    } else {
      ASSERT_EQ(result, ERROR_SUCCESS) << round;
      lastWritten = round;
    }
    longest = std::max(longest, LogLength(root.path()));
  }
  EXPECT_LE(longest, kStatedLogLimit);
  EXPECT_GT(refused, 0) << "the reader held every commit in the log";
  EXPECT_GT(lastWritten, 10u) << "writes went on until the log was full";
  LONG read = 0;
  std::vector<BYTE> stored = ReadBytes(key, u"ProcList", read);
  ASSERT_EQ(read, ERROR_SUCCESS);
  ASSERT_EQ(stored.size(), kValueSize);
  EXPECT_EQ(stored.front(), static_cast<BYTE>(lastWritten)) << "a refused write changed nothing";

  // Once the reader has gone, the next write goes through and the log is emptied soon after (on
  // the process's checkpoint thread, not the writer's).
  reader.CloseInput();
  ASSERT_EQ(reader.WaitForExit(tesmar::testing::kGenerousWait), 0);
  ASSERT_EQ(RegSetValueExW(key, u"ProcList", 0, REG_BINARY, value.data(), kValueSize), 0);
  EXPECT_TRUE(tesmar::testing::WaitUntil([&] { return LogLength(root.path()) == 0; }))
      << LogLength(root.path());
  RegCloseKey(key);
}

}  // namespace
