// The engine's one service-wide slot: the live packet, the snapshot it was built from, and the
// Data key it is written to. Only the worker thread touches it.
#pragma once

#include "Cpumask.h"
#include "packet_engine.h"
#include "platform/registry.h"

namespace tesmar::service {

struct LivePacketSlot {
  LivePacket* packet = nullptr;
  ProcessSnapshot* snapshot = nullptr;
  HKEY dataKey = nullptr;
};

LivePacketSlot& TheLivePacketSlot();

}  // namespace tesmar::service
