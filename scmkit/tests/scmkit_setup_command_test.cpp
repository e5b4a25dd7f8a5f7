// SerSetupCmd, the installer's entry point, with the real service program under the built-in
// service manager of a machine root of the test's own.
#include <gtest/gtest.h>

#include <filesystem>

#include "TesmarApi.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/service_history.h"
#include "scmkit_test_support.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/wait_until.h"

namespace tesmar::scmkit::testing {
namespace {

using platform::ReportedStatus;
using namespace tesmar::testing;

std::vector<DWORD> ReportedStates() {
  std::vector<DWORD> states;
  for (const ReportedStatus& report : platform::RecordedServiceStatus(u"KaltrixTesmar")) {
    if (states.empty() || states.back() != report.status.dwCurrentState) {
      states.push_back(report.status.dwCurrentState);
    }
  }
  return states;
}

int RunningProcess() {
  return platform::RunningServiceProcessId(u"KaltrixTesmar");
}

// The service program under another path, as a newer installation would put it.
class NewerProgram {
 public:
  explicit NewerProgram(const TemporaryMachineRoot& root) : path_(root.path() + "/newer/tesmarsr") {
    std::filesystem::create_directories(root.path() + "/newer");
    std::filesystem::create_symlink(TesmarsrProgram(), path_);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(ScmkitSetupCommandTest, InstallCreatesAnAutomaticServiceAndReturnsOnceItRuns) {
  TemporaryMachineRoot root;
  ServiceRemoval removal;
  EXPECT_EQ(RunCommand(SERSETUP_CMD_INSTALL, TesmarsrProgram().c_str()), 0u);
  EXPECT_EQ(ServiceDefinitionNumber(kServiceName, "Start"), SERVICE_AUTO_START);
  EXPECT_EQ(ServiceDefinitionNumber(kServiceName, "Type"), SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(ServiceState(), SERVICE_RUNNING);
}

// Over an older installation: the old service is stopped, changed to the new program and to
// start with the machine, and started again, in this order.
TEST(ScmkitSetupCommandTest, InstallOverAnOlderInstallationChangesItInPlace) {
  TemporaryMachineRoot root;
  ServiceRemoval removal;
  SerSetupContext* context = nullptr;
  ASSERT_EQ(SerSetupOpen(&context, nullptr), 0u);
  ASSERT_EQ(SerSetupServiceInstall(context, SERVICE_DEMAND_START, kServiceName,
                                   TesmarsrProgram().c_str()),
            0u);
  ASSERT_EQ(SerSetupServiceControl(context, SERSETUP_CONTROL_START), 0u);
  ASSERT_EQ(SerSetupClose(context), 0u);
  ASSERT_TRUE(WaitUntil([] { return ServiceState() == SERVICE_RUNNING; }));
  const int olderProcess = RunningProcess();

  NewerProgram newer(root);
  EXPECT_EQ(RunCommand(SERSETUP_CMD_INSTALL, newer.path().c_str()), 0u);
  EXPECT_EQ(ServiceDefinitionNumber(kServiceName, "Start"), SERVICE_AUTO_START);
  EXPECT_EQ(ServiceImagePath(kServiceName), newer.path());
  EXPECT_EQ(ReportedStates(),
            (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_STOP_PENDING,
                                SERVICE_STOPPED, SERVICE_START_PENDING, SERVICE_RUNNING}));
  const int newerProcess = RunningProcess();
  EXPECT_GT(newerProcess, 0);
  EXPECT_NE(newerProcess, olderProcess);
}

// A client's session (the GUI's) holds the service open while the installer runs again. A
// service deleted now would stay until the session let go, and then be gone: the installation
// is changed in place instead, and the session goes on with the new service.
TEST(ScmkitSetupCommandTest, ReinstallWhileASessionHoldsTheServiceKeepsItInstalledAndRunning) {
  TemporaryMachineRoot root;
  ServiceRemoval removal;
  ASSERT_EQ(RunCommand(SERSETUP_CMD_INSTALL, TesmarsrProgram().c_str()), 0u);
  TesmarSession* session = TesmarOpen(0);
  ASSERT_EQ(TesmarConnect(session, nullptr), 0);
  const int olderProcess = RunningProcess();

  NewerProgram newer(root);
  EXPECT_EQ(RunCommand(SERSETUP_CMD_INSTALL, newer.path().c_str()), 0u);
  EXPECT_EQ(ServiceImagePath(kServiceName), newer.path());
  EXPECT_EQ(TesmarRefresh(session), 0) << "the session is served by the new service";
  EXPECT_GT(TesmarGetProcessCount(session), 1u);
  EXPECT_EQ(TesmarClose(session), 0);

  // The session has let go: the service is still installed and running, a process of its own.
  EXPECT_EQ(ServiceState(), SERVICE_RUNNING);
  EXPECT_EQ(ServiceDefinitionNumber(kServiceName, "Start"), SERVICE_AUTO_START);
  EXPECT_NE(RunningProcess(), olderProcess);
  EXPECT_GT(RunningProcess(), 0);
}

// Without a path there is nothing to install, and a working installation is not touched.
TEST(ScmkitSetupCommandTest, InstallWithoutAProgramLeavesTheInstallationAlone) {
  TemporaryMachineRoot root;
  ServiceRemoval removal;
  ASSERT_EQ(RunCommand(SERSETUP_CMD_INSTALL, TesmarsrProgram().c_str()), 0u);
  const int running = RunningProcess();
  EXPECT_EQ(RunCommand(SERSETUP_CMD_INSTALL, nullptr), 1u);
  EXPECT_EQ(RunCommand(SERSETUP_CMD_INSTALL, ""), 1u);
  EXPECT_EQ(ServiceState(), SERVICE_RUNNING);
  EXPECT_EQ(RunningProcess(), running);
  EXPECT_EQ(ServiceImagePath(kServiceName), TesmarsrProgram());
}

// A failure is answered with the platform's error number, not with success.
TEST(ScmkitSetupCommandTest, AnInstallationThatCannotStartIsReported) {
  TemporaryMachineRoot root;
  ServiceRemoval removal;
  EXPECT_EQ(RunCommand(SERSETUP_CMD_INSTALL, (root.path() + "/no-such-program").c_str()),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(ServiceState(), SERVICE_RUNNING);
}

TEST(ScmkitSetupCommandTest, RemoveStopsAndDeletesTheServiceAndToleratesNone) {
  TemporaryMachineRoot root;
  EXPECT_EQ(RunCommand(SERSETUP_CMD_REMOVE, nullptr), 0u) << "with nothing installed";
  EXPECT_EQ(ServiceDefinitionNumber(kServiceName, "Start"), std::nullopt);

  ASSERT_EQ(RunCommand(SERSETUP_CMD_INSTALL, TesmarsrProgram().c_str()), 0u);
  ServiceRemoval removal;
  EXPECT_EQ(RunCommand(SERSETUP_CMD_REMOVE, nullptr), 0u);
  // The procedure returns once the service has stopped; its definition goes with the handle.
  EXPECT_EQ(ReportedStates().back(), SERVICE_STOPPED);
  EXPECT_EQ(RunningProcess(), 0);
  EXPECT_TRUE(
      WaitUntil([] { return !ServiceDefinitionNumber(kServiceName, "Start").has_value(); }));
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

TEST(ScmkitSetupCommandTest, OtherCodesDoNothingAndMissingArgumentsAreRefused) {
  TemporaryMachineRoot root;
  EXPECT_EQ(SerSetupCmd(nullptr, nullptr, TesmarsrProgram().c_str()), 0u);
  for (DWORD code : {3u, 4u, 100u, 0xFFFFFFFFu}) {
    EXPECT_EQ(RunCommand(code, TesmarsrProgram().c_str()), 0u) << code;
  }
  EXPECT_EQ(RunCommand(SERSETUP_CMD_INSTALL, nullptr), 1u);
  EXPECT_EQ(RunCommand(SERSETUP_CMD_RECORD_DIRECTORY, nullptr), 1u);
  EXPECT_EQ(RunCommand(SERSETUP_CMD_RECORD_DIRECTORY, ""), 1u);
  // No service was defined, nothing was written: the machine holds no registry at all, or one
  // without either key.
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kaltrix", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  EXPECT_EQ(ServiceDefinitionNumber(kServiceName, "Start"), std::nullopt);
  EXPECT_EQ(ServiceState(), 0u);
}

}  // namespace
}  // namespace tesmar::scmkit::testing
