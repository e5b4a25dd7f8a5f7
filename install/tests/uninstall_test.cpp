// Uninstall on a machine root of the test's own, with the real service installed through
// Scmkit and a stand-in for the platform's uninstaller: answered No, nothing changes; answered
// Yes, the service is stopped and removed, the service program renamed, the keys gone and the
// uninstaller started with its arguments and not waited for; without InstallDir or service,
// nothing is renamed and the rest still happens. The real program answers No without a
// display or terminal, and asks on a terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Scmkit.h"
#include "install_test_support.h"
#include "platform/errors.h"
#include "platform/owned_handle.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "support/console_process.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/wait_until.h"
#include "uninstaller.h"

namespace tesmar::install::testing {
namespace {

namespace fs = std::filesystem;
using tesmar::platform::OwnedKey;
using tesmar::testing::ConsoleProcess;
using tesmar::testing::kGenerousWait;
using tesmar::testing::ServiceDefinitionNumber;
using tesmar::testing::ServiceRemoval;
using tesmar::testing::ServiceState;
using tesmar::testing::TemporaryMachineRoot;
using tesmar::testing::WaitUntil;

bool KeyExists(const char* path) {
  OwnedKey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

void CreateKey(const char* path) {
  OwnedKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            key.Receive(), nullptr),
            ERROR_SUCCESS);
}

DWORD Command(DWORD code, const char* argument) {
  return SerSetupCmd(nullptr, &code, argument);
}

class UninstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WithoutDisplay();
    fs::create_directories(installDir_);
    std::ofstream(installDir_ + "/tesmarsr") << "the installed service program\n";
    uninstaller_ = folder_.WriteStandIn("tesmar-uninstaller", 0);
  }
  void TearDown() override { folder_.ReleaseStandIn(); }

  // KaltrixTesmar running the real service program, InstallDir recorded, and the Ver2 key
  // with its subkeys Client, Data and Server.
  void Install(bool recordDirectory = true) {
    if (recordDirectory) {
      ASSERT_EQ(Command(SERSETUP_CMD_RECORD_DIRECTORY, installDir_.c_str()), 0u);
    }
    ASSERT_EQ(Command(SERSETUP_CMD_INSTALL, tesmar::testing::TesmarsrProgram().c_str()), 0u);
    ASSERT_EQ(ServiceState(), SERVICE_RUNNING);
    CreateKey("SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Client");
    CreateKey("SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Server");
    ASSERT_TRUE(KeyExists("SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data"));
  }

  void ExpectNothingChanged() {
    EXPECT_EQ(ServiceState(), SERVICE_RUNNING);
    EXPECT_TRUE(fs::exists(installDir_ + "/tesmarsr"));
    EXPECT_FALSE(fs::exists(installDir_ + "/ttesmarsr"));
    for (const char* key :
         {"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Client", "SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data",
          "SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Server"}) {
      EXPECT_TRUE(KeyExists(key)) << key;
    }
    EXPECT_FALSE(folder_.StandInStarted());
  }

  void ExpectKeysGone() {
    EXPECT_FALSE(KeyExists("SOFTWARE\\Kaltrix\\Tesmar\\Ver2"));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Kaltrix\\Tesmar"));
    EXPECT_TRUE(KeyExists("SOFTWARE\\Kaltrix"));
  }

  void ExpectServiceGone() {
    EXPECT_TRUE(tesmar::testing::WaitUntilServiceProcessGone());
    EXPECT_TRUE(WaitUntil([] { return !ServiceDefinitionNumber("KaltrixTesmar", "Start"); }));
  }

  TemporaryMachineRoot root_;
  ServiceRemoval removal_;
  StandInFolder folder_{root_.path()};
  std::string installDir_ = root_.path() + "/install folder";
  std::string uninstaller_;
};

TEST_F(UninstallTest, AnsweredNoChangesNothing) {
  Install();
  MessageRecorder messages(IDNO);
  EXPECT_EQ(RunUninstall(messages.Show(), uninstaller_), 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].caption, "Kaltrix Tesmar - Uninstall");
  EXPECT_EQ(messages.shown[0].text.substr(0, 70),
            "WARNING: If you are sure you want to remove Kaltrix Tesmar, then selec");
  EXPECT_EQ(messages.shown[0].flags, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
  ExpectNothingChanged();
}

TEST_F(UninstallTest, AnsweredYesRemovesTheSystemAndStartsTheUninstallerWithoutWaiting) {
  Install();
  MessageRecorder messages(IDYES);
  EXPECT_EQ(RunUninstall(messages.Show(), uninstaller_), 0);
  // Returned, and the uninstaller still runs: it was not waited for.
  ASSERT_TRUE(WaitUntil([&] { return folder_.StandInStarted(); }));
  EXPECT_TRUE(folder_.StandInRunning());
  EXPECT_EQ(folder_.StandInArguments(),
            std::vector<std::string>{"-f" + installDir_ + "/install_manifest.txt"});
  ExpectServiceGone();
  EXPECT_FALSE(fs::exists(installDir_ + "/tesmarsr"));
  EXPECT_TRUE(fs::exists(installDir_ + "/ttesmarsr"));
  ExpectKeysGone();
}

TEST_F(UninstallTest, WithoutInstallDirOrServiceNothingIsRenamedAndTheRestStillRuns) {
  CreateKey("SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data");
  CreateKey("SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Client");
  MessageRecorder messages(IDYES);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(RunUninstall(messages.Show(), uninstaller_), 0);
  std::string told = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(told.find("InstallDir is empty or missing: no service program is renamed"),
            std::string::npos)
      << told;
  EXPECT_TRUE(fs::exists(installDir_ + "/tesmarsr"));
  EXPECT_FALSE(fs::exists("/ttesmarsr"));
  ExpectKeysGone();
  ASSERT_TRUE(WaitUntil([&] { return folder_.StandInStarted(); }));
  EXPECT_EQ(folder_.StandInArguments(), std::vector<std::string>{});
}

TEST_F(UninstallTest, WithAServiceButNoInstallDirTheServiceStillGoes) {
  Install(/*recordDirectory=*/false);
  MessageRecorder messages(IDYES);
  EXPECT_EQ(RunUninstall(messages.Show(), uninstaller_), 0);
  ExpectServiceGone();
  EXPECT_TRUE(fs::exists(installDir_ + "/tesmarsr"));
  ExpectKeysGone();
}

// The real program, its stand-in uninstaller beside it.
TEST_F(UninstallTest, TheProgramAnswersNoWithoutADisplayOrATerminal) {
  Install();
  std::string uninstall = folder_.CopyProgram(UNINSTALL_PROGRAM);
  ConsoleProcess program(uninstall, {});
  program.CloseInput();
  EXPECT_EQ(program.WaitForExit(kGenerousWait), 0);
  std::string told = program.ReadErrorOutput(kGenerousWait);
  EXPECT_NE(told.find("Kaltrix Tesmar - Uninstall\n\nWARNING: If you are sure"), std::string::npos)
      << told;
  EXPECT_NE(told.find("(no display and no terminal to answer on: No)"), std::string::npos) << told;
  ExpectNothingChanged();
}

TEST_F(UninstallTest, TheProgramAsksOnATerminal) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "script (util-linux) is not installed";
  }
  Install();
  std::string uninstall = folder_.CopyProgram(UNINSTALL_PROGRAM);
  // script gives the program a terminal and passes on what the test writes, once the question
  // is there (what is typed before the terminal is set up may be dropped).
  ConsoleProcess program("/usr/bin/script", {"-qec", uninstall, "/dev/null"});
  std::optional<std::string> line;
  while ((line = program.ReadLine(kGenerousWait)) && line->find("WARNING: If you are sure") != 0) {
  }
  ASSERT_TRUE(line.has_value());
  program.Write("y\n");
  std::string rest = program.ReadRemainingOutput(kGenerousWait);
  EXPECT_EQ(program.WaitForExit(kGenerousWait), 0);
  ASSERT_TRUE(WaitUntil([&] { return folder_.StandInStarted(); })) << rest;
  EXPECT_EQ(folder_.StandInArguments(),
            std::vector<std::string>{"-f" + installDir_ + "/install_manifest.txt"});
  ExpectServiceGone();
  EXPECT_TRUE(fs::exists(installDir_ + "/ttesmarsr"));
  ExpectKeysGone();
}

}  // namespace
}  // namespace tesmar::install::testing
