// tesmarsr run from a command line, as a real process under a machine root of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "support/console_process.h"
#include "support/data_key_access.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/wait_until.h"

namespace tesmar::service::testing {
namespace {

using namespace tesmar::testing;
using namespace std::chrono_literals;

constexpr auto kLineTimeout = 20s;

void ExpectConsoleBanner(ConsoleProcess& program) {
  EXPECT_EQ(program.ReadLine(kLineTimeout), "Running as Exe...");
  EXPECT_EQ(program.ReadLine(kLineTimeout), "Service Thread Running...");
  EXPECT_EQ(program.ReadLine(kLineTimeout), "Press Enter to stop.");
}

TEST(TesmarsrConsoleTest, RunsUntilEnterWithEitherLetterCase) {
  for (const char* option : {"-e", "-E"}) {
    SCOPED_TRACE(option);
    TemporaryMachineRoot root;
    ConsoleProcess program(TesmarsrProgram(), {option});
    ExpectConsoleBanner(program);
    // The worker does its work while the main thread waits for Enter.
    EXPECT_TRUE(WaitUntil([] { return ReadDataPacket().has_value(); }));
    EXPECT_EQ(program.WaitForExit(300ms), std::nullopt) << "stopped before Enter";

    program.Write("\n");
    EXPECT_EQ(program.WaitForExit(kLineTimeout), 0);
    EXPECT_EQ(program.ReadRemainingOutput(kLineTimeout), "");
    EXPECT_EQ(program.ReadErrorOutput(kLineTimeout), "");
  }
}

TEST(TesmarsrConsoleTest, AnyOtherArgumentExitsAtOnceSilentlyAndStartsNothing) {
  for (const char* option : {"-x", "-ex", "e", "/e", ""}) {
    SCOPED_TRACE(option);
    TemporaryMachineRoot root;
    ConsoleProcess program(TesmarsrProgram(), {option});
    EXPECT_EQ(program.WaitForExit(kLineTimeout), 0);
    EXPECT_EQ(program.ReadRemainingOutput(kLineTimeout), "");
    EXPECT_EQ(program.ReadErrorOutput(kLineTimeout), "");
    // No registry was opened and no tune played: the machine root is as it was made.
    EXPECT_TRUE(std::filesystem::is_empty(root.path()));
  }
}

TEST(TesmarsrConsoleTest, RegistryFailureIsPrintedWithItsErrorNumber) {
  TemporaryMachineRoot root;
  // A machine root that is a plain file holds no registry.
  std::string notADirectory = root.path() + "/plain-file";
  std::ofstream(notADirectory) << "not a machine";
  ConsoleProcess program("/usr/bin/env", {"TESMAR_ROOT=" + notADirectory, TesmarsrProgram(), "-e"});

  std::vector<std::string> lines;
  const std::regex report(R"(Error Code ([0-9]+) when calling RegConnectRegistry)");
  std::string errorNumber;
  while (errorNumber.empty()) {
    std::optional<std::string> line = program.ReadLine(kLineTimeout);
    if (!line) break;
    lines.push_back(*line);
    std::smatch match;
    if (std::regex_match(*line, match, report)) errorNumber = match[1];
  }
  ASSERT_FALSE(errorNumber.empty()) << "printed " << ::testing::PrintToString(lines);
  EXPECT_NE(std::stoul(errorNumber), 0u) << "a failure reported with the success code";
  EXPECT_EQ(lines.front(), "Running as Exe...");

  // The program itself keeps waiting for Enter.
  program.Write("\n");
  EXPECT_EQ(program.WaitForExit(kLineTimeout), 0);
}

}  // namespace
}  // namespace tesmar::service::testing
