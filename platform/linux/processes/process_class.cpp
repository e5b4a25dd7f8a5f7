#include "processes/process_class.h"

#include <vector>

#include "platform/errors.h"
#include "platform/process.h"
#include "processes/scheduling_map.h"

namespace tesmar::platform {

DWORD ReadProcessClass(ProcessSource& source, uint32_t processId, DWORD& priorityClass) {
  // The main thread comes first in a process's thread list: when it tells a class, the walk
  // would stop there, so it is asked without listing the threads.
  Scheduling main;
  if (source.GetScheduling(processId, main) == ERROR_SUCCESS) {
    if (auto known = ClassOf(main)) {
      priorityClass = *known;
      return ERROR_SUCCESS;
    }
  }
  std::vector<uint32_t> threads;
  DWORD error = source.ListThreads(processId, threads);
  if (error != ERROR_SUCCESS) return error;
  bool readAny = false;
  for (uint32_t thread : threads) {
    Scheduling scheduling;
    error = source.GetScheduling(thread, scheduling);
    if (error == ERROR_INVALID_PARAMETER) continue;  // the thread has ended
    if (error != ERROR_SUCCESS) return error;
    readAny = true;
    if (auto known = ClassOf(scheduling)) {
      priorityClass = *known;
      return ERROR_SUCCESS;
    }
  }
  if (!readAny) return ERROR_INVALID_PARAMETER;
  priorityClass = NORMAL_PRIORITY_CLASS;
  return ERROR_SUCCESS;
}

}  // namespace tesmar::platform
