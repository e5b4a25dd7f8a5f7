#include "tesmarsr_test_support.h"

#include "platform/handles.h"
#include "platform/owned_handle.h"
#include "platform/process.h"

namespace tesmar::service::testing {

packet::ProcessRecord WatchedWithAffinity(packet::ProcessRecord record, uint32_t mask) {
  record.Watched = 1;
  record.ProcAffinity = mask;
  for (uint32_t k = 0; k < packet::FilledThreadSlots(record.ThreadCount); ++k) {
    record.ThreadAffinity[k] = mask;
    record.ThreadIdealProcessor[k] = packet::kNoIdealProcessor;
  }
  return record;
}

uint32_t LiveProcessAffinity(uint32_t processId) {
  platform::OwnedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  if (!process || !GetProcessAffinityMask(process.get(), &processMask, &systemMask)) return 0;
  return static_cast<uint32_t>(processMask);
}

}  // namespace tesmar::service::testing
