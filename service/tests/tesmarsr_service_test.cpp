// tesmarsr as the service KaltrixTesmar of the built-in service manager: installed and started
// through Scmkit, controlled through the manager, each test under a machine root of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "Scmkit.h"
#include "platform/errors.h"
#include "platform/service.h"
#include "platform/service_history.h"
#include "platform/testing/console_process.h"
#include "platform/testing/temporary_machine_root.h"
#include "platform/tones.h"
#include "tesmarsr_test_support.h"

namespace tesmar::service::testing {
namespace {

using platform::RecordedServiceStatus;
using platform::ReportedStatus;
using platform::Tone;
using platform::testing::ConsoleProcess;
using platform::testing::TemporaryMachineRoot;
using namespace std::chrono_literals;

constexpr char16_t kServiceName[] = u"KaltrixTesmar";

const std::vector<DWORD> kStartupTune{220, 220, 440};
const std::vector<DWORD> kShutdownTune{440, 440, 220};

DWORD RunCommand(DWORD code, const char* argument) {
  return SerSetupCmd(nullptr, &code, argument);
}

DWORD CurrentState() {
  SerSetupContext* context = nullptr;
  if (SerSetupOpen(&context, nullptr) != 0) return 0;
  DWORD state = 0;
  if (SerSetupServiceOpen(context, "KaltrixTesmar") == 0) {
    SERVICE_STATUS status{};
    if (QueryServiceStatus(context->ServiceHandle, &status)) state = status.dwCurrentState;
  }
  SerSetupClose(context);
  return state;
}

std::vector<DWORD> ReportedStates(const std::vector<ReportedStatus>& reports) {
  std::vector<DWORD> states;
  for (const ReportedStatus& report : reports) states.push_back(report.status.dwCurrentState);
  return states;
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

// Installs and starts the service, and takes it away again at the end of the test: a service
// left running would outlive its machine root.
class InstalledService {
 public:
  InstalledService() {
    RunCommand(SERSETUP_CMD_INSTALL, kTesmarsrPath.c_str());
    EXPECT_TRUE(WaitUntil([] { return CurrentState() == SERVICE_RUNNING; }));
    pid_ = platform::RunningServiceProcessId(kServiceName);
  }
  ~InstalledService() {
    int running = platform::RunningServiceProcessId(kServiceName);
    RunCommand(SERSETUP_CMD_REMOVE, nullptr);
    // Watched by its process: a service marked for deletion can no longer be opened.
    if (running > 0 &&
        !WaitUntil([&] { return !std::filesystem::exists("/proc/" + std::to_string(running)); })) {
      std::system(("kill -9 " + std::to_string(running)).c_str());
    }
  }
  int pid() const { return pid_; }

 private:
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

TEST(TesmarsrServiceTest, ReportsItsStatesAndPlaysItsTunesFromStartToStop) {
  TemporaryMachineRoot root;
  InstalledService service;
  ASSERT_GT(service.pid(), 0);

  std::vector<ReportedStatus> started = RecordedServiceStatus(kServiceName);
  ASSERT_EQ(ReportedStates(started), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING}));
  const SERVICE_STATUS& pending = started[0].status;
  EXPECT_EQ(pending.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(pending.dwControlsAccepted, 0u);
  EXPECT_EQ(pending.dwCheckPoint, 0u);
  EXPECT_EQ(pending.dwWaitHint, 5000u);
  EXPECT_EQ(started[1].status.dwControlsAccepted, SERVICE_ACCEPT_STOP);
  EXPECT_EQ(started[1].status.dwWaitHint, 0u);
  // It works as a service too: the worker publishes, itself among the processes.
  EXPECT_TRUE(WaitUntil([&] {
    std::optional<Packet> published = ReadPacket();
    return published && published->RecordOf(static_cast<uint32_t>(service.pid()));
  }));

  // Interrogate reaches the handler, which reports nothing for it; pause is not even accepted.
  EXPECT_EQ(SendControl(SERVICE_CONTROL_INTERROGATE), 0u);
  EXPECT_EQ(SendControl(SERVICE_CONTROL_PAUSE), ERROR_INVALID_SERVICE_CONTROL);
  EXPECT_EQ(RecordedServiceStatus(kServiceName).size(), 2u);
  EXPECT_EQ(CurrentState(), SERVICE_RUNNING);

  EXPECT_EQ(SendControl(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(WaitUntil([] { return CurrentState() == SERVICE_STOPPED; }));
  std::vector<ReportedStatus> stopped = RecordedServiceStatus(kServiceName);
  ASSERT_EQ(ReportedStates(stopped), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING,
                                                         SERVICE_STOP_PENDING, SERVICE_STOPPED}));
  EXPECT_EQ(stopped[2].status.dwCheckPoint, 1u);
  EXPECT_EQ(stopped[2].status.dwWaitHint, 5000u);
  EXPECT_EQ(stopped[3].status.dwWin32ExitCode, 0u);
  // The shutdown tune plays after the dispatcher returned, on the way out.
  EXPECT_TRUE(WaitUntil([&] { return TonesOf(service.pid()).size() == 6; }));
  EXPECT_EQ(TonesOf(service.pid()), Joined(kStartupTune, kShutdownTune));
}

TEST(TesmarsrServiceTest, StartedOutsideTheManagerPlaysBothTunesAndExitsSilently) {
  TemporaryMachineRoot root;
  ConsoleProcess program(kTesmarsrPath, {});
  EXPECT_EQ(program.WaitForExit(20s), 1);
  EXPECT_EQ(program.ReadRemainingOutput(5s), "");
  EXPECT_EQ(program.ReadErrorOutput(5s), "");
  EXPECT_EQ(TonesOf(program.pid()), Joined(kStartupTune, kShutdownTune));
  EXPECT_FALSE(DataKeyExists()) << "no worker ran";
}

TEST(TesmarsrServiceTest, KilledServiceIsReportedStoppedAndStartsAgain) {
  TemporaryMachineRoot root;
  InstalledService service;
  ASSERT_GT(service.pid(), 0);
  ASSERT_EQ(std::system(("kill -9 " + std::to_string(service.pid())).c_str()), 0);
  EXPECT_TRUE(WaitUntil([] { return CurrentState() == SERVICE_STOPPED; }));

  SerSetupContext* context = nullptr;
  ASSERT_EQ(SerSetupOpen(&context, nullptr), 0u);
  ASSERT_EQ(SerSetupServiceOpen(context, "KaltrixTesmar"), 0u);
  EXPECT_EQ(SerSetupServiceControl(context, SERSETUP_CONTROL_START), 0u);
  SerSetupClose(context);
  EXPECT_TRUE(WaitUntil([] { return CurrentState() == SERVICE_RUNNING; }));
  int restarted = platform::RunningServiceProcessId(kServiceName);
  EXPECT_GT(restarted, 0);
  EXPECT_NE(restarted, service.pid());
}

}  // namespace
}  // namespace tesmar::service::testing
