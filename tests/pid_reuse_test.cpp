// A watched process ends and a newcomer running the same program (so of the same name) gets its
// process id, as a user forking until the id comes round would: the real tesmarsr must never
// give the newcomer the watched process's settings, neither at the next refresh nor for a
// request from a copy that still shows the old process. The newcomer is made with
// /proc/sys/kernel/ns_last_pid, so this test runs alone (RUN_SERIAL): another test's child could
// take the id first.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "TesmarApi.h"
#include "platform/process.h"
#include "support/answer_wait.h"
#include "support/installed_service.h"
#include "support/kernel_view.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/thread_host.h"
#include "support/wait_until.h"

namespace {

using namespace tesmar::testing;

constexpr uint32_t kNobody = 65534;

TesmarRecord* FindRecord(TesmarSession* session, DWORD processId) {
  for (DWORD i = 0; i < TesmarGetProcessCount(session); ++i) {
    TesmarRecord* record = TesmarGetProcObject(session, i);
    if (record && TesmarGetProcId(record) == processId) return record;
  }
  return nullptr;
}

// Clock ticks since the boot: now, and when a process started.
uint64_t TicksNow() {
  double seconds = 0;
  std::ifstream("/proc/uptime") >> seconds;
  return static_cast<uint64_t>(seconds * static_cast<double>(sysconf(_SC_CLK_TCK)));
}
uint64_t StartTicks(uint32_t processId) {
  std::ifstream file("/proc/" + std::to_string(processId) + "/stat");
  std::string line;
  std::getline(file, line);
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  for (int n = 3; n <= 22 && fields >> field; ++n) {
  }
  return std::stoull(field);
}

// "ni cls rtprio" of each thread, as ps shows them.
std::vector<std::string> Scheduling(uint32_t processId) {
  std::vector<std::string> threads;
  for (const PsThread& thread : PsThreads(processId)) threads.push_back(thread.Scheduling());
  return threads;
}

class PidReuse : public ::testing::TestWithParam<std::optional<uint32_t>> {
 protected:
  void SetUp() override {
    if (!RunsAsRoot()) GTEST_SKIP() << "needs root to set real-time priorities and ns_last_pid";
    if (access("/proc/sys/kernel/ns_last_pid", W_OK) != 0) {
      GTEST_SKIP() << "/proc/sys/kernel/ns_last_pid cannot be written here";
    }
    ASSERT_TRUE(service_.Start());
    session_ = TesmarOpen(0);
    ASSERT_EQ(TesmarConnect(session_, nullptr), 0);
  }
  void TearDown() override { TesmarClose(session_); }

  LongestAnswerWait answerWait_{kAnswerAlwaysAwaited};
  TemporaryMachineRoot root_;
  InstalledService service_{TesmarsrProgram()};
  TesmarSession* session_ = nullptr;
};

TEST_P(PidReuse, ANewcomerOnAWatchedProcessIdKeepsItsOwnScheduling) {
  SpawnedThreadHost victim(2);
  ASSERT_TRUE(victim.started());
  ASSERT_EQ(TesmarRefresh(session_), 0);
  TesmarRecord* record = FindRecord(session_, victim.pid());
  ASSERT_NE(record, nullptr);
  ASSERT_EQ(TesmarSetWatchList(record, 1), 0);
  ASSERT_EQ(TesmarSetProcPrior(record, REALTIME_PRIORITY_CLASS), 1);
  ASSERT_EQ(TesmarSetThreadPrior(record, 1, THREAD_PRIORITY_TIME_CRITICAL), 1);
  ASSERT_EQ(TesmarUpdate(session_), 0);
  ASSERT_EQ(TesmarRefresh(session_), 0);
  ASSERT_EQ(Scheduling(victim.pid()), (std::vector<std::string>{"- RR 24", "- RR 31"}));
  record = FindRecord(session_, victim.pid());
  ASSERT_EQ(TesmarGetWatchList(record), 1);

  // The newcomer starts at least a clock tick after the victim, as any process that has to
  // wait for an id to come round does.
  const uint32_t processId = victim.pid();
  const uint64_t victimStarted = StartTicks(processId);
  ASSERT_TRUE(WaitUntil([&] { return TicksNow() > victimStarted + 1; }));
  victim.stop();
  SpawnedThreadHost newcomer;
  SpawnedThreadHost::Launch onTheSameId{processId, GetParam()};
  ASSERT_TRUE(WaitUntil([&] { return newcomer.start(2, onTheSameId); }));
  const std::vector<std::string> own = Scheduling(processId);
  ASSERT_EQ(own, (std::vector<std::string>{"0 TS -", "0 TS -"}));

  // The session's copy still shows the old process, watched; a change to it is refused.
  ASSERT_EQ(TesmarSetThreadPrior(record, 0, THREAD_PRIORITY_HIGHEST), 1);
  ASSERT_EQ(TesmarUpdate(session_), 0);
  EXPECT_EQ(Scheduling(processId), own);

  ASSERT_EQ(TesmarRefresh(session_), 0);
  record = FindRecord(session_, processId);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(TesmarGetWatchList(record), 0) << "the watch is dropped";
  EXPECT_EQ(TesmarGetProcPrior(record), NORMAL_PRIORITY_CLASS);
  EXPECT_EQ(Scheduling(processId), own);
}

INSTANTIATE_TEST_SUITE_P(NewcomerOfRootOrOfAnUnprivilegedUser, PidReuse,
                         ::testing::Values(std::nullopt, std::optional<uint32_t>(kNobody)),
                         [](const auto& info) { return info.param ? "Nobody" : "Root"; });

}  // namespace
