#include "record_threads.h"

#include "packet/process_packet.h"

namespace tesmar::gui {

bool ThreadSlotsUnfilled(TesmarRecord* record) {
  if (!record) return false;
  // A record handle points at the record inside the session's copy.
  const auto* stored = reinterpret_cast<const packet::ProcessRecord*>(record);
  return stored->ThreadCount == packet::kTooManyThreads;
}

}  // namespace tesmar::gui
