// The one table between classes and levels and nice values and policies.
#include <gtest/gtest.h>

#include "platform/process.h"
#include "processes/scheduling_map.h"

using namespace tesmar::platform;

namespace {
const DWORD kClasses[] = {IDLE_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS,
                          REALTIME_PRIORITY_CLASS};
const int kLevels[] = {-15, -2, -1, 0, 1, 2, 15};
}  // namespace

TEST(SchedulingMap, EveryClassAndLevelRoundTripsWithAndWithoutBoost) {
  for (DWORD priorityClass : kClasses) {
    for (int level : kLevels) {
      for (bool boostDisabled : {false, true}) {
        Scheduling scheduling = SchedulingFor(priorityClass, level, boostDisabled);
        EXPECT_EQ(LevelOf(scheduling), level) << priorityClass;
        bool shared = level == -15 || level == 15;
        if (!shared || priorityClass == REALTIME_PRIORITY_CLASS) {
          EXPECT_EQ(ClassOf(scheduling), priorityClass) << level;
        } else {
          EXPECT_EQ(ClassOf(scheduling), std::nullopt);
        }
      }
    }
  }
}

TEST(SchedulingMap, BandsAreDisjointAndBoostIsBatch) {
  EXPECT_EQ(SchedulingFor(IDLE_PRIORITY_CLASS, 2, false).nice, 6);
  EXPECT_EQ(SchedulingFor(NORMAL_PRIORITY_CLASS, -2, false).nice, 4);
  EXPECT_EQ(SchedulingFor(NORMAL_PRIORITY_CLASS, 2, false).nice, -4);
  EXPECT_EQ(SchedulingFor(HIGH_PRIORITY_CLASS, -2, false).nice, -6);
  EXPECT_EQ(SchedulingFor(NORMAL_PRIORITY_CLASS, 0, true).policy, Scheduling::Policy::Batch);
  Scheduling realtime = SchedulingFor(REALTIME_PRIORITY_CLASS, 1, true);
  EXPECT_EQ(realtime.policy, Scheduling::Policy::RoundRobin);  // boost has no meaning there
  EXPECT_EQ(realtime.realtimePriority, 25);
}

TEST(SchedulingMap, ValuesSetByOtherToolsGoToTheNearestClassAndLevel) {
  auto nice = [](int value) {
    Scheduling scheduling;
    scheduling.nice = value;
    return scheduling;
  };
  EXPECT_EQ(ClassOf(nice(5)), IDLE_PRIORITY_CLASS);
  EXPECT_EQ(LevelOf(nice(5)), 2);
  EXPECT_EQ(ClassOf(nice(17)), IDLE_PRIORITY_CLASS);
  EXPECT_EQ(LevelOf(nice(17)), -2);
  EXPECT_EQ(ClassOf(nice(-5)), HIGH_PRIORITY_CLASS);
  EXPECT_EQ(LevelOf(nice(3)), -1);
  Scheduling fifo;
  fifo.policy = Scheduling::Policy::Fifo;
  fifo.realtimePriority = 99;
  EXPECT_EQ(ClassOf(fifo), REALTIME_PRIORITY_CLASS);
  EXPECT_EQ(LevelOf(fifo), 15);
  fifo.realtimePriority = 1;
  EXPECT_EQ(LevelOf(fifo), -15);
}

TEST(SchedulingMap, PriorityNumbersFollowWindows) {
  EXPECT_EQ(PriorityNumber(NORMAL_PRIORITY_CLASS, 0), 8);
  EXPECT_EQ(PriorityNumber(HIGH_PRIORITY_CLASS, 2), 15);
  EXPECT_EQ(PriorityNumber(IDLE_PRIORITY_CLASS, -15), 1);
  EXPECT_EQ(PriorityNumber(REALTIME_PRIORITY_CLASS, -15), 16);
  EXPECT_EQ(PriorityNumber(REALTIME_PRIORITY_CLASS, 15), 31);
  EXPECT_FALSE(IsThreadPriority(NORMAL_PRIORITY_CLASS, 3));
  EXPECT_TRUE(IsThreadPriority(REALTIME_PRIORITY_CLASS, 6));
}
