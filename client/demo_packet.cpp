#include "demo_packet.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <new>
#include <string_view>

#include "packet/process_packet.h"

namespace tesmar::client {
namespace {

using packet::PacketHeader;
using packet::ProcessRecord;

constexpr uint32_t kAllDemoProcessors = 0xFFFF;

// Demo sessions normally come and go on the GUI's one thread; the lock only keeps the count
// honest should two threads ever open or close them at once.
std::mutex demoMutex;
std::byte* demoPacket = nullptr;
int32_t DemoRefCount = 0;

void FillDemoRecord(ProcessRecord& record, unsigned index) {
  // "DemoProcNbr%d.exe" with a one-digit index.
  std::u16string_view prefix = u"DemoProcNbr", suffix = u".exe";
  char16_t* end = std::copy(prefix.begin(), prefix.end(), record.ProcName);
  *end++ = char16_t(u'0' + index);
  std::copy(suffix.begin(), suffix.end(), end);
  record.ProcId = 2 * index + 11;
  record.ProcAffinity = kAllDemoProcessors;
  record.ThreadCount = static_cast<int32_t>(index + 1);
  std::fill_n(record.ThreadAffinity, index + 1, kAllDemoProcessors);
  record.Watched = 0;
}

// Everything the made-up processes do not say (priorities, ideal processors, boost) stays
// zero; the signature makes the demo packet a packet like any other.
std::byte* MakeDemoPacket() {
  auto* bytes = new (std::nothrow) std::byte[DemoPacketSize()]();
  if (!bytes) return nullptr;
  auto* header = reinterpret_cast<PacketHeader*>(bytes);
  std::copy(std::begin(packet::kSignature), std::end(packet::kSignature), header->Signature);
  header->ProcessorCount = kDemoProcessorCount;
  header->ProcessCount = kDemoProcessCount;
  auto* records = reinterpret_cast<ProcessRecord*>(bytes + packet::kHeaderSize);
  for (unsigned i = 0; i < kDemoProcessCount; ++i) FillDemoRecord(records[i], i);
  return bytes;
}

}  // namespace

std::size_t DemoPacketSize() {
  return packet::PacketSize(kDemoProcessCount);
}

std::byte* AcquireDemoPacket() {
  std::lock_guard lock(demoMutex);
  if (++DemoRefCount == 1) {
    demoPacket = MakeDemoPacket();
    if (!demoPacket) {
      --DemoRefCount;
      return nullptr;
    }
  }
  return demoPacket;
}

void ReleaseDemoPacket() {
  std::lock_guard lock(demoMutex);
  if (DemoRefCount == 0) return;
  if (--DemoRefCount == 0 && demoPacket) {
    delete[] demoPacket;
    demoPacket = nullptr;
  }
}

}  // namespace tesmar::client
