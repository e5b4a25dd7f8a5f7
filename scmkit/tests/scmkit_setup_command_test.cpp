// SerSetupCmd, the installer's entry point, with the real service program under the built-in
// service manager of a machine root of the test's own.
#include <gtest/gtest.h>

#include "platform/service_history.h"
#include "scmkit_test_support.h"
#include "testing/temporary_machine_root.h"

namespace tesmar::scmkit::testing {
namespace {

using platform::ReportedStatus;
using platform::testing::TemporaryMachineRoot;

std::vector<DWORD> ReportedStates() {
  std::vector<DWORD> states;
  for (const ReportedStatus& report : platform::RecordedServiceStatus(u"KaltrixTesmar")) {
    states.push_back(report.status.dwCurrentState);
  }
  return states;
}

TEST(ScmkitSetupCommandTest, InstallCreatesAnAutomaticServiceAndStartsIt) {
  TemporaryMachineRoot root;
  ServiceCleanup cleanup;
  EXPECT_EQ(RunCommand(SERSETUP_CMD_INSTALL, kTesmarsrPath.c_str()), 0u);
  EXPECT_EQ(DefinitionNumber(kServiceName, "Start"), SERVICE_AUTO_START);
  EXPECT_EQ(DefinitionNumber(kServiceName, "Type"), SERVICE_WIN32_OWN_PROCESS);
  EXPECT_TRUE(WaitUntil([] { return StateOf(kServiceName) == SERVICE_RUNNING; }));
}

// Over an older installation: the old service is stopped, deleted and created again to start
// with the machine, then started, in this order.
TEST(ScmkitSetupCommandTest, InstallOverAnOlderInstallationReplacesIt) {
  TemporaryMachineRoot root;
  ServiceCleanup cleanup;
  SerSetupContext* context = nullptr;
  ASSERT_EQ(SerSetupOpen(&context, nullptr), 0u);
  ASSERT_EQ(
      SerSetupServiceInstall(context, SERVICE_DEMAND_START, kServiceName, kTesmarsrPath.c_str()),
      0u);
  ASSERT_EQ(SerSetupServiceControl(context, SERSETUP_CONTROL_START), 0u);
  ASSERT_EQ(SerSetupClose(context), 0u);
  ASSERT_TRUE(WaitUntil([] { return StateOf(kServiceName) == SERVICE_RUNNING; }));
  const int olderProcess = platform::RunningServiceProcessId(u"KaltrixTesmar");

  EXPECT_EQ(RunCommand(SERSETUP_CMD_INSTALL, kTesmarsrPath.c_str()), 0u);
  EXPECT_EQ(DefinitionNumber(kServiceName, "Start"), SERVICE_AUTO_START);
  ASSERT_TRUE(WaitUntil([] { return ReportedStates().size() >= 6; }));
  EXPECT_EQ(ReportedStates(),
            (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_STOP_PENDING,
                                SERVICE_STOPPED, SERVICE_START_PENDING, SERVICE_RUNNING}));
  const int newerProcess = platform::RunningServiceProcessId(u"KaltrixTesmar");
  EXPECT_GT(newerProcess, 0);
  EXPECT_NE(newerProcess, olderProcess);
}

TEST(ScmkitSetupCommandTest, RemoveStopsAndDeletesTheServiceAndToleratesNone) {
  TemporaryMachineRoot root;
  EXPECT_EQ(RunCommand(SERSETUP_CMD_REMOVE, nullptr), 0u) << "with nothing installed";
  EXPECT_EQ(DefinitionNumber(kServiceName, "Start"), std::nullopt);

  RunCommand(SERSETUP_CMD_INSTALL, kTesmarsrPath.c_str());
  ASSERT_TRUE(WaitUntil([] { return StateOf(kServiceName) == SERVICE_RUNNING; }));
  EXPECT_EQ(RunCommand(SERSETUP_CMD_REMOVE, nullptr), 0u);
  // The definition goes once the service has stopped.
  EXPECT_TRUE(WaitUntil([] { return !DefinitionNumber(kServiceName, "Start").has_value(); }));
  EXPECT_EQ(platform::RunningServiceProcessId(u"KaltrixTesmar"), 0);
  EXPECT_EQ(ReportedStates().back(), SERVICE_STOPPED);
}

TEST(ScmkitSetupCommandTest, RecordDirectoryStoresInstallDirWithoutItsNul) {
  TemporaryMachineRoot root;
  EXPECT_EQ(RunCommand(SERSETUP_CMD_RECORD_DIRECTORY, "/opt"), 0u);

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kaltrix\\Tesmar\\Ver2", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  char directory[16] = {};
  DWORD size = sizeof directory;
  DWORD type = REG_NONE;
  EXPECT_EQ(RegQueryValueExA(key, "InstallDir", nullptr, &type, reinterpret_cast<BYTE*>(directory),
                             &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 4u);
  EXPECT_STREQ(directory, "/opt");
}

TEST(ScmkitSetupCommandTest, OtherCodesAndMissingArgumentsDoNothing) {
  TemporaryMachineRoot root;
  EXPECT_EQ(SerSetupCmd(nullptr, nullptr, kTesmarsrPath.c_str()), 0u);
  for (DWORD code : {3u, 4u, 100u, 0xFFFFFFFFu}) {
    EXPECT_EQ(RunCommand(code, kTesmarsrPath.c_str()), 0u) << code;
  }
  EXPECT_EQ(RunCommand(SERSETUP_CMD_INSTALL, nullptr), 0u);
  EXPECT_EQ(RunCommand(SERSETUP_CMD_RECORD_DIRECTORY, nullptr), 0u);
  // No service was defined, nothing was written: the machine holds no registry at all, or one
  // without either key.
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kaltrix", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(DefinitionNumber(kServiceName, "Start"), std::nullopt);
  EXPECT_EQ(StateOf(kServiceName), 0u);
}

}  // namespace
}  // namespace tesmar::scmkit::testing
