// tesmarsr as the service KaltrixTesmar of the built-in service manager: installed and started
// through Scmkit, controlled through the manager, each test under a machine root of its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "Scmkit.h"
#include "platform/errors.h"
#include "platform/service.h"
#include "platform/service_history.h"
#include "platform/tones.h"
#include "support/console_process.h"
#include "support/data_key_access.h"
#include "support/immutable_file.h"
#include "support/installed_service.h"
#include "support/kernel_view.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/wait_until.h"

namespace tesmar::service::testing {
namespace {

using platform::RecordedServiceStatus;
using platform::ReportedStatus;
using platform::Tone;
using namespace tesmar::testing;
using namespace std::chrono_literals;

constexpr char16_t kServiceName[] = u"KaltrixTesmar";

const std::vector<DWORD> kStartupTune{220, 220, 440};
const std::vector<DWORD> kShutdownTune{440, 440, 220};

DWORD RunCommand(DWORD code, const char* argument) {
  return SerSetupCmd(nullptr, &code, argument);
}

// The states reported, a state reported again (a start pending report with a new checkpoint)
// counted once.
std::vector<DWORD> ReportedStates(const std::vector<ReportedStatus>& reports) {
  std::vector<DWORD> states;
  for (const ReportedStatus& report : reports) {
    if (states.empty() || states.back() != report.status.dwCurrentState) {
      states.push_back(report.status.dwCurrentState);
    }
  }
  return states;
}

bool Reported(DWORD state) {
  for (const ReportedStatus& report : RecordedServiceStatus(kServiceName)) {
    if (report.status.dwCurrentState == state) return true;
  }
  return false;
}

std::vector<DWORD> TonesOf(int processId) {
  std::vector<DWORD> frequencies;
  for (const Tone& tone : platform::RecordedTones()) {
    if (tone.processId == processId) {
      frequencies.push_back(tone.frequency);
      EXPECT_EQ(tone.duration, 50u);
    }
  }
  return frequencies;
}

std::vector<DWORD> Joined(std::vector<DWORD> first, const std::vector<DWORD>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

// Installs and starts the service through the installer's command, and takes it away again at
// the end of the test.
class InstalledByTheInstaller {
 public:
  InstalledByTheInstaller() {
    result_ = RunCommand(SERSETUP_CMD_INSTALL, TesmarsrProgram().c_str());
    pid_ = platform::RunningServiceProcessId(kServiceName);
  }
  DWORD result() const { return result_; }
  int pid() const { return pid_; }

 private:
  tesmar::testing::ServiceRemoval removal_;
  DWORD result_ = 0;
  int pid_ = 0;
};

// The manager's answer to the control: 0 when the handler got it, else the error number.
DWORD SendControl(DWORD control) {
  SerSetupContext* context = nullptr;
  if (SerSetupOpen(&context, nullptr) != 0) return ERROR_GEN_FAILURE;
  DWORD answer = ERROR_GEN_FAILURE;
  if (SerSetupServiceOpen(context, "KaltrixTesmar") == 0) {
    SERVICE_STATUS status{};
    answer = ControlService(context->ServiceHandle, control, &status) ? 0 : GetLastError();
  }
  SerSetupClose(context);
  return answer;
}

std::string ErrorLog() {
  const char* root = std::getenv("TESMAR_ROOT");
  std::ifstream log(std::string(root ? root : ".") + "/services/kaltrixtesmar/errors.log");
  return std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
}

TEST(TesmarsrServiceTest, ReportsItsStatesAndPlaysItsTunesFromStartToStop) {
  TemporaryMachineRoot root;
  InstalledByTheInstaller service;
  ASSERT_EQ(service.result(), 0u);
  ASSERT_GT(service.pid(), 0);

  std::vector<ReportedStatus> started = RecordedServiceStatus(kServiceName);
  ASSERT_EQ(ReportedStates(started), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING}));
  const SERVICE_STATUS& pending = started.front().status;
  EXPECT_EQ(pending.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(pending.dwControlsAccepted, 0u);
  EXPECT_EQ(pending.dwCheckPoint, 0u);
  EXPECT_EQ(pending.dwWaitHint, 5000u);
  EXPECT_EQ(started.back().status.dwControlsAccepted, SERVICE_ACCEPT_STOP);
  EXPECT_EQ(started.back().status.dwWaitHint, 0u);
  // Running means serving: the first ProcList is there, the service itself among its processes.
  std::optional<tesmar::testing::TestPacket> published = tesmar::testing::ReadDataPacket();
  ASSERT_TRUE(published.has_value());
  EXPECT_NE(published->Find(static_cast<uint32_t>(service.pid())), nullptr);

  // Interrogate reaches the handler, which reports nothing for it; pause is not even accepted.
  const std::size_t reportsBefore = RecordedServiceStatus(kServiceName).size();
  EXPECT_EQ(SendControl(SERVICE_CONTROL_INTERROGATE), 0u);
  EXPECT_EQ(SendControl(SERVICE_CONTROL_PAUSE), ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_EQ(RecordedServiceStatus(kServiceName).size(), reportsBefore);
  EXPECT_EQ(ServiceState(), SERVICE_RUNNING);

  EXPECT_EQ(SendControl(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(WaitUntil([] { return ServiceState() == SERVICE_STOPPED; }));
  std::vector<ReportedStatus> stopped = RecordedServiceStatus(kServiceName);
  ASSERT_EQ(ReportedStates(stopped), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING,
                                                         SERVICE_STOP_PENDING, SERVICE_STOPPED}));
  const SERVICE_STATUS& stopPending = stopped[stopped.size() - 2].status;
  EXPECT_EQ(stopPending.dwCheckPoint, 1u);
  EXPECT_EQ(stopPending.dwWaitHint, 5000u);
  EXPECT_EQ(stopped.back().status.dwWin32ExitCode, 0u);
  // The shutdown tune plays after the dispatcher returned, on the way out.
  EXPECT_TRUE(WaitUntil([&] { return TonesOf(service.pid()).size() == 6; }));
  EXPECT_EQ(TonesOf(service.pid()), Joined(kStartupTune, kShutdownTune));
}

// Stopped means served no more: the worker has ended before the stopped report, though the
// process lives on through its shutdown tune.
TEST(TesmarsrServiceTest, AFlagRaisedOnceStoppedIsReportedIsNotServed) {
  TemporaryMachineRoot root;
  InstalledByTheInstaller service;
  ASSERT_EQ(service.result(), 0u);
  EXPECT_EQ(SendControl(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(WaitUntil([] { return Reported(SERVICE_STOPPED); }));
  const DWORD serial = ReadDataDword(u"ProcListSerial").value_or(0);
  tesmar::testing::WriteDataDword(u"RefreshFlag", 1);

  ASSERT_TRUE(tesmar::testing::WaitUntilServiceProcessGone());
  EXPECT_EQ(ReadDataDword(u"RefreshFlag"), 1u) << "served after it reported stopped";
  EXPECT_EQ(ReadDataDword(u"ProcListSerial"), serial);
}

// A worker that cannot open its Data key serves nobody: the service reports stopped with the
// registry's error as its exit code, and says why in its error log.
TEST(TesmarsrServiceTest, WithoutItsDataKeyTheServiceStopsWithTheRegistrysError) {
  if (!tesmar::testing::ImmutableFile::Available()) {
    GTEST_SKIP() << "needs root and a file system with immutable files (chattr)";
  }
  TemporaryMachineRoot root;
  tesmar::testing::ServiceRemoval removal;
  SerSetupContext* context = nullptr;
  ASSERT_EQ(SerSetupOpen(&context, nullptr), 0u);
  ASSERT_EQ(SerSetupServiceInstall(context, SERVICE_DEMAND_START, "KaltrixTesmar",
                                   TesmarsrProgram().c_str()),
            0u);
  {
    // The database can be read but not written: the service's key cannot be had with all
    // access.
    tesmar::testing::ImmutableFile readOnly(root.path() + "/registry.db");
    ASSERT_TRUE(readOnly.made());
    EXPECT_EQ(SerSetupServiceControl(context, SERSETUP_CONTROL_START), 0u);
    ASSERT_TRUE(WaitUntil([] { return Reported(SERVICE_STOPPED); }));
  }
  SerSetupClose(context);
  std::vector<ReportedStatus> reports = RecordedServiceStatus(kServiceName);
  EXPECT_EQ(ReportedStates(reports), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_STOPPED}));
  EXPECT_EQ(reports.back().status.dwWin32ExitCode, ERROR_ACCESS_DENIED);
  EXPECT_NE(ErrorLog().find("Error Code 5 when calling RegCreateKey: PROCDATA"), std::string::npos)
      << ErrorLog();
}

TEST(TesmarsrServiceTest, StartedOutsideTheManagerPlaysBothTunesAndExitsSilently) {
  TemporaryMachineRoot root;
  ConsoleProcess program(TesmarsrProgram(), {});
  EXPECT_EQ(program.WaitForExit(20s), 1);
  EXPECT_EQ(program.ReadRemainingOutput(5s), "");
  EXPECT_EQ(program.ReadErrorOutput(5s), "");
  EXPECT_EQ(TonesOf(program.pid()), Joined(kStartupTune, kShutdownTune));
  EXPECT_FALSE(tesmar::testing::DataKeyExists()) << "no worker ran";
}

TEST(TesmarsrServiceTest, KilledServiceIsReportedStoppedAndStartsAgain) {
  TemporaryMachineRoot root;
  InstalledByTheInstaller service;
  ASSERT_GT(service.pid(), 0);
  ASSERT_TRUE(
      tesmar::testing::CommandOutput("kill -9 " + std::to_string(service.pid())).has_value());
  EXPECT_TRUE(WaitUntil([] { return ServiceState() == SERVICE_STOPPED; }));

  SerSetupContext* context = nullptr;
  ASSERT_EQ(SerSetupOpen(&context, nullptr), 0u);
  ASSERT_EQ(SerSetupServiceOpen(context, "KaltrixTesmar"), 0u);
  EXPECT_EQ(SerSetupServiceControl(context, SERSETUP_CONTROL_START), 0u);
  SerSetupClose(context);
  EXPECT_TRUE(WaitUntil([] { return ServiceState() == SERVICE_RUNNING; }));
  int restarted = platform::RunningServiceProcessId(kServiceName);
  EXPECT_GT(restarted, 0);
  EXPECT_NE(restarted, service.pid());
}

}  // namespace
}  // namespace tesmar::service::testing
