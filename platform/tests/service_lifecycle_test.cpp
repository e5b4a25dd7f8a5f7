// The built-in service manager with a real service process (tesmar_test_service): start, the
// status reports in their order, controls reaching the handler, stop, a killed process, SIGTERM,
// and deletion while running. Each test on a machine root of its own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/service_history.h"
#include "platform/service_wait.h"
#include "platform/threading.h"
#include "platform/tones.h"
#include "support/console_process.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/test_service.h"
#include "support/wait_until.h"

namespace {

using tesmar::platform::RecordedServiceStatus;
using tesmar::platform::RunningServiceProcessId;
using namespace tesmar::testing;

std::vector<DWORD> ReportedStates() {
  std::vector<DWORD> states;
  for (const auto& report : RecordedServiceStatus(u"TestService")) {
    states.push_back(report.status.dwCurrentState);
  }
  return states;
}

std::vector<DWORD> ReceivedControls() {
  std::vector<DWORD> controls;
  for (const auto& received : ControlsReceivedByTestService()) controls.push_back(received.control);
  return controls;
}

bool SendSignal(const char* signal, int processId) {
  std::string command = std::string("kill -") + signal + " " + std::to_string(processId);
  return std::system(command.c_str()) == 0;
}

class ServiceLifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr);
  }
  void TearDown() override {
    // Never leave a service process behind, whatever the test did.
    if (int processId = RunningServiceProcessId(u"TestService")) SendSignal("KILL", processId);
    if (service_) CloseServiceHandle(service_);
    CloseServiceHandle(manager_);
    // The service's standard error: a sanitizer's report of the service process lands there.
    std::ifstream errors(root_.path() + "/services/testservice/errors.log");
    std::string firstLine;
    EXPECT_FALSE(std::getline(errors, firstLine)) << firstLine;
  }

  void Install(const std::string& options = "") {
    std::string imagePath = "\"" + TestServiceProgram() + "\"" + options;
    service_ = CreateServiceA(manager_, "TestService", "Test Service", SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                              imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service_, nullptr) << GetLastError();
  }
  void StartRunning() {
    ASSERT_TRUE(StartServiceW(service_, 0, nullptr)) << GetLastError();
    ASSERT_TRUE(WaitForServiceState(service_, SERVICE_RUNNING));
  }

  tesmar::testing::TemporaryMachineRoot root_;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

TEST_F(ServiceLifecycle, StartReportsStartPendingThenRunningAndStopGivesStopPendingThenStopped) {
  Install();
  ASSERT_TRUE(StartServiceW(service_, 0, nullptr)) << GetLastError();
  SERVICE_STATUS status{};
  ASSERT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_TRUE(status.dwCurrentState == SERVICE_START_PENDING ||
              status.dwCurrentState == SERVICE_RUNNING)
      << status.dwCurrentState;
  ASSERT_TRUE(WaitForServiceState(service_, SERVICE_RUNNING));
  int processId = RunningServiceProcessId(u"TestService");
  EXPECT_GT(processId, 0);

  SetLastError(0);
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);

  status = {};
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status)) << GetLastError();
  // The handler has run when ControlService returns: its stop pending report is in.
  EXPECT_TRUE(status.dwCurrentState == SERVICE_STOP_PENDING ||
              status.dwCurrentState == SERVICE_STOPPED);
  ASSERT_TRUE(WaitForServiceState(service_, SERVICE_STOPPED));
  ASSERT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SUCCESS);

  auto history = RecordedServiceStatus(u"testservice");
  ASSERT_EQ(history.size(), 4u);
  EXPECT_EQ(ReportedStates(), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING,
                                                  SERVICE_STOP_PENDING, SERVICE_STOPPED}));
  EXPECT_EQ(history[0].status.dwWaitHint, 5000u);
  EXPECT_EQ(history[2].status.dwCheckPoint, 1u);
  for (const auto& report : history) EXPECT_EQ(report.processId, processId);
  EXPECT_EQ(ReceivedControls(), std::vector<DWORD>{SERVICE_CONTROL_STOP});

  SetLastError(0);
  status = {};
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED) << "filled in with the current status";
}

// A start waits for a service whose first report keeps the manager's checkpoint 0 with a longer
// hint than the manager's own record gave, as a large machine's first pass makes tesmarsr do:
// the latest hint counts, not the first one.
TEST_F(ServiceLifecycle, AStartWaitFollowsTheLatestHintOfACheckpoint) {
  Install(" --slow-start 3000");
  ASSERT_TRUE(StartServiceW(service_, 0, nullptr)) << GetLastError();
  EXPECT_EQ(tesmar::platform::WaitUntilStarted(service_), ERROR_SUCCESS);
  SERVICE_STATUS status{};
  ASSERT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
}

TEST_F(ServiceLifecycle, TheServiceProcessRunsDetachedAndItsTonesAreRecorded) {
  Install();
  StartRunning();
  int processId = RunningServiceProcessId(u"TestService");
  ASSERT_GT(processId, 0);
  auto sessionAndParent = [](int processId) {
    FILE* ps = popen(("ps -o sid=,ppid= -p " + std::to_string(processId)).c_str(), "r");
    char line[128] = {};
    bool read = ps && fgets(line, sizeof line, ps);
    if (ps) pclose(ps);
    std::pair<int, int> ids{0, 0};
    if (read) std::sscanf(line, "%d %d", &ids.first, &ids.second);
    return ids;
  };
  int self = std::stoi(std::filesystem::read_symlink("/proc/self").string());
  auto [serviceSession, serviceParent] = sessionAndParent(processId);
  ASSERT_GT(serviceSession, 0);
  EXPECT_NE(serviceSession, sessionAndParent(self).first) << "runs in a session of its own";
  EXPECT_NE(serviceParent, self) << "is no child of the caller";

  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, nullptr));
  ASSERT_TRUE(WaitForServiceState(service_, SERVICE_STOPPED));
  // The closing tone comes after the dispatcher returned.
  for (int i = 0; i < 2000 && tesmar::platform::RecordedTones().size() < 2; ++i) Sleep(5);
  std::vector<tesmar::platform::Tone> expected{{processId, 880, 5}, {processId, 660, 5}};
  EXPECT_EQ(tesmar::platform::RecordedTones(), expected);
}

TEST_F(ServiceLifecycle, OtherControlsReachTheHandlerWithoutAReport) {
  Install();
  StartRunning();
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_PAUSE, &status)) << GetLastError();
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_INTERROGATE, &status)) << GetLastError();
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_CONTINUE, &status)) << GetLastError();
  ASSERT_TRUE(ControlService(service_, 200, &status)) << "a user-defined control";
  EXPECT_EQ(ReceivedControls(),
            (std::vector<DWORD>{SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_INTERROGATE,
                                SERVICE_CONTROL_CONTINUE, 200}));
  EXPECT_EQ(ReportedStates(), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING}));

  SetLastError(0);
  EXPECT_FALSE(ControlService(service_, 77, &status)) << "no control has that code";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ServiceLifecycle, AControlTheServiceDoesNotAcceptIsRefused) {
  Install(" --accept-stop-only");
  StartRunning();
  SERVICE_STATUS status{};
  SetLastError(0);
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_PAUSE, &status));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  EXPECT_TRUE(ReceivedControls().empty());
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_TRUE(WaitForServiceState(service_, SERVICE_STOPPED));
}

TEST_F(ServiceLifecycle, AServiceThatReportsPausedReadsPaused) {
  Install(" --report-pause");
  StartRunning();
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_PAUSE, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_PAUSED);
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status)) << "stop works paused";
  EXPECT_TRUE(WaitForServiceState(service_, SERVICE_STOPPED));
}

TEST_F(ServiceLifecycle, ArgumentsReachTheMainRoutineAfterTheServiceName) {
  Install();
  LPCWSTR arguments[] = {u"alpha", u"beta"};
  ASSERT_TRUE(StartServiceW(service_, 2, arguments));
  ASSERT_TRUE(WaitForServiceState(service_, SERVICE_RUNNING));
  EXPECT_EQ(tesmar::testing::ArgumentsOfTestService(), "TestService alpha beta");
}

TEST_F(ServiceLifecycle, AKilledServiceIsReportedStoppedAndStartsAgain) {
  Install();
  StartRunning();
  int first = RunningServiceProcessId(u"TestService");
  ASSERT_GT(first, 0);
  ASSERT_TRUE(SendSignal("KILL", first));
  ASSERT_TRUE(WaitForServiceState(service_, SERVICE_STOPPED));
  SERVICE_STATUS status{};
  ASSERT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_PROCESS_ABORTED);
  SetLastError(0);
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);

  StartRunning();
  int second = RunningServiceProcessId(u"TestService");
  EXPECT_GT(second, 0);
  EXPECT_NE(second, first);
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_TRUE(WaitForServiceState(service_, SERVICE_STOPPED));
}

TEST_F(ServiceLifecycle, SigtermIsTheStopControl) {
  Install();
  StartRunning();
  int processId = RunningServiceProcessId(u"TestService");
  ASSERT_TRUE(SendSignal("TERM", processId));
  ASSERT_TRUE(WaitForServiceState(service_, SERVICE_STOPPED));
  SERVICE_STATUS status{};
  ASSERT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SUCCESS) << "stopped by its own report";
  EXPECT_EQ(ReportedStates(), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING,
                                                  SERVICE_STOP_PENDING, SERVICE_STOPPED}));
  EXPECT_EQ(ReceivedControls(), std::vector<DWORD>{SERVICE_CONTROL_STOP});
}

TEST_F(ServiceLifecycle, DeletedWhileRunningTheDefinitionStaysUntilStoppedAndClosed) {
  Install();
  StartRunning();
  ASSERT_TRUE(DeleteService(service_));
  auto definitionExists = [] {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Services\\TestService", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  };
  SetLastError(0);
  EXPECT_EQ(OpenServiceW(manager_, u"TestService", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);

  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status)) << "a marked service runs";
  ASSERT_TRUE(WaitForServiceState(service_, SERVICE_STOPPED));
  EXPECT_TRUE(definitionExists()) << "this process still holds a handle";

  ASSERT_TRUE(CloseServiceHandle(service_));
  service_ = nullptr;
  EXPECT_FALSE(definitionExists());
  SetLastError(0);
  EXPECT_EQ(OpenServiceW(manager_, u"TestService", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(ServiceLifecycle, AMissingProgramFailsToStart) {
  service_ = CreateServiceA(manager_, "TestService", nullptr, SERVICE_ALL_ACCESS,
                            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                            (root_.path() + "/no-such-program").c_str(), nullptr, nullptr, nullptr,
                            nullptr, nullptr);
  ASSERT_NE(service_, nullptr);
  SetLastError(0);
  EXPECT_FALSE(StartServiceW(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SERVICE_STATUS status{};
  ASSERT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
}

// Service names compare as the registry compares them, beyond ASCII too: every spelling the
// registry finds the definition by reaches the same running service.
TEST_F(ServiceLifecycle, NamesThatDifferInCaseBeyondAsciiNameOneService) {
  std::string imagePath = "\"" + TestServiceProgram() + "\"";
  SC_HANDLE created =
      CreateServiceA(manager_, "Dienst-\xC3\x84rger", nullptr, SERVICE_ALL_ACCESS,
                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                     imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(created, nullptr) << GetLastError();
  SC_HANDLE other = OpenServiceW(manager_, u"DIENST-\u00E4RGER", SERVICE_ALL_ACCESS);
  ASSERT_NE(other, nullptr) << GetLastError();
  struct Stopped {
    ~Stopped() {
      if (int processId = RunningServiceProcessId(u"Dienst-\u00C4rger")) {
        SendSignal("KILL", processId);
      }
    }
  } stopped;

  ASSERT_TRUE(StartServiceW(created, 0, nullptr)) << GetLastError();
  EXPECT_TRUE(WaitForServiceState(other, SERVICE_RUNNING));
  SERVICE_STATUS status{};
  EXPECT_TRUE(ControlService(other, SERVICE_CONTROL_STOP, &status)) << GetLastError();
  EXPECT_TRUE(WaitForServiceState(created, SERVICE_STOPPED));
  EXPECT_TRUE(DeleteService(created));
  CloseServiceHandle(other);
  CloseServiceHandle(created);
}

TEST(ServiceDispatcher, AProgramTheManagerDidNotStartCannotConnect) {
  tesmar::testing::TemporaryMachineRoot root;
  // Run by hand, and run with a forged service name: neither is the process the manager started.
  for (std::string environment : {"", "TESMAR_SERVICE_NAME=TestService "}) {
    std::string command = environment + "\"" + TestServiceProgram() + "\"";
    FILE* program = popen(command.c_str(), "r");
    ASSERT_NE(program, nullptr);
    char line[128] = {};
    ASSERT_NE(fgets(line, sizeof line, program), nullptr) << command;
    EXPECT_STREQ(line, "dispatcher failed 1063\n") << command;
    EXPECT_NE(pclose(program), 0);
  }
}

// Rights are checked where Windows checks them. A user who may not administer the machine's
// services (here: may read the machine's files, not write them) opens the manager and the
// service only to look, and is told ERROR_ACCESS_DENIED when it asks for more or sends a stop;
// a member of the group that the README's steps let write gets every right, and stops it.
TEST_F(ServiceLifecycle, AUserWhoMayNotAdministerServicesGetsOnlyTheRightsThatLook) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the helper as another user";
  constexpr uid_t kNobody = 65534;
  Install();
  StartRunning();
  auto rightsOfNobody = [&] {
    ConsoleProcess helper(BuildProgram("service_helper"),
                          {"--as-user", std::to_string(kNobody), "rights", "TestService"});
    std::vector<std::string> lines;
    while (auto line = helper.ReadLine(kGenerousWait)) lines.push_back(*line);
    EXPECT_EQ(helper.WaitForExit(kGenerousWait), 0);
    return lines;
  };
  std::string root = "'" + root_.path() + "'";
  ASSERT_EQ(std::system(("chmod -R o+rX " + root).c_str()), 0);
  EXPECT_EQ(rightsOfNobody(),
            (std::vector<std::string>{"manager-all 5", "manager-connect 0", "service-all 5",
                                      "service-look 0", "query-status 0", "interrogate 5",
                                      "stop-without-the-right 5", "stop 5"}));
  EXPECT_EQ(WaitForServiceState(service_, SERVICE_RUNNING), true);

  ASSERT_EQ(
      std::system(("chgrp -R " + std::to_string(kNobody) + " " + root + " && chmod -R g+rwX " +
                   root + " && find " + root + " -type d -exec chmod g+s {} +")
                      .c_str()),
      0);
  EXPECT_EQ(rightsOfNobody(),
            (std::vector<std::string>{"manager-all 0", "manager-connect 0", "service-all 0",
                                      "service-look 0", "query-status 0", "interrogate 0",
                                      "stop-without-the-right 5", "stop 0"}));
  EXPECT_TRUE(WaitForServiceState(service_, SERVICE_STOPPED));
}

}  // namespace
