// ServerPacketOpen, ServerPacketClose and ServerPacketWrite: building the live packet from a
// snapshot and publishing it.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <vector>

#include "Cpumask.h"
#include "entry_create_time.h"
#include "live_packet_slot.h"
#include "packet/data_key.h"
#include "packet/publication.h"
#include "packet_engine.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "platform/utf16.h"
#include "published_identity.h"

namespace tesmar::service {

LivePacketSlot& TheLivePacketSlot() {
  static LivePacketSlot slot;
  return slot;
}

namespace {

using packet::ProcessRecord;

// At most 31 units and a NUL; the units after the NUL stay zero. A cut never keeps half of a
// surrogate pair.
void CopyName(ProcessRecord& record, LPCWSTR name) {
  if (!name) {
    std::memcpy(record.ProcName, packet::kIdleProcessName, sizeof packet::kIdleProcessName);
    return;
  }
  std::copy_n(name, platform::CutLength(name, packet::kProcNameUnits - 1), record.ProcName);
}

void FillRecord(ProcessRecord& record, const ProcessEntry* entry) {
  CopyName(record, AffinGetProcName(entry));
  record.ProcId = AffinGetProcId(entry);
  record.ProcAffinity = AffinGetProcessAffinity(entry);
  if (record.ProcAffinity == 0) record.ProcAffinity = AffinGetActiveProcessAffinity(entry);
  record.PriorityClass = AffinGetProcessPriority(entry);

  DWORD boostDisabled = 0;
  record.BoostQueryOk = AffinGetPriorityBoost(entry, &boostDisabled) ? 1 : 0;
  record.BoostDisabled = record.BoostQueryOk ? boostDisabled : 0;

  DWORD threadCount = AffinGetThreadCount(entry);
  if (threadCount > packet::MaxPacketThreads) {
    record.ThreadCount = packet::kTooManyThreads;
  } else {
    record.ThreadCount = static_cast<int32_t>(threadCount);
    for (DWORD k = 0; k < threadCount; ++k) {
      record.ThreadAffinity[k] = AffinGetThreadAffinity(entry, k);
      record.ThreadPriority[k] = AffinGetThreadPriority(entry, k);
    }
  }
  // Until a client chooses one, no thread is given an ideal processor.
  std::fill(std::begin(record.ThreadIdealProcessor), std::end(record.ThreadIdealProcessor),
            packet::kNoIdealProcessor);
  std::fill(std::begin(record.PrevIdealProcessor), std::end(record.PrevIdealProcessor),
            packet::kNoIdealProcessor);
  record.Watched = 0;
}

unsigned ProcessorCount() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors;
}

}  // namespace
}  // namespace tesmar::service

using tesmar::service::TheLivePacketSlot;

LivePacket* ServerPacketOpen(HKEY dataKey) noexcept {
  if (!dataKey) return nullptr;
  auto& slot = TheLivePacketSlot();
  slot.dataKey = dataKey;
  // One snapshot at a time: an older live packet that was never closed cannot keep its own.
  if (slot.snapshot) {
    AffinDestructProcesses(slot.snapshot);
    slot.snapshot = nullptr;
    slot.packet = nullptr;
  }

  ProcessSnapshot* snapshot = AffinConstructProcesses();
  if (!snapshot) return nullptr;
  auto count = static_cast<uint32_t>(std::max<LONG>(0, AffinGetProcessCount(snapshot)));
  // Zeroed: name units after the NUL and thread slots beyond ThreadCount stay 0.
  auto* packet = static_cast<LivePacket*>(std::calloc(1, tesmar::packet::PacketSize(count)));
  if (!packet) {
    AffinDestructProcesses(snapshot);
    return nullptr;
  }
  std::memcpy(packet->Signature, tesmar::packet::kSignature, sizeof packet->Signature);
  packet->ProcessorCount = tesmar::service::ProcessorCount();

  tesmar::packet::MutablePacketView view(packet, tesmar::packet::PacketSize(count));
  packet->ProcessCount = count;
  uint32_t filled = 0;
  for (ProcessEntry* entry = AffinGetFirstProcess(snapshot); entry && filled < count;
       entry = AffinGetNextProcess(entry)) {
    tesmar::service::FillRecord(*view.RecordOrNull(filled), entry);
    ++filled;
  }
  packet->ProcessCount = filled;

  slot.packet = packet;
  slot.snapshot = snapshot;
  return packet;
}

DWORD ServerPacketClose(LivePacket* packet) noexcept {
  if (!packet) return 1;
  auto& slot = TheLivePacketSlot();
  if (slot.packet == packet) {
    AffinDestructProcesses(slot.snapshot);
    slot.snapshot = nullptr;
    slot.packet = nullptr;
  }
  std::free(packet);
  return 0;
}

// Publishing also records what the records stood for: in the history, to judge the requests
// made from this publication, and in the Data key, for a service that starts again.
LSTATUS ServerPacketWrite(const LivePacket* packet) noexcept {
  if (!packet) return 1;
  auto& slot = TheLivePacketSlot();
  std::size_t size = tesmar::packet::PacketSize(packet->ProcessCount);
  LSTATUS written = RegSetValueExW(slot.dataKey, tesmar::packet::kProcListValue, 0, REG_BINARY,
                                   reinterpret_cast<const BYTE*>(packet), static_cast<DWORD>(size));
  // A packet that lost its snapshot cannot say which processes it holds.
  if (written != ERROR_SUCCESS || slot.packet != packet || !slot.snapshot) return written;
  try {
    std::vector<int64_t> createTimes;
    createTimes.reserve(packet->ProcessCount);
    for (ProcessEntry* entry = AffinGetFirstProcess(slot.snapshot);
         entry && createTimes.size() < packet->ProcessCount; entry = AffinGetNextProcess(entry)) {
      createTimes.push_back(tesmar::service::EntryCreateTime(entry));
    }
    // The pass under way, when the service numbers its passes, ends with this publication.
    DWORD serial = tesmar::packet::AnsweringPublication(
        tesmar::packet::ReadDwordValue(slot.dataKey, tesmar::packet::kProcListSerialValue)
            .value_or(0));
    tesmar::packet::PacketView published(packet, size);
    tesmar::service::TheHistory().Remember(
        tesmar::service::DescribePublication(serial, published, createTimes));
    return tesmar::service::WriteIdentity(slot.dataKey, serial, published, createTimes);
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}
