// The engine on the running kernel: a spawned child with several threads is watched with new
// masks, class and boost; the kernel shows them, ProcList shows the record watched, and a refresh
// puts them back after they were changed behind the service's back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_support.h"
#include "platform/process.h"
#include "support/kernel_view.h"
#include "support/thread_host.h"

namespace tesmar::service::testing {
namespace {

using tesmar::testing::SetTasksetMask;
using tesmar::testing::TasksetMask;

// `ps` for one thread: its scheduling class (TS, B, ...) and nice value.
std::string PsClassAndNice(uint32_t processId, uint32_t threadId) {
  auto thread = tesmar::testing::PsThreadOf(processId, threadId);
  return thread ? thread->policy + " " + thread->nice : "";
}

unsigned ProcessorCount() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors;
}

TEST(PacketEngineOnTheKernel, AWatchedChildTakesItsSettingsAndKeepsThemThroughRefreshes) {
  if (ProcessorCount() < 2) GTEST_SKIP() << "needs two processors to tell masks apart";
  if (!TasksetMask(1)) GTEST_SKIP() << "taskset cannot read masks here";
  ScratchRegistry registry;
  tesmar::testing::SpawnedThreadHost child;
  ASSERT_TRUE(child.start(4));
  const uint32_t pid = child.pid();
  const std::vector<uint32_t> tids = child.threadIds();
  ASSERT_EQ(tids.size(), 4u);

  PacketCopy request = registry.Build();
  packet::ProcessRecord& record = request.RecordOf(pid);
  EXPECT_EQ(packet::RecordName(record), u"tesmar_thread_host");
  ASSERT_EQ(record.ThreadCount, 4);
  record.Watched = 1;
  record.ProcAffinity = 0x3;
  record.PriorityClass = IDLE_PRIORITY_CLASS;
  record.BoostDisabled = 1;
  const uint32_t masks[4] = {0x1, 0x2, 0x1, 0x3};
  for (uint32_t k = 0; k < 4; ++k) {
    record.ThreadAffinity[k] = masks[k];
    record.ThreadPriority[k] = THREAD_PRIORITY_NORMAL;
  }
  record.ThreadPriority[1] = THREAD_PRIORITY_LOWEST;
  registry.WriteUpdateList(request);

  ApplyUpdateList(registry.DataKey());
  for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(TasksetMask(tids[k]), masks[k]) << "thread " << k;
  // Idle class: nice 10, two levels lower for the lowest thread; boost off is SCHED_BATCH.
  EXPECT_EQ(PsClassAndNice(pid, tids[0]), "B 10");
  EXPECT_EQ(PsClassAndNice(pid, tids[1]), "B 14");

  PacketCopy published = registry.ProcList();
  const packet::ProcessRecord& watched = published.RecordOf(pid);
  EXPECT_EQ(watched.Watched, 1u);
  EXPECT_EQ(watched.ProcAffinity, 0x3u);
  EXPECT_EQ(watched.PriorityClass, IDLE_PRIORITY_CLASS);
  EXPECT_EQ(watched.BoostDisabled, 1u);
  EXPECT_EQ(watched.ThreadAffinity[1], 0x2u);
  EXPECT_EQ(watched.ThreadPriority[1], THREAD_PRIORITY_LOWEST);

  // Changed behind the service's back; the next refresh applies the watched record again.
  SetTasksetMask(tids[0], 0x2);
  SetTasksetMask(tids[1], 0x1);
  ASSERT_EQ(TasksetMask(tids[0]), 0x2u);
  RefreshProcList(registry.DataKey());
  for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(TasksetMask(tids[k]), masks[k]) << "thread " << k;
  EXPECT_EQ(registry.ProcList().RecordOf(pid).Watched, 1u);
}

TEST(PacketEngineOnTheKernel, APacketOfTheBoxHoldsEveryProcessWithItsRealMasks) {
  ScratchRegistry registry;
  tesmar::testing::SpawnedThreadHost child;
  ASSERT_TRUE(child.start(3));
  SetTasksetMask(child.threadIds()[2], 0x1);

  PacketCopy packet = registry.Build();
  EXPECT_TRUE(packet.View().IsWellFormed());
  EXPECT_EQ(packet.Header().ProcessorCount, ProcessorCount());
  EXPECT_EQ(packet::RecordName(packet.Record(0)), u"Idle");
  EXPECT_TRUE(packet.Find(1) != nullptr);
  const packet::ProcessRecord& record = packet.RecordOf(child.pid());
  EXPECT_EQ(record.ThreadCount, 3);
  EXPECT_EQ(record.ThreadAffinity[2], 0x1u);
  EXPECT_EQ(record.ThreadAffinity[0], TasksetMask(child.threadIds()[0]));
  EXPECT_EQ(record.Watched, 0u);
}

}  // namespace
}  // namespace tesmar::service::testing
