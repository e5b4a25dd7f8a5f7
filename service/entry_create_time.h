// When the process behind a snapshot entry was created: what tells it from an earlier or later
// process with the same id and name. The entry is the system's process list read in place, and
// the list carries the time (platform/process.h), so asking costs nothing.
#pragma once

#include <cstdint>
#include <cstring>

#include "Cpumask.h"
#include "platform/process.h"

namespace tesmar::service {

inline int64_t EntryCreateTime(const ProcessEntry* entry) {
  int64_t createTime = 0;
  std::memcpy(&createTime,
              reinterpret_cast<const unsigned char*>(entry) + PROCESS_ENTRY_CREATE_TIME,
              sizeof createTime);
  return createTime;
}

}  // namespace tesmar::service
