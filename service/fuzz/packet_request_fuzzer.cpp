// libFuzzer target: any bytes as UpdateList, read with ServerPacketRead and merged with
// ServerPacketMerge into a fresh packet of the made-up machine. The request block is exactly as
// long as the value, so the sanitizers catch any read past it; the checks below catch a merge
// that corrupts the live packet.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_machine.h"
#include "packet/packet_view.h"
#include "packet_engine.h"
#include "platform/errors.h"

namespace {

struct FuzzSetup {
  std::shared_ptr<tesmar::platform::testing::MadeUpMachine> machine;
  HKEY dataKey;
};

FuzzSetup& Setup() {
  static FuzzSetup setup{tesmar::service::fuzzing::InstallFuzzMachine(),
                         tesmar::service::fuzzing::OpenFuzzDataKey()};
  if (!setup.dataKey) std::abort();
  return setup;
}

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSetup& setup = Setup();
  setup.machine->ClearCallLog();
  if (RegSetValueExW(setup.dataKey, u"UpdateList", 0, REG_BINARY, data, static_cast<DWORD>(size)) !=
      ERROR_SUCCESS) {
    std::abort();
  }
  RequestPacket* request = ServerPacketRead(setup.dataKey, u"UpdateList");
  if (!request) return 0;
  Require(request->length == size);

  LivePacket* packet = ServerPacketOpen(setup.dataKey);
  Require(packet != nullptr);
  uint32_t count = packet->ProcessCount;
  tesmar::packet::PacketView live(packet, tesmar::packet::PacketSize(count));
  int32_t threadCounts[16] = {};
  Require(count <= 16);
  for (uint32_t i = 0; i < count; ++i) threadCounts[i] = live.RecordOrNull(i)->ThreadCount;

  Require(ServerPacketMerge(packet, request) == 0);

  Require(live.IsWellFormed() && packet->ProcessCount == count);
  for (uint32_t i = 0; i < count; ++i) {
    const tesmar::packet::ProcessRecord& record = *live.RecordOrNull(i);
    Require(record.ThreadCount == threadCounts[i]);
    Require(record.Watched == 0 || record.Watched == 1);
    Require(tesmar::packet::RecordName(record).size() < tesmar::packet::kProcNameUnits);
  }
  RequestPacketFree(request);
  ServerPacketClose(packet);
  return 0;
}
