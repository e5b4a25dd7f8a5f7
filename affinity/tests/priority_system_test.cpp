// Priority classes and thread priorities through Cpumask on the running kernel: each value reads
// back as set, and ps shows the nice value and policy of README.md's "Priorities on Linux".
#include <gtest/gtest.h>

#include <string>

#include "Cpumask.h"
#include "platform/process.h"
#include "spawned_child_fixture.h"
#include "support/kernel_view.h"

namespace tesmar::affinity::testing {
namespace {

class PriorityTest : public SpawnedChildTest {
 protected:
  void SetUp() override {
    if (!tesmar::testing::RunsAsRoot()) {
      GTEST_SKIP() << "raising priorities and real-time scheduling need root";
    }
    Spawn(2);
  }

  // What ps shows of thread index of the child: "ni cls rtprio".
  std::string KernelView(DWORD index) const {
    auto thread = tesmar::testing::PsThreadOf(host_->pid(), ThreadId(index));
    return thread ? thread->Scheduling() : "";
  }
};

TEST_F(PriorityTest, EveryClassReadsBackAndMapsOntoNiceOrRoundRobin) {
  struct Case {
    DWORD priorityClass;
    const char* kernelView;  // "ni cls rtprio" of a thread at the normal level
  };
  const Case cases[] = {{IDLE_PRIORITY_CLASS, "10 TS -"},
                        {HIGH_PRIORITY_CLASS, "-10 TS -"},
                        {REALTIME_PRIORITY_CLASS, "- RR 24"},
                        {NORMAL_PRIORITY_CLASS, "0 TS -"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.priorityClass);
    ASSERT_EQ(AffinSetProcessPriority(entry_, c.priorityClass), 1);
    EXPECT_EQ(AffinGetProcessPriority(entry_), c.priorityClass);
    EXPECT_EQ(KernelView(0), c.kernelView);
    EXPECT_EQ(KernelView(1), c.kernelView) << "every thread is re-based";
  }
}

TEST_F(PriorityTest, EveryThreadPriorityReadsBackAndMapsOntoNice) {
  struct Case {
    int priority;
    const char* normalView;    // in the normal class
    const char* realtimeView;  // in the real-time class
  };
  const Case cases[] = {{THREAD_PRIORITY_IDLE, "19 TS -", "- RR 16"},
                        {THREAD_PRIORITY_LOWEST, "4 TS -", "- RR 22"},
                        {THREAD_PRIORITY_BELOW_NORMAL, "2 TS -", "- RR 23"},
                        {THREAD_PRIORITY_NORMAL, "0 TS -", "- RR 24"},
                        {THREAD_PRIORITY_ABOVE_NORMAL, "-2 TS -", "- RR 25"},
                        {THREAD_PRIORITY_HIGHEST, "-4 TS -", "- RR 26"},
                        {THREAD_PRIORITY_TIME_CRITICAL, "-20 TS -", "- RR 31"}};
  ASSERT_EQ(AffinSetProcessPriority(entry_, NORMAL_PRIORITY_CLASS), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.priority);
    ASSERT_EQ(AffinSetThreadPriority(entry_, 1, c.priority), 1);
    EXPECT_EQ(AffinGetThreadPriority(entry_, 1), c.priority);
    EXPECT_EQ(KernelView(1), c.normalView);
    EXPECT_EQ(AffinGetThreadPriority(entry_, 0), THREAD_PRIORITY_NORMAL) << "the other thread";
    EXPECT_EQ(AffinGetProcessPriority(entry_), DWORD{NORMAL_PRIORITY_CLASS});
  }
  ASSERT_EQ(AffinSetProcessPriority(entry_, REALTIME_PRIORITY_CLASS), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.priority);
    ASSERT_EQ(AffinSetThreadPriority(entry_, 1, c.priority), 1);
    EXPECT_EQ(AffinGetThreadPriority(entry_, 1), c.priority);
    EXPECT_EQ(KernelView(1), c.realtimeView);
    EXPECT_EQ(AffinGetProcessPriority(entry_), DWORD{REALTIME_PRIORITY_CLASS});
  }
  ASSERT_EQ(AffinSetProcessPriority(entry_, NORMAL_PRIORITY_CLASS), 1);
}

TEST_F(PriorityTest, BoostOffIsBatchSchedulingAndBackOn) {
  DWORD disabled = 7;
  ASSERT_EQ(AffinSetPriorityBoost(entry_, 1), 1);
  ASSERT_EQ(AffinGetPriorityBoost(entry_, &disabled), 1);
  EXPECT_EQ(disabled, 1u);
  EXPECT_EQ(KernelView(0), "0 B 0");
  EXPECT_EQ(KernelView(1), "0 B 0");
  ASSERT_EQ(AffinSetPriorityBoost(entry_, 0), 1);
  ASSERT_EQ(AffinGetPriorityBoost(entry_, &disabled), 1);
  EXPECT_EQ(disabled, 0u);
  EXPECT_EQ(KernelView(1), "0 TS -");
}

}  // namespace
}  // namespace tesmar::affinity::testing
