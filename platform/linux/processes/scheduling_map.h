// The one table between Windows priority classes and thread priority levels and Linux nice
// values and scheduling policies (README.md, "Priorities on Linux").
//
//   class     thread level -15  -2   -1    0    1    2   15
//   IDLE      (64)          19   14   12   10    8    6  -20    nice, SCHED_OTHER
//   NORMAL    (32)          19    4    2    0   -2   -4  -20    nice, SCHED_OTHER
//   HIGH      (128)         19   -6   -8  -10  -12  -14  -20    nice, SCHED_OTHER
//   REALTIME  (256)         16   22   23   24   25   26   31    SCHED_RR priority
//
// The three nice bands are disjoint, so a thread's nice value tells its class and its level at
// once and every pair reads back as it was set. Priority boost disabled is SCHED_BATCH at the same
// nice value. Values set by other tools map onto the nearest class and level.
#pragma once

#include <optional>

#include "platform/process_source.h"
#include "platform/win32_types.h"

namespace tesmar::platform {

bool IsPriorityClass(DWORD priorityClass);
bool IsThreadPriority(DWORD priorityClass, int level);

Scheduling SchedulingFor(DWORD priorityClass, int level, bool boostDisabled);

// The class a thread's scheduling tells; none for the levels shared by every class (nice 19 and
// -20 belong to -15 and 15 of any class but REALTIME).
std::optional<DWORD> ClassOf(const Scheduling& scheduling);

// The thread priority level, read within the class the scheduling tells.
int LevelOf(const Scheduling& scheduling);

// The NT priority number (1..31) of a class and level, as the base priority of a process entry.
int PriorityNumber(DWORD priorityClass, int level);

}  // namespace tesmar::platform
