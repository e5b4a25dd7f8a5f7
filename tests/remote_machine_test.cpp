// Another machine managed through TesmarApi and Scmkit over ssh: a real sshd whose sessions live
// in a PID and mount namespace of their own with their own TESMAR_ROOT (support/ssh_machine.h),
// the real tesmarsr running there, and children of that machine checked with taskset there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Scmkit.h"
#include "TesmarApi.h"
#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "support/programs.h"
#include "support/ssh_machine.h"
#include "support/temporary_machine_root.h"
#include "support/wait_until.h"

using tesmar::testing::SshMachine;

namespace {

constexpr char kServiceNameNarrow[] = "KaltrixTesmar";

struct ReadyLine {
  uint32_t pid = 0;
  std::vector<uint32_t> threads;
};

// "ready <pid> <tid> <tid> ..." of a thread host, in the numbers of its machine.
ReadyLine ParseReady(const std::string& line) {
  std::istringstream words(line);
  std::string ready;
  ReadyLine parsed;
  words >> ready >> parsed.pid;
  uint32_t tid;
  while (words >> tid) parsed.threads.push_back(tid);
  return parsed;
}

TesmarRecord* RecordOf(TesmarSession* session, uint32_t pid, const char16_t* name) {
  for (DWORD i = 0; i < TesmarGetProcessCount(session); ++i) {
    TesmarRecord* record = TesmarGetProcObject(session, i);
    if (record && TesmarGetProcId(record) == pid &&
        std::u16string_view(TesmarGetProcName(record)) == name) {
      return record;
    }
  }
  return nullptr;
}

class RemoteMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!machine_.skipReason().empty()) GTEST_SKIP() << machine_.skipReason();
    ASSERT_EQ(machine_.failure(), "");
    // The client never waits less than the far service may need on this busy machine.
    setenv("TESMAR_LONGEST_ANSWER_WAIT", "20000", 1);
    ASSERT_EQ(SerSetupOpen(&setup_, SshMachine::kMachineNarrow), 0u);
    ASSERT_EQ(SerSetupServiceInstall(setup_, SERVICE_DEMAND_START, kServiceNameNarrow,
                                     tesmar::testing::TesmarsrProgram().c_str()),
              0u);
  }
  void TearDown() override {
    unsetenv("TESMAR_LONGEST_ANSWER_WAIT");
    if (!setup_) return;
    SerSetupServiceControl(setup_, SERSETUP_CONTROL_STOP);
    SerSetupServiceRemove(setup_);
    SerSetupClose(setup_);
  }

  // The mask taskset shows inside the far machine for one of its threads.
  std::string FarMask(uint32_t thread) const {
    std::string line = machine_.RunInside("taskset -p " + std::to_string(thread));
    while (!line.empty() && line.back() == '\n') line.pop_back();
    return line.substr(line.rfind(' ') + 1);
  }

  tesmar::testing::TemporaryMachineRoot local_;
  SshMachine machine_;
  SerSetupContext* setup_ = nullptr;
};

TEST_F(RemoteMachine, TheOperatorManagesTheFarMachinesServiceAndProcesses) {
  SshMachine::Process host =
      machine_.StartInside({tesmar::testing::BuildProgram("tesmar_thread_host"), "3"});
  ReadyLine far = ParseReady(host.firstLine());
  ASSERT_EQ(far.threads.size(), 3u) << host.firstLine();

  TesmarSession* session = TesmarOpen(0);
  ASSERT_NE(session, nullptr);
  INT connected = TesmarConnect(session, SshMachine::kMachine);
  if (connected == static_cast<INT>(ERROR_SERVICE_NOT_ACTIVE)) {
    EXPECT_EQ(TesmarInstalled(session), 1);
    EXPECT_EQ(TesmarRunning(session), 0);
    ASSERT_EQ(TesmarStart(session), 0);
    ASSERT_EQ(TesmarDisconnect(session), 0);
    connected = TesmarConnect(session, SshMachine::kMachine);
  }
  ASSERT_EQ(connected, 0);
  EXPECT_EQ(TesmarRunning(session), 1);
  EXPECT_EQ(TesmarStop(session), 0);
  EXPECT_EQ(TesmarRunning(session), 0);
  // The stop is asked for, not awaited: while the service still stops, a start answers
  // ERROR_SERVICE_ALREADY_RUNNING, and then it starts.
  INT started = -1;
  ASSERT_TRUE(tesmar::testing::WaitUntil([&] {
    started = TesmarStart(session);
    return started != static_cast<INT>(ERROR_SERVICE_ALREADY_RUNNING);
  }));
  ASSERT_EQ(started, 0);
  ASSERT_EQ(TesmarDisconnect(session), 0);
  ASSERT_EQ(TesmarConnect(session, SshMachine::kMachine), 0);

  // The far machine's processes: its first process is its sshd, and the thread host is there
  // under the id that machine gave it.
  ASSERT_EQ(TesmarRefresh(session), 0);
  TesmarRecord* first = RecordOf(session, 1, u"sshd");
  EXPECT_NE(first, nullptr) << "process 1 of the far machine is its sshd";
  TesmarRecord* record = RecordOf(session, far.pid, u"tesmar_thread_host");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(TesmarGetThreadCount(record), 3);

  // Watched, on processor 0 alone, its last thread on processor 1.
  EXPECT_EQ(TesmarSetWatchList(record, 1), 0);
  EXPECT_EQ(TesmarSetProcAffin(record, 0x1), 0);
  for (DWORD t = 0; t < 3; ++t) EXPECT_EQ(TesmarSetThreadAffin(record, t, t == 2 ? 0x2 : 0x1), 0);
  ASSERT_EQ(TesmarUpdate(session), 0);
  EXPECT_TRUE(tesmar::testing::WaitUntil([&] { return FarMask(far.threads[2]) == "2"; }));
  EXPECT_EQ(FarMask(far.threads[0]), "1");
  EXPECT_EQ(FarMask(far.threads[1]), "1");
  ASSERT_EQ(TesmarRefresh(session), 0);
  record = RecordOf(session, far.pid, u"tesmar_thread_host");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(TesmarGetWatchList(record), 1);
  EXPECT_EQ(TesmarGetThreadAffin(record, 2), 0x2u);
  EXPECT_EQ(TesmarClose(session), 0);
}

// Three operators at once: two remote ones on channels of their own, and one on the far machine
// itself, each sending requests for its own process from a copy it never refreshes. They take
// turns with the Data key's lock, wherever they are, so the last request of each is applied.
TEST_F(RemoteMachine, OperatorsHereAndThereTakeTurnsWithoutLosingRequests) {
  std::vector<SshMachine::Process> children;
  std::vector<ReadyLine> hosts;
  for (int i = 0; i < 3; ++i) {
    children.push_back(
        machine_.StartInside({tesmar::testing::BuildProgram("tesmar_thread_host"), "1"}));
    hosts.push_back(ParseReady(children.back().firstLine()));
    ASSERT_NE(hosts.back().pid, 0u) << children.back().firstLine();
  }
  ASSERT_EQ(SerSetupServiceControl(setup_, SERSETUP_CONTROL_START), 0u);
  const char16_t* names[2] = {SshMachine::kMachine, SshMachine::kMachineAgain};
  TesmarSession* sessions[2] = {TesmarOpen(0), TesmarOpen(0)};
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(tesmar::testing::WaitUntil(
        [&] {
          TesmarDisconnect(sessions[i]);
          return TesmarConnect(sessions[i], names[i]) == 0;
        },
        std::chrono::seconds(60)));
    ASSERT_EQ(TesmarRefresh(sessions[i]), 0);
  }
  EXPECT_EQ(machine_.HelperCount(), 2) << "one channel a machine name, the installer's shared";
  constexpr int kRequests = 6;
  auto send = [&](int i) {
    int refused = 0;
    for (int n = 0; n < kRequests; ++n) {
      TesmarRecord* record = RecordOf(sessions[i], hosts[i].pid, u"tesmar_thread_host");
      if (!record) return -1;
      DWORD mask = n % 2 == 0 ? 0x2 : 0x1;  // the last request sets processor 0
      TesmarSetWatchList(record, 1);
      TesmarSetProcAffin(record, mask);
      TesmarSetThreadAffin(record, 0, mask);
      if (TesmarUpdate(sessions[i]) != 0) ++refused;
    }
    return refused;
  };
  auto there = std::async(std::launch::async, [&] {
    SshMachine::Process client = machine_.StartInside(
        {"env", "TESMAR_ROOT=" + machine_.root(), "TESMAR_LONGEST_ANSWER_WAIT=20000",
         tesmar::testing::BuildProgram("tesmar_far_client"), std::to_string(hosts[2].pid),
         std::to_string(kRequests)});
    return client.firstLine();
  });
  auto one = std::async(std::launch::async, send, 0);
  auto other = std::async(std::launch::async, send, 1);
  EXPECT_EQ(one.get(), 0);
  EXPECT_EQ(other.get(), 0);
  EXPECT_EQ(there.get(), "done 0");
  // The last request of each was applied: the kernel of the far machine shows it, and a fresh
  // copy shows all three as they were sent.
  for (const ReadyLine& host : hosts) {
    EXPECT_TRUE(tesmar::testing::WaitUntil([&] { return FarMask(host.pid) == "1"; }));
  }
  ASSERT_EQ(TesmarRefresh(sessions[0]), 0);
  for (const ReadyLine& host : hosts) {
    TesmarRecord* record = RecordOf(sessions[0], host.pid, u"tesmar_thread_host");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(TesmarGetWatchList(record), 1);
    EXPECT_EQ(TesmarGetProcAffin(record), 0x1u);
  }
  for (TesmarSession* session : sessions) TesmarClose(session);
}

TEST_F(RemoteMachine, AChannelKilledMidCallFailsTheCallAndTheSessionConnectsAgain) {
  ASSERT_EQ(SerSetupServiceControl(setup_, SERSETUP_CONTROL_START), 0u);
  TesmarSession* session = TesmarOpen(0);
  ASSERT_TRUE(tesmar::testing::WaitUntil(
      [&] {
        TesmarDisconnect(session);
        return TesmarConnect(session, SshMachine::kMachine) == 0;
      },
      std::chrono::seconds(60)));
  ASSERT_EQ(TesmarRefresh(session), 0);

  // Another operator holds the Data key's lock, so the update waits on the far side for its
  // turn when the channels die.
  HKEY otherRoot = nullptr, otherData = nullptr;
  ASSERT_EQ(RegConnectRegistryW(SshMachine::kMachineAgain, HKEY_LOCAL_MACHINE, &otherRoot), 0);
  ASSERT_EQ(RegOpenKeyExW(otherRoot, tesmar::packet::kDataKeyPath, 0, KEY_ALL_ACCESS, &otherData),
            0);
  ASSERT_EQ(RegLockKey(otherData, 1000), 0);
  auto update = std::async(std::launch::async, [&] { return TesmarUpdate(session); });
  EXPECT_EQ(update.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
  machine_.KillHelpers();
  ASSERT_EQ(update.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(update.get(), static_cast<INT>(ERROR_BAD_NETPATH));
  // Left as after a failed connect: no handle, so the next connect asks again on a new channel.
  EXPECT_EQ(TesmarRefresh(session), 1);
  EXPECT_EQ(TesmarConnect(session, SshMachine::kMachine), 0);
  EXPECT_EQ(TesmarRefresh(session), 0);
  RegCloseKey(otherData);
  RegCloseKey(otherRoot);
  TesmarClose(session);
}

TEST_F(RemoteMachine, ScmkitInstallsControlsAndRemovesTheFarService) {
  // SetUp installed it on the far machine; it is not on this one.
  SerSetupContext* here = nullptr;
  ASSERT_EQ(SerSetupOpen(&here, nullptr), 0u);
  EXPECT_EQ(SerSetupServiceOpen(here, kServiceNameNarrow), ERROR_SERVICE_DOES_NOT_EXIST);
  SerSetupClose(here);

  ASSERT_EQ(SerSetupServiceControl(setup_, SERSETUP_CONTROL_START), 0u);
  TesmarSession* session = TesmarOpen(0);
  EXPECT_TRUE(tesmar::testing::WaitUntil([&] {
    TesmarDisconnect(session);
    return TesmarConnect(session, SshMachine::kMachine) == 0;
  }));
  ASSERT_EQ(SerSetupServiceControl(setup_, SERSETUP_CONTROL_STOP), 0u);
  TesmarDisconnect(session);
  EXPECT_TRUE(tesmar::testing::WaitUntil([&] {
    TesmarDisconnect(session);
    return TesmarConnect(session, SshMachine::kMachine) ==
           static_cast<INT>(ERROR_SERVICE_NOT_ACTIVE);
  }));
  TesmarDisconnect(session);
  ASSERT_EQ(SerSetupServiceRemove(setup_), 0u);
  // Marked for deletion (1072) while it still stops, then gone. A connect that found it but not
  // running keeps its handles, which would hold the deletion off: each try starts afresh.
  EXPECT_TRUE(tesmar::testing::WaitUntil([&] {
    TesmarDisconnect(session);
    return TesmarConnect(session, SshMachine::kMachine) ==
           static_cast<INT>(ERROR_SERVICE_DOES_NOT_EXIST);
  }));
  TesmarClose(session);
}

}  // namespace
