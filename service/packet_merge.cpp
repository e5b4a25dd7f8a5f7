// ServerPacketMerge: applying the watched records of a request to the live processes.
//
// The request is untrusted input (any program that may write the Data key writes it), so it is
// read only through its view: records that lie wholly inside the value, names bounded to their
// 32 units, a ThreadCount outside -1..256 taken as covering no thread.
#include "Cpumask.h"
#include "live_packet_slot.h"
#include "packet_engine.h"
#include "platform/handles.h"

namespace tesmar::service {
namespace {

using packet::ProcessRecord;

bool SameProcess(const ProcessRecord& live, const ProcessRecord& requested) {
  if (live.ProcId != requested.ProcId) return false;
  packet::TerminatedName requestedName = packet::TerminatedRecordName(requested);
  packet::TerminatedName liveName = packet::TerminatedRecordName(live);
  return lstrcmpW(liveName.data(), requestedName.data()) == 0;
}

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
}  // namespace tesmar::service

DWORD ServerPacketMerge(LivePacket* packet, const RequestPacket* request) noexcept {
  if (!packet || !request) return 1;
  auto& slot = tesmar::service::TheLivePacketSlot();
  // Records are matched to the snapshot entries they were built from; a packet whose snapshot
  // is gone has nothing to apply to.
  if (slot.packet != packet || !slot.snapshot) return 1;

  tesmar::packet::MutablePacketView live(packet, tesmar::packet::PacketSize(packet->ProcessCount));
  tesmar::packet::PacketView requested = request->View();
  uint32_t requestCount = requested.RecordCount();

  ProcessEntry* entry = AffinGetFirstProcess(slot.snapshot);
  for (uint32_t i = 0; i < live.RecordCount() && entry; ++i, entry = AffinGetNextProcess(entry)) {
    tesmar::packet::ProcessRecord& liveRecord = *live.RecordOrNull(i);
    for (uint32_t j = 0; j < requestCount; ++j) {
      const tesmar::packet::ProcessRecord& requestRecord = *requested.RecordOrNull(j);
      if (!tesmar::service::SameProcess(liveRecord, requestRecord)) continue;
      // Only 1 asks for the settings; any other mark leaves the process alone.
      if (requestRecord.Watched != 1) break;
      tesmar::service::Apply(liveRecord, requestRecord, entry);
    }
  }
  return 0;
}
