#include "processes/scheduling_map.h"

#include <algorithm>

#include "platform/process.h"

namespace tesmar::platform {
namespace {
constexpr int kIdleLevelNice = 19;
constexpr int kTimeCriticalNice = -20;
constexpr int kRealtimeBase = 24;
constexpr int kRealtimeIdle = 16;
constexpr int kRealtimeTimeCritical = 31;

int BaseNice(DWORD priorityClass) {
  switch (priorityClass) {
    case IDLE_PRIORITY_CLASS:
      return 10;
    case HIGH_PRIORITY_CLASS:
      return -10;
    default:
      return 0;
  }
}

// Nice values between the bands (5, -5, 15 to 18, -15 to -19) go to the nearer class.
DWORD BandOf(int nice) {
  if (nice >= 5) return IDLE_PRIORITY_CLASS;
  if (nice <= -5) return HIGH_PRIORITY_CLASS;
  return NORMAL_PRIORITY_CLASS;
}

int NtBase(DWORD priorityClass) {
  switch (priorityClass) {
    case IDLE_PRIORITY_CLASS:
      return 4;
    case HIGH_PRIORITY_CLASS:
      return 13;
    case REALTIME_PRIORITY_CLASS:
      return kRealtimeBase;
    default:
      return 8;
  }
}
}  // namespace

bool IsPriorityClass(DWORD priorityClass) {
  return priorityClass == IDLE_PRIORITY_CLASS || priorityClass == NORMAL_PRIORITY_CLASS ||
         priorityClass == HIGH_PRIORITY_CLASS || priorityClass == REALTIME_PRIORITY_CLASS;
}

bool IsThreadPriority(DWORD priorityClass, int level) {
  if (level == THREAD_PRIORITY_IDLE || level == THREAD_PRIORITY_TIME_CRITICAL) return true;
  if (priorityClass == REALTIME_PRIORITY_CLASS) return level >= -7 && level <= 6;
  return level >= THREAD_PRIORITY_LOWEST && level <= THREAD_PRIORITY_HIGHEST;
}

Scheduling SchedulingFor(DWORD priorityClass, int level, bool boostDisabled) {
  Scheduling scheduling;
  if (priorityClass == REALTIME_PRIORITY_CLASS) {
    scheduling.policy = Scheduling::Policy::RoundRobin;
    scheduling.realtimePriority = level == THREAD_PRIORITY_IDLE            ? kRealtimeIdle
                                  : level == THREAD_PRIORITY_TIME_CRITICAL ? kRealtimeTimeCritical
                                                                           : kRealtimeBase + level;
    return scheduling;
  }
  scheduling.policy = boostDisabled ? Scheduling::Policy::Batch : Scheduling::Policy::Other;
  if (level == THREAD_PRIORITY_IDLE) {
    scheduling.nice = kIdleLevelNice;
  } else if (level == THREAD_PRIORITY_TIME_CRITICAL) {
    scheduling.nice = kTimeCriticalNice;
  } else {
    // Levels beyond +-2 exist in REALTIME only; a thread that leaves it keeps the nearest level
    // of its new class, inside that class's band.
    int inBand = std::clamp(level, THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_HIGHEST);
    scheduling.nice = BaseNice(priorityClass) - 2 * inBand;
  }
  return scheduling;
}

std::optional<DWORD> ClassOf(const Scheduling& scheduling) {
  if (scheduling.IsRealtime()) return REALTIME_PRIORITY_CLASS;
  if (scheduling.policy == Scheduling::Policy::Idle) return IDLE_PRIORITY_CLASS;
  if (scheduling.nice >= kIdleLevelNice || scheduling.nice <= kTimeCriticalNice)
    return std::nullopt;
  return BandOf(scheduling.nice);
}

int LevelOf(const Scheduling& scheduling) {
  if (scheduling.IsRealtime()) {
    int priority = scheduling.realtimePriority;
    if (priority <= kRealtimeIdle) return THREAD_PRIORITY_IDLE;
    if (priority >= kRealtimeTimeCritical) return THREAD_PRIORITY_TIME_CRITICAL;
    return std::clamp(priority - kRealtimeBase, -7, 6);
  }
  if (scheduling.policy == Scheduling::Policy::Idle) return THREAD_PRIORITY_IDLE;
  if (scheduling.nice >= kIdleLevelNice) return THREAD_PRIORITY_IDLE;
  if (scheduling.nice <= kTimeCriticalNice) return THREAD_PRIORITY_TIME_CRITICAL;
  int base = BaseNice(BandOf(scheduling.nice));
  // Two nice steps a level; an odd distance (set by another tool) rounds towards normal.
  int level = (base - scheduling.nice) / 2;
  return std::clamp(level, THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_HIGHEST);
}

int PriorityNumber(DWORD priorityClass, int level) {
  bool realtime = priorityClass == REALTIME_PRIORITY_CLASS;
  if (level == THREAD_PRIORITY_IDLE) return realtime ? kRealtimeIdle : 1;
  if (level == THREAD_PRIORITY_TIME_CRITICAL) return realtime ? kRealtimeTimeCritical : 15;
  return std::clamp(NtBase(priorityClass) + level, realtime ? 16 : 1, realtime ? 31 : 15);
}

}  // namespace tesmar::platform
