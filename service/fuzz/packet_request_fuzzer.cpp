// libFuzzer target: any bytes as a request, handled as the service handles one on the made-up
// machine (fuzz_machine.h says how an input is laid out):
//
// - the bytes as UpdateList merged directly with ServerPacketMerge into a fresh packet (a copy
//   that names no publication); the request block is exactly as long as the value, so the
//   sanitizers catch any read past it;
// - a pass publishes, then ProcList may be replaced by the input's bytes (a broken or edited
//   publication), UpdateListBase names a publication as the input chooses (the latest, an
//   earlier one, one never made, one describing other bytes, a broken value, or none), and the
//   request is taken in a pass of its own, raised and taken as the worker does or applied
//   directly; a refresh may follow.
//
// Every publication must be a whole packet of the machine's processes with their own thread
// counts, and no pass may apply any thread more than one record's worth of settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "fuzz_machine.h"
#include "packet/data_key.h"
#include "packet/packet_view.h"
#include "packet/publication.h"
#include "packet/request_base.h"
#include "packet_engine.h"
#include "platform/errors.h"

namespace {

using tesmar::packet::PacketView;
using tesmar::packet::RequestBase;
using tesmar::service::fuzzing::FuzzInput;
namespace fuzzing = tesmar::service::fuzzing;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

struct FuzzSetup {
  std::shared_ptr<tesmar::platform::testing::MadeUpMachine> machine;
  HKEY dataKey = nullptr;
  std::unique_ptr<tesmar::packet::PublicationCounter> counter;
  // Each process's thread count as the machine holds it.
  std::map<uint32_t, int32_t> threadCounts;
};

FuzzSetup& Setup() {
  static FuzzSetup* setup = [] {
    auto* made = new FuzzSetup;
    made->machine = fuzzing::InstallFuzzMachine();
    made->dataKey = fuzzing::OpenFuzzDataKey();
    if (!made->dataKey) std::abort();
    made->counter = std::make_unique<tesmar::packet::PublicationCounter>(made->dataKey);
    LivePacket* packet = ServerPacketOpen(made->dataKey);
    if (!packet) std::abort();
    PacketView view(packet, tesmar::packet::PacketSize(packet->ProcessCount));
    for (uint32_t i = 0; i < view.RecordCount(); ++i) {
      made->threadCounts[view.RecordOrNull(i)->ProcId] = view.RecordOrNull(i)->ThreadCount;
    }
    ServerPacketClose(packet);
    return made;
  }();
  return *setup;
}

// The records of a live packet or a publication keep the machine's processes and thread
// counts, marks of 0 or 1 and names within their units.
void RequireWholePacket(const FuzzSetup& setup, const PacketView& packet) {
  Require(packet.IsWellFormed() && packet.RecordCount() == setup.threadCounts.size());
  for (uint32_t i = 0; i < packet.RecordCount(); ++i) {
    const tesmar::packet::ProcessRecord& record = *packet.RecordOrNull(i);
    auto known = setup.threadCounts.find(record.ProcId);
    Require(known != setup.threadCounts.end() && known->second == record.ThreadCount);
    Require(record.Watched == 0 || record.Watched == 1);
    Require(tesmar::packet::RecordName(record).size() < tesmar::packet::kProcNameUnits);
  }
}

void RequirePublished(const FuzzSetup& setup) {
  RequestPacket* published = ServerPacketRead(setup.dataKey, tesmar::packet::kProcListValue);
  Require(published != nullptr);
  RequireWholePacket(setup, published->View());
  RequestPacketFree(published);
}

// One record applied sets a thread's scheduling three times at most (the class, the boost, the
// thread's priority); a record applied twice, or two records of one process, would set it more.
void RequireEachThreadAppliedOnce(const FuzzSetup& setup) {
  std::map<std::string, int> setsOfThread;
  for (const std::string& call : setup.machine->CallLog()) {
    if (call.rfind("SetScheduling ", 0) != 0) continue;
    std::string thread = call.substr(0, call.find(' ', sizeof "SetScheduling"));
    Require(++setsOfThread[thread] <= 3);
  }
  setup.machine->ClearCallLog();
}

template <typename Flow>
void Pass(FuzzSetup& setup, Flow flow) {
  Require(setup.counter->BeginPass() == ERROR_SUCCESS);
  Require(flow() == ERROR_SUCCESS);
  Require(setup.counter->EndPass() == ERROR_SUCCESS);
  RequireEachThreadAppliedOnce(setup);
}

void WriteValue(HKEY key, LPCWSTR name, std::span<const uint8_t> bytes) {
  if (RegSetValueExW(key, name, 0, REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size())) !=
      ERROR_SUCCESS) {
    std::abort();
  }
}

void MergeDirectly(FuzzSetup& setup, std::span<const uint8_t> updateList) {
  WriteValue(setup.dataKey, tesmar::packet::kUpdateListValue, updateList);
  RequestPacket* request = ServerPacketRead(setup.dataKey, tesmar::packet::kUpdateListValue);
  if (!request) return;
  Require(request->length == updateList.size());
  LivePacket* packet = ServerPacketOpen(setup.dataKey);
  Require(packet != nullptr);
  PacketView live(packet, tesmar::packet::PacketSize(packet->ProcessCount));
  Require(ServerPacketMerge(packet, request) == 0);
  RequireWholePacket(setup, live);
  RequestPacketFree(request);
  ServerPacketClose(packet);
  RequireEachThreadAppliedOnce(setup);
}

void WriteBase(const FuzzSetup& setup, uint8_t choices, DWORD earlier,
               std::span<const uint8_t> updateList) {
  DWORD latest = setup.counter->Published();
  auto named = [&](DWORD publication) {
    return RequestBase::Of(publication, updateList.data(), updateList.size());
  };
  RequestBase base;
  if (choices & fuzzing::kNameLatestPublication) {
    base = named(latest);
  } else if (choices & fuzzing::kNameUnknownPublication) {
    base = named(latest + 1000);
  } else if (choices & fuzzing::kBrokenBase) {
    const uint8_t broken[7] = {1, 2, 3, 4, 5, 6, 7};
    WriteValue(setup.dataKey, tesmar::packet::kUpdateListBaseValue, broken);
    return;
  } else if (choices & fuzzing::kNameEarlierPublication) {
    base = named(earlier);
  } else if (choices & fuzzing::kOtherBytesBase) {
    base = named(latest);
    base.fingerprint ^= 1;
  } else {
    RegDeleteValueW(setup.dataKey, tesmar::packet::kUpdateListBaseValue);
    return;
  }
  Require(tesmar::packet::WriteRequestBase(setup.dataKey, base) == ERROR_SUCCESS);
}

// UpdateFlag raised and taken as the worker takes it: the request is read while the flag is up.
void TakeAsTheService(FuzzSetup& setup) {
  Require(tesmar::packet::RaiseFlag(setup.dataKey, tesmar::packet::kUpdateFlagValue) ==
          ERROR_SUCCESS);
  UpdateRequest request;
  Require(tesmar::packet::TakeRaisedFlag(setup.dataKey, tesmar::packet::kUpdateFlagValue,
                                         *setup.counter,
                                         [&] { request = ReadUpdateRequest(setup.dataKey); }));
  Require(tesmar::packet::ReadDwordValue(setup.dataKey, tesmar::packet::kUpdateFlagValue) ==
          tesmar::packet::kFlagLowered);
  Require(ApplyUpdateRequest(setup.dataKey, request) == ERROR_SUCCESS);
  Require(setup.counter->EndPass() == ERROR_SUCCESS);
  RequireEachThreadAppliedOnce(setup);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSetup& setup = Setup();
  FuzzInput input = fuzzing::SplitFuzzInput(data, size);
  setup.machine->ClearCallLog();
  MergeDirectly(setup, input.updateList);

  const DWORD earlier = setup.counter->Published();
  Pass(setup, [&] { return RefreshProcList(setup.dataKey); });
  RequirePublished(setup);
  if (!input.procList.empty()) {
    WriteValue(setup.dataKey, tesmar::packet::kProcListValue, input.procList);
  }
  WriteBase(setup, input.choices, earlier, input.updateList);
  WriteValue(setup.dataKey, tesmar::packet::kUpdateListValue, input.updateList);
  if (input.choices & fuzzing::kTakeAsTheService) {
    TakeAsTheService(setup);
  } else {
    Pass(setup, [&] { return ApplyUpdateList(setup.dataKey); });
  }
  // A request that is no packet publishes nothing; any other is answered by a publication.
  if (PacketView(input.updateList.data(), input.updateList.size()).HasSignature() ||
      input.procList.empty()) {
    RequirePublished(setup);
  }
  if (input.choices & fuzzing::kRefreshAfter) {
    Pass(setup, [&] { return RefreshProcList(setup.dataKey); });
    RequirePublished(setup);
  }
  return 0;
}
