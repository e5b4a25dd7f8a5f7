// Setup: the version checks against made-up versions (refused with their texts, nothing
// started), and the real program with a stand-in installer beside it (waited for, its result
// returned and told).
#include <gtest/gtest.h>

#include <filesystem>

#include "install_test_support.h"
#include "setup_launcher.h"
#include "support/console_process.h"
#include "support/temporary_machine_root.h"
#include "support/wait_until.h"

namespace tesmar::install::testing {
namespace {

using tesmar::testing::ConsoleProcess;
using tesmar::testing::kGenerousWait;
using tesmar::testing::TemporaryMachineRoot;
using tesmar::testing::WaitUntil;

OSVERSIONINFOA Version(DWORD platform, DWORD major, DWORD minor, const char* release) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  version.dwPlatformId = platform;
  version.dwMajorVersion = major;
  version.dwMinorVersion = minor;
  std::snprintf(version.szCSDVersion, sizeof version.szCSDVersion, "%s", release);
  return version;
}

class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override { WithoutDisplay(); }
  TemporaryMachineRoot root_;
  StandInFolder folder_{root_.path()};
};

TEST_F(SetupTest, RefusesVersionsItCannotRunOnWithTheirTextsAndStartsNothing) {
  std::string installer = folder_.WriteStandIn("isetup", 0);
  {
    MessageRecorder messages;
    EXPECT_EQ(RunSetup(Version(VER_PLATFORM_WIN32_NT, 3, 51, "3.51"), installer, messages.Show()),
              1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "This program requires Windows NT 4.0 or higher");
    EXPECT_EQ(messages.shown[0].caption, "Kaltrix Tesmar - Setup");
    EXPECT_EQ(messages.shown[0].flags, MB_OK | MB_ICONSTOP);
  }
  // Windows NT 4.0 passes that check; as a kernel, 4.19 is older than the pidfds the platform
  // needs, and so is 5.2.
  {
    MessageRecorder messages;
    EXPECT_EQ(RunSetup(Version(VER_PLATFORM_WIN32_NT, 4, 19, "4.19.0-26-amd64"), installer,
                       messages.Show()),
              1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find("needs Linux 5.3 or later"), std::string::npos);
    EXPECT_NE(messages.shown[0].text.find("runs Linux 4.19.0-26-amd64."), std::string::npos);
    EXPECT_EQ(messages.shown[0].flags, MB_OK | MB_ICONSTOP);
  }
  MessageRecorder messages;
  EXPECT_EQ(RunSetup(Version(VER_PLATFORM_WIN32_NT, 5, 2, "5.2.0"), installer, messages.Show()), 1);
  EXPECT_EQ(messages.shown.size(), 1u);
  EXPECT_FALSE(folder_.StandInStarted());
}

TEST_F(SetupTest, AnyOtherPlatformAndANewEnoughKernelStartTheInstaller) {
  std::string installer = folder_.WriteStandIn("isetup", 0);
  folder_.ReleaseStandIn();
  for (OSVERSIONINFOA version : {Version(VER_PLATFORM_WIN32_WINDOWS, 6, 1, "6.1"),
                                 Version(VER_PLATFORM_WIN32_NT, 5, 3, "5.3.0")}) {
    MessageRecorder messages;
    EXPECT_EQ(RunSetup(version, installer, messages.Show()), 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(folder_.StandInStarted());
    std::filesystem::remove(folder_.path() / "arguments");
  }
}

// The real program, its installer beside it: Setup stays until the installer ends, then
// returns the installer's exit code and says why it failed.
TEST_F(SetupTest, WaitsForTheInstallerBesideItAndReturnsItsResult) {
  std::string setup = folder_.CopyProgram(SETUP_PROGRAM);
  for (int exitCode : {7, 0}) {
    std::filesystem::remove(folder_.path() / "arguments");
    std::filesystem::remove(folder_.path() / "release");
    folder_.WriteStandIn("isetup", exitCode);
    ConsoleProcess program(setup, {});
    ASSERT_TRUE(WaitUntil([&] { return folder_.StandInStarted(); })) << exitCode;
    EXPECT_EQ(folder_.StandInArguments(), std::vector<std::string>{});
    // The installer has not ended, so Setup must still be there.
    EXPECT_EQ(program.WaitForExit(std::chrono::milliseconds(0)), std::nullopt);
    folder_.ReleaseStandIn();
    EXPECT_EQ(program.WaitForExit(kGenerousWait), exitCode);
    std::string told = program.ReadErrorOutput(kGenerousWait);
    if (exitCode == 0) {
      EXPECT_EQ(told, "");
    } else {
      EXPECT_NE(told.find("The installer \"isetup\" failed: it ended with exit code 7."),
                std::string::npos)
          << told;
    }
  }
}

TEST_F(SetupTest, AnInstallerThatCannotBeStartedIsTold) {
  std::string setup = folder_.CopyProgram(SETUP_PROGRAM);
  ConsoleProcess program(setup, {});
  EXPECT_EQ(program.WaitForExit(kGenerousWait), 1);
  std::string told = program.ReadErrorOutput(kGenerousWait);
  EXPECT_NE(told.find("The installer \"isetup\" could not be started: The system cannot find the "
                      "file specified. (error 2)"),
            std::string::npos)
      << told;
}

}  // namespace
}  // namespace tesmar::install::testing
