// What the tests of tesmarsr share beyond the test-support library: requests built from what
// the service published, and the kernel's affinity of a process.
#pragma once

#include <cstdint>

#include "packet/packet_view.h"
#include "packet/process_packet.h"

namespace tesmar::service::testing {

// A request that watches the process of the record with the given affinity for the process and
// every thread, leaving the threads' ideal processors alone.
packet::ProcessRecord WatchedWithAffinity(packet::ProcessRecord record, uint32_t mask);

// The affinity the platform reads for the process, 0 when it cannot be read.
uint32_t LiveProcessAffinity(uint32_t processId);

}  // namespace tesmar::service::testing
