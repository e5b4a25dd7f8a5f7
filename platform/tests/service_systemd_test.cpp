// The service manager where systemd is the init system, against a systemctl stand-in on PATH
// that records its calls, answers `show` from a file, and starts the unit's ExecStart= with its
// Environment= (a real tesmar_test_service, given the test's NOTIFY_SOCKET) and stops it with
// SIGTERM, as systemd does.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/errors.h"
#include "platform/service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/test_service.h"

namespace {

namespace fs = std::filesystem;
using namespace tesmar::testing;

constexpr char kStandIn[] = R"(#!/bin/sh
root="$TESMAR_TEST_SYSTEMD_ROOT"
echo "$*" >> "$root/calls"
[ -e "$root/fail-$1" ] && exit 1
case "$1" in
show) cat "$root/show" ;;
start)
  unit="$root/etc/systemd/system/$2"
  command=$(sed -n 's/^ExecStart=//p' "$unit")
  variables=$(sed -n 's/^Environment=//p' "$unit")
  (eval "export $variables"; export INVOCATION_ID=stand-in; eval "exec $command") \
    </dev/null >/dev/null 2>&1 &
  printf 'ActiveState=active\nSubState=running\nMainPID=%s\nExecMainStatus=0\n' $! > "$root/show" ;;
stop)
  pid=$(sed -n 's/^MainPID=//p' "$root/show")
  kill -TERM "$pid"
  n=0; while kill -0 "$pid" 2>/dev/null && [ $n -lt 600 ]; do sleep 0.1; n=$((n+1)); done
  printf 'ActiveState=inactive\nSubState=dead\nMainPID=0\nExecMainStatus=0\n' > "$root/show" ;;
esac
exit 0
)";

// The socket systemd gives a service to tell it its state (NOTIFY_SOCKET).
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) {
    socket_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    bound_ = bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
  }
  ~NotifySocket() {
    unsetenv("NOTIFY_SOCKET");
    close(socket_);
  }
  bool bound() const { return bound_; }
  // The next datagram, within a generous bound; empty without one.
  std::string Next() {
    pollfd ready{socket_, POLLIN, 0};
    if (poll(&ready, 1, 30000) != 1) return {};
    char text[256];
    ssize_t got = recv(socket_, text, sizeof text, 0);
    return got > 0 ? std::string(text, static_cast<size_t>(got)) : std::string();
  }

 private:
  int socket_ = -1;
  bool bound_ = false;
};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class SystemdServices : public ::testing::Test {
 protected:
  void SetUp() override {
    systemd_ = root_.path() + "/systemd";
    fs::create_directories(systemd_ + "/run/systemd/system");
    fs::create_directories(systemd_ + "/bin");
    std::ofstream(systemd_ + "/bin/systemctl") << kStandIn;
    fs::permissions(systemd_ + "/bin/systemctl", fs::perms::owner_all);
    Answer("inactive", 0, 0);
    path_ = std::getenv("PATH");
    setenv("PATH", (systemd_ + "/bin:" + path_).c_str(), 1);
    setenv("TESMAR_TEST_SYSTEMD_ROOT", systemd_.c_str(), 1);
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr);
  }
  void TearDown() override {
    // Never leave the stand-in's service process behind, whatever the test did.
    std::string show = ReadFile(systemd_ + "/show");
    size_t mainPid = show.find("MainPID=");
    if (mainPid != std::string::npos) {
      int processId = std::atoi(show.c_str() + mainPid + 8);
      if (processId > 0 && show.find("ActiveState=active") != std::string::npos) {
        kill(processId, SIGKILL);
      }
    }
    if (service_) CloseServiceHandle(service_);
    CloseServiceHandle(manager_);
    setenv("PATH", path_.c_str(), 1);
  }
  void Answer(const char* state, int mainProcessId, int exitStatus) {
    std::ofstream(systemd_ + "/show")
        << "ActiveState=" << state << "\nSubState=x\nMainPID=" << mainProcessId
        << "\nExecMainStatus=" << exitStatus << "\n";
  }
  SC_HANDLE Create(DWORD startType, DWORD errorControl, const std::string& imagePath) {
    return CreateServiceA(manager_, "TestService", "Test Service 100%", SERVICE_ALL_ACCESS,
                          SERVICE_WIN32_OWN_PROCESS, startType, errorControl, imagePath.c_str(),
                          nullptr, nullptr, nullptr, nullptr, nullptr);
  }
  std::string Calls() { return ReadFile(systemd_ + "/calls"); }
  std::string UnitPath() { return systemd_ + "/etc/systemd/system/tesmar-testservice.service"; }
  DWORD StateNow() {
    SERVICE_STATUS status{};
    EXPECT_TRUE(QueryServiceStatus(service_, &status)) << GetLastError();
    return status.dwCurrentState;
  }

  TemporaryMachineRoot root_;
  std::string systemd_, path_;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

TEST_F(SystemdServices,
       CreateWritesAUnitThatSystemdAcceptsEnablesItWhenAutomaticChangeRewritesItDeleteRemovesIt) {
  std::string imagePath = "\"" + TestServiceProgram() + "\" --with $HOME 50% \"a b\" c\\d";
  service_ = Create(SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, imagePath);
  ASSERT_NE(service_, nullptr) << GetLastError();
  std::string unit = ReadFile(UnitPath());
  EXPECT_NE(unit.find("Description=Test Service 100%%\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("ExecStart=\"" + TestServiceProgram() +
                      "\" \"--with\" \"$$HOME\" \"50%%\" \"a b\" \"c\\\\d\"\n"),
            std::string::npos)
      << unit;
  EXPECT_NE(unit.find("\"TESMAR_SERVICE_NAME=TestService\""), std::string::npos) << unit;
  EXPECT_NE(unit.find("Restart=on-failure\n"), std::string::npos) << unit;
  EXPECT_EQ(Calls(), "daemon-reload\nenable tesmar-testservice.service\n");

  if (std::system("systemd-analyze --version >/dev/null 2>&1") != 0) {
    ADD_FAILURE() << "systemd-analyze is missing (package systemd)";
  } else {
    std::string command = "systemd-analyze verify '" + UnitPath() + "' 2>&1";
    FILE* verify = popen(command.c_str(), "r");
    std::string said;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, verify)) said += buffer;
    int result = pclose(verify);
    if (said.find("without systemd") != std::string::npos ||
        said.find("Failed to initialize manager") != std::string::npos) {
      std::cout << "systemd-analyze verify cannot run here: " << said;
    } else {
      EXPECT_EQ(result, 0) << said;
      EXPECT_EQ(said, "");
    }
  }

  // A unit of the name already there is never replaced.
  ASSERT_TRUE(DeleteService(service_));
  EXPECT_FALSE(fs::exists(UnitPath()));
  EXPECT_EQ(Calls().substr(Calls().find("disable")),
            "disable tesmar-testservice.service\ndaemon-reload\n");
  CloseServiceHandle(service_);
  service_ = nullptr;
  std::ofstream(UnitPath()) << "[Service]\nExecStart=/bin/true\n";
  EXPECT_EQ(Create(SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, "/bin/true"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_EXISTS);
  EXPECT_EQ(OpenServiceA(manager_, "TestService", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);

  // On demand and errors ignored: not enabled, no restart.
  fs::remove(UnitPath());
  fs::remove(systemd_ + "/calls");
  service_ = Create(SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, "/bin/true");
  ASSERT_NE(service_, nullptr) << GetLastError();
  EXPECT_NE(ReadFile(UnitPath()).find("Restart=no\n"), std::string::npos);
  EXPECT_EQ(Calls(), "daemon-reload\n");

  // A changed definition rewrites the unit and enables it as the new start type says.
  ASSERT_TRUE(ChangeServiceConfigA(service_, SERVICE_NO_CHANGE, SERVICE_AUTO_START,
                                   SERVICE_ERROR_NORMAL, "/bin/echo changed", nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr))
      << GetLastError();
  std::string changed = ReadFile(UnitPath());
  EXPECT_NE(changed.find("ExecStart=\"/bin/echo\" \"changed\"\n"), std::string::npos) << changed;
  EXPECT_NE(changed.find("Restart=on-failure\n"), std::string::npos) << changed;
  EXPECT_EQ(Calls(), "daemon-reload\ndaemon-reload\nenable tesmar-testservice.service\n");
}

TEST_F(SystemdServices, StartStopAndStatusGoThroughSystemctlControlsThroughTheSocket) {
  service_ = Create(SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "\"" + TestServiceProgram() + "\"");
  ASSERT_NE(service_, nullptr) << GetLastError();
  EXPECT_EQ(StateNow(), DWORD(SERVICE_STOPPED));
  SERVICE_STATUS status{};
  EXPECT_FALSE(ControlService(service_, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);

  NotifySocket notify(root_.path() + "/notify");
  ASSERT_TRUE(notify.bound());
  LPCSTR arguments[] = {"one", "two"};
  ASSERT_TRUE(StartServiceA(service_, 2, arguments)) << GetLastError();
  // The process systemd started recorded itself and reports running.
  ASSERT_TRUE(WaitForServiceState(service_, SERVICE_RUNNING));
  EXPECT_EQ(notify.Next(), "READY=1");  // told once it reported running
  EXPECT_EQ(ArgumentsOfTestService(), "TestService one two");
  EXPECT_FALSE(StartServiceA(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_INTERROGATE, &status)) << GetLastError();
  EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_RUNNING));

  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status)) << GetLastError();
  EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SUCCESS);
  EXPECT_EQ(notify.Next(), "STOPPING=1");
  std::string calls = Calls();
  EXPECT_NE(calls.find("start tesmar-testservice.service\n"), std::string::npos) << calls;
  EXPECT_NE(calls.find("stop tesmar-testservice.service\n"), std::string::npos) << calls;
  EXPECT_NE(calls.find("show -p ActiveState,SubState,MainPID,ExecMainStatus -- "
                       "tesmar-testservice.service\n"),
            std::string::npos);

  // What systemd says rules: an instance it still starts, one it stops, one that failed.
  Answer("activating", 0, 0);
  EXPECT_EQ(StateNow(), DWORD(SERVICE_START_PENDING));
  Answer("deactivating", 0, 0);
  EXPECT_EQ(StateNow(), DWORD(SERVICE_STOP_PENDING));
  Answer("failed", 0, 3);
  ASSERT_TRUE(QueryServiceStatus(service_, &status));
  EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
  EXPECT_EQ(status.dwWin32ExitCode, ERROR_SUCCESS);  // its own stopped report stands
  std::ofstream(systemd_ + "/fail-start");
  Answer("inactive", 0, 0);
  EXPECT_FALSE(StartServiceA(service_, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_REQUEST_TIMEOUT);
}

TEST_F(SystemdServices, WithoutSystemdTheBuiltInManagerRunsAndSystemctlIsNeverCalled) {
  fs::remove_all(systemd_ + "/run");
  service_ = Create(SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, "\"" + TestServiceProgram() + "\"");
  ASSERT_NE(service_, nullptr) << GetLastError();
  ASSERT_TRUE(StartServiceA(service_, 0, nullptr)) << GetLastError();
  ASSERT_TRUE(WaitForServiceState(service_, SERVICE_RUNNING));
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(service_, SERVICE_CONTROL_STOP, &status)) << GetLastError();
  ASSERT_TRUE(WaitForServiceState(service_, SERVICE_STOPPED));
  ASSERT_TRUE(DeleteService(service_));
  EXPECT_FALSE(fs::exists(systemd_ + "/calls"));
  EXPECT_FALSE(fs::exists(UnitPath()));
}

}  // namespace
