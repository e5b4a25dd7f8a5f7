// The road of one request, end to end: a real tesmarsr started by the service manager on a
// machine of its own, a spawned child with several threads, and a TesmarApi session on the local
// machine. What the session asks for is checked in the kernel with taskset and ps. Sessions wait
// for the service's answer as long as it takes, so that a loaded machine makes no test fail.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "TesmarApi.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "support/answer_wait.h"
#include "support/concurrent_clients.h"
#include "support/data_key_access.h"
#include "support/installed_service.h"
#include "support/kernel_view.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/thread_host.h"

namespace {

using namespace tesmar::testing;

constexpr unsigned kChildThreads = 4;

// The nice values of the priority table for the high class: its base, and one level above it.
constexpr int kHighClassNice = -10;
constexpr int kHighClassAboveNormalNice = -12;

TesmarRecord* FindRecord(TesmarSession* session, DWORD processId) {
  for (DWORD i = 0; i < TesmarGetProcessCount(session); ++i) {
    TesmarRecord* record = TesmarGetProcObject(session, i);
    if (record && TesmarGetProcId(record) == processId) return record;
  }
  return nullptr;
}

// The records of the copy that are watched.
DWORD WatchedRecords(TesmarSession* session) {
  DWORD watched = 0;
  for (DWORD i = 0; i < TesmarGetProcessCount(session); ++i) {
    TesmarRecord* record = TesmarGetProcObject(session, i);
    if (record && TesmarGetWatchList(record)) ++watched;
  }
  return watched;
}

std::vector<uint32_t> KernelMasks(const std::vector<uint32_t>& threadIds) {
  std::vector<uint32_t> masks;
  for (uint32_t id : threadIds) masks.push_back(TasksetMask(id).value_or(0));
  return masks;
}

std::vector<int> KernelNices(uint32_t processId) {
  std::vector<int> nices;
  for (const auto& thread : PsThreads(processId)) nices.push_back(thread.NiceValue());
  return nices;
}

// The real service on a machine of its own, installed and not started.
struct MachineOfItsOwn {
  tesmar::testing::TemporaryMachineRoot root;
};
struct InstalledTesmarsr : MachineOfItsOwn, InstalledService {
  InstalledTesmarsr() : InstalledService(tesmar::testing::TesmarsrProgram()) {}
};

class RequestRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    // Running means published: the service reports running once its first pass is over.
    ASSERT_TRUE(service_.Start()) << "tesmarsr did not start";
    session_ = TesmarOpen(0);
    ASSERT_NE(session_, nullptr);
    ASSERT_EQ(TesmarConnect(session_, nullptr), 0);
  }
  void TearDown() override { TesmarClose(session_); }

  // Refreshes; the child's record in the new copy, or null.
  TesmarRecord* RefreshAndFind(SpawnedThreadHost& child) {
    if (TesmarRefresh(session_) != 0) return nullptr;
    return FindRecord(session_, child.pid());
  }

  // Marks the child watched, sends it and refreshes; its record afterwards.
  TesmarRecord* Watch(DWORD processId) {
    TesmarRecord* record = FindRecord(session_, processId);
    if (!record || TesmarSetWatchList(record, 1) != 0) return nullptr;
    if (TesmarUpdate(session_) != 0 || TesmarRefresh(session_) != 0) return nullptr;
    return FindRecord(session_, processId);
  }

  LongestAnswerWait answerWait_{kAnswerAlwaysAwaited};
  InstalledTesmarsr service_;
  TesmarSession* session_ = nullptr;
};

TEST_F(RequestRoad, WatchedSettingsReachTheKernelAndAreAppliedAgainAtEveryRefresh) {
  if (!tesmar::testing::RunsAsRoot()) GTEST_SKIP() << "raising a priority class needs root";
  SpawnedThreadHost child(kChildThreads);
  ASSERT_TRUE(child.started());
  std::vector<uint32_t> threadIds = child.threadIds();
  ASSERT_EQ(threadIds.size(), kChildThreads);
  std::sort(threadIds.begin(), threadIds.end());  // the order of the system's thread list

  // The refresh waited for the service's new packet: the child, born just before, is in it.
  TesmarRecord* record = RefreshAndFind(child);
  ASSERT_NE(record, nullptr);
  if (TesmarGetProcessorCount(session_) < 2) GTEST_SKIP() << "needs two processors";
  EXPECT_EQ(std::u16string(TesmarGetProcName(record)), u"tesmar_thread_host");
  EXPECT_EQ(TesmarGetThreadCount(record), static_cast<LONG>(kChildThreads));
  EXPECT_EQ(TesmarGetWatchList(record), 0);

  record = Watch(child.pid());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(TesmarGetWatchList(record), 1);

  // Processor 0 for the process and every thread, then processor 1 for threads 1 and 2; the
  // high class and one level above normal for thread 1.
  EXPECT_EQ(TesmarSetProcAffin(record, 0x1), 0);
  for (DWORD thread = 0; thread < kChildThreads; ++thread) {
    EXPECT_EQ(TesmarSetThreadAffin(record, thread, thread == 1 || thread == 2 ? 0x2 : 0x1), 0);
  }
  EXPECT_EQ(TesmarSetProcPrior(record, HIGH_PRIORITY_CLASS), 1);
  EXPECT_EQ(TesmarSetThreadPrior(record, 1, THREAD_PRIORITY_ABOVE_NORMAL), 1);
  ASSERT_EQ(TesmarUpdate(session_), 0);
  ASSERT_EQ(TesmarRefresh(session_), 0);

  const std::vector<uint32_t> wantedMasks{0x1, 0x2, 0x2, 0x1};
  const std::vector<int> wantedNices{kHighClassNice, kHighClassAboveNormalNice, kHighClassNice,
                                     kHighClassNice};
  record = FindRecord(session_, child.pid());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(TesmarGetWatchList(record), 1);
  EXPECT_EQ(TesmarGetProcAffin(record), 0x1u);
  EXPECT_EQ(TesmarGetProcPrior(record), HIGH_PRIORITY_CLASS);
  EXPECT_EQ(TesmarGetThreadPrior(record, 1), THREAD_PRIORITY_ABOVE_NORMAL);
  EXPECT_EQ(TesmarGetThreadPrior(record, 0), THREAD_PRIORITY_NORMAL);
  EXPECT_EQ(KernelMasks(threadIds), wantedMasks);
  EXPECT_EQ(KernelNices(child.pid()), wantedNices);
  for (const auto& thread : PsThreads(child.pid())) EXPECT_EQ(thread.policy, "TS");

  // Changed behind the service's back, the next refresh puts the settings back.
  ASSERT_TRUE(tesmar::testing::SetTasksetMask(threadIds[0], 0x3));
  ASSERT_TRUE(tesmar::testing::SetTasksetMask(threadIds[1], 0x1));
  ASSERT_TRUE(tesmar::testing::ReniceThread(threadIds[1], 5));
  ASSERT_EQ(KernelMasks(threadIds)[0], 0x3u);
  ASSERT_EQ(TesmarRefresh(session_), 0);
  EXPECT_EQ(KernelMasks(threadIds), wantedMasks);
  EXPECT_EQ(KernelNices(child.pid()), wantedNices);
  EXPECT_EQ(TesmarGetWatchList(FindRecord(session_, child.pid())), 1);
}

TEST_F(RequestRoad, WatchEndsWithTheProcess) {
  DWORD processId = 0;
  {
    SpawnedThreadHost child(kChildThreads);
    ASSERT_TRUE(child.started());
    processId = child.pid();
    ASSERT_NE(RefreshAndFind(child), nullptr);
    TesmarRecord* record = Watch(processId);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(TesmarGetWatchList(record), 1);
  }
  ASSERT_EQ(TesmarRefresh(session_), 0);
  // Nothing else was watched; the process's id may have been taken by a newcomer already, which
  // is not watched either.
  EXPECT_EQ(WatchedRecords(session_), 0u);
  TesmarRecord* record = FindRecord(session_, processId);
  EXPECT_TRUE(!record || std::u16string(TesmarGetProcName(record)) != u"tesmar_thread_host");
}

TEST_F(RequestRoad, StoppedServiceLeavesTheOldPacketAfterTheLongestWait) {
  ASSERT_EQ(TesmarRefresh(session_), 0);
  const DWORD countBefore = TesmarGetProcessCount(session_);

  ASSERT_EQ(TesmarStop(session_), 0);
  EXPECT_EQ(TesmarRunning(session_), 0);
  ASSERT_TRUE(service_.WaitForState(SERVICE_STOPPED));
  ASSERT_TRUE(tesmar::testing::WaitUntilServiceProcessGone());

  // A child born after the stop is in no packet: nobody builds one.
  SpawnedThreadHost child(2);
  ASSERT_TRUE(child.started());
  {
    LongestAnswerWait usual(std::nullopt);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(TesmarRefresh(session_), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(990));
  }
  EXPECT_EQ(FindRecord(session_, child.pid()), nullptr);
  EXPECT_EQ(TesmarGetProcessCount(session_), countBefore);
  // The flag stays raised for the service's next start.
  EXPECT_EQ(tesmar::testing::ReadDataDword(u"RefreshFlag"), 1u);

  // Started again through the session, the service answers the raised flag.
  ASSERT_EQ(TesmarStart(session_), 0);
  ASSERT_TRUE(service_.WaitForState(SERVICE_RUNNING));
  ASSERT_EQ(TesmarRefresh(session_), 0);
  EXPECT_NE(FindRecord(session_, child.pid()), nullptr);
}

// A service that was stopped: a session starts it, and another that connects and refreshes as
// soon as the start returned is served at once, since the service reports running only once it
// serves.
TEST(RequestRoadAtStart, ConnectingAndRefreshingAtOnceAfterTheStartGetsAPacket) {
  LongestAnswerWait answerWait(kAnswerAlwaysAwaited);
  InstalledTesmarsr service;
  ASSERT_TRUE(service.installed());
  TesmarSession* starter = TesmarOpen(0);
  ASSERT_EQ(TesmarConnect(starter, nullptr), static_cast<INT>(ERROR_SERVICE_NOT_ACTIVE));
  ASSERT_EQ(TesmarStart(starter), 0);

  TesmarSession* client = TesmarOpen(0);
  EXPECT_EQ(TesmarConnect(client, nullptr), 0);
  EXPECT_EQ(TesmarRefresh(client), 0);
  EXPECT_GT(TesmarGetProcessCount(client), 1u);
  EXPECT_NE(TesmarGetProcObject(client, 0), nullptr);
  TesmarClose(client);
  TesmarClose(starter);
}

// Eight operators at once, each changing only its own process a hundred times from a copy it
// never refreshes: every request reaches a pass of its own, and no request puts back, from the
// stale rest of its copy, what another client changed.
TEST(ConcurrentClients, NoRequestIsLostAndNoneRevertsAnotherClientsChange) {
  if (sysconf(_SC_NPROCESSORS_ONLN) < 2) GTEST_SKIP() << "needs two processors";
  LongestAnswerWait answerWait(kAnswerAlwaysAwaited);
  InstalledTesmarsr service;
  ASSERT_TRUE(service.Start());
  ConcurrentClientsReport report;
  ASSERT_TRUE(RunConcurrentClients(8, 100, report));
  EXPECT_EQ(report.refused, 0u);
  EXPECT_EQ(report.passes, 800u) << "requests overwritten before the service read them";
  EXPECT_EQ(report.processesWithLastSetting, 8u);
}

}  // namespace
