// ServerPacketMerge and MergeSelection: applying the chosen request records to the live
// processes (request_selection.h says which are chosen).
//
// The request is untrusted input (any program that may write the Data key writes it), so it is
// read only through its view: records that lie wholly inside the value, names bounded to their
// 32 units.
#include "Cpumask.h"
#include "entry_create_time.h"
#include "live_packet_slot.h"
#include "packet_engine.h"
#include "request_selection.h"

namespace tesmar::service {
namespace {

using packet::ProcessRecord;

// The fixed order: process affinity, priority class, boost, then per thread its affinity,
// priority and ideal processor. The record keeps the requested masks and thread priorities even
// where the platform refuses them; a refused class or boost keeps the value as built.
void Apply(ProcessRecord& live, const ProcessRecord& requested, const ProcessEntry* entry) {
  live.Watched = 1;
  uint32_t builtClass = live.PriorityClass;
  uint32_t builtBoostDisabled = live.BoostDisabled;
  live.ProcAffinity = requested.ProcAffinity;
  live.PriorityClass = requested.PriorityClass;
  live.BoostDisabled = requested.BoostDisabled;

  if (!AffinSetProcessAffinity(entry, live.ProcAffinity)) {
    AffinSetActiveProcessAffinity(entry, live.ProcAffinity);
  }
  if (!AffinSetProcessPriority(entry, live.PriorityClass)) live.PriorityClass = builtClass;
  if (!AffinSetPriorityBoost(entry, live.BoostDisabled)) live.BoostDisabled = builtBoostDisabled;

  if (live.ThreadCount == packet::kTooManyThreads) return;
  uint32_t liveThreads = packet::FilledThreadSlots(live.ThreadCount);
  uint32_t requestedThreads = packet::AddressableThreadSlots(requested.ThreadCount);
  for (uint32_t k = 0; k < liveThreads; ++k) {
    if (k < requestedThreads) {
      live.ThreadAffinity[k] = requested.ThreadAffinity[k];
      live.ThreadPriority[k] = requested.ThreadPriority[k];
      live.ThreadIdealProcessor[k] = requested.ThreadIdealProcessor[k];
    } else {
      // A thread the request did not know of follows the process mask; its priority is set
      // again as built and its ideal processor is left as the live record holds it.
      live.ThreadAffinity[k] = live.ProcAffinity;
    }
    AffinSetThreadAffinity(entry, k, live.ThreadAffinity[k]);
    AffinSetThreadPriority(entry, k, live.ThreadPriority[k]);
    live.PrevIdealProcessor[k] =
        AffinSetThreadIdealProcessor(entry, k, live.ThreadIdealProcessor[k]);
  }
}

}  // namespace

DWORD MergeSelection(LivePacket* packet, RequestSelection& selection) {
  if (!packet) return 1;
  auto& slot = TheLivePacketSlot();
  // Records are matched to the snapshot entries they were built from; a packet whose snapshot
  // is gone has nothing to apply to.
  if (slot.packet != packet || !slot.snapshot) return 1;
  packet::MutablePacketView live(packet, packet::PacketSize(packet->ProcessCount));
  ProcessEntry* entry = AffinGetFirstProcess(slot.snapshot);
  for (uint32_t i = 0; i < live.RecordCount() && entry; ++i, entry = AffinGetNextProcess(entry)) {
    packet::ProcessRecord& liveRecord = *live.RecordOrNull(i);
    const packet::ProcessRecord* chosen = selection.For(liveRecord, EntryCreateTime(entry));
    // Only 1 asks for the settings; any other mark leaves the process alone.
    if (chosen && chosen->Watched == 1) Apply(liveRecord, *chosen, entry);
  }
  return 0;
}

}  // namespace tesmar::service

// The request as a client's whole copy of some publication it does not name: each process is
// given its last record, when the client can only have seen that process.
DWORD ServerPacketMerge(LivePacket* packet, const RequestPacket* request) noexcept {
  if (!packet || !request) return 1;
  try {
    tesmar::service::RequestSelection selection;
    selection.AddAll(request->View(), tesmar::service::TheHistory());
    return tesmar::service::MergeSelection(packet, selection);
  } catch (...) {
    return 1;  // no memory for the selection: nothing is applied
  }
}
