// The packet engine on a box of about 500 processes and 5,000 threads: what the box runs plus
// 410 spawned tesmar_thread_host children of 12 threads each. Building and writing ProcList, and
// merging a request whose 50 watched records are spawned children.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "packet/packet_view.h"
#include "packet_engine.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "support/temporary_machine_root.h"
#include "support/thread_host.h"

namespace {

constexpr int kChildren = 410;
constexpr int kThreadsPerChild = 12;
constexpr int kWatched = 50;

struct Machine {
  tesmar::testing::TemporaryMachineRoot root;
  std::vector<std::unique_ptr<tesmar::testing::SpawnedThreadHost>> children;
  HKEY dataKey = nullptr;

  Machine() {
    for (int i = 0; i < kChildren; ++i) {
      auto child = std::make_unique<tesmar::testing::SpawnedThreadHost>();
      if (!child->start(kThreadsPerChild)) break;
      children.push_back(std::move(child));
    }
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data", 0, nullptr,
                    REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &dataKey, nullptr);
  }
  ~Machine() { RegCloseKey(dataKey); }
};

Machine& TheMachine() {
  static Machine machine;
  return machine;
}

void CountPacket(benchmark::State& state, const LivePacket* packet) {
  tesmar::packet::PacketView view(packet, tesmar::packet::PacketSize(packet->ProcessCount));
  double threads = 0;
  for (uint32_t i = 0; i < view.RecordCount(); ++i) {
    int32_t count = view.RecordOrNull(i)->ThreadCount;
    threads += count < 0 ? 257 : count;
  }
  state.counters["processes"] = view.RecordCount();
  state.counters["threads"] = threads;
  state.counters["bytes"] = static_cast<double>(view.Length());
}

void BM_BuildPacket(benchmark::State& state) {
  Machine& machine = TheMachine();
  for (auto _ : state) {
    LivePacket* packet = ServerPacketOpen(machine.dataKey);
    if (!packet) {
      state.SkipWithError("no packet");
      return;
    }
    if (state.iterations() == 0) CountPacket(state, packet);
    ServerPacketClose(packet);
  }
}
BENCHMARK(BM_BuildPacket)->Unit(benchmark::kMillisecond);

void BM_BuildAndWritePacket(benchmark::State& state) {
  Machine& machine = TheMachine();
  for (auto _ : state) {
    LivePacket* packet = ServerPacketOpen(machine.dataKey);
    if (!packet || ServerPacketWrite(packet) != ERROR_SUCCESS) {
      state.SkipWithError("no packet written");
      ServerPacketClose(packet);
      return;
    }
    ServerPacketClose(packet);
  }
}
BENCHMARK(BM_BuildAndWritePacket)->Unit(benchmark::kMillisecond);

// A request as a client would send it: the published packet with 50 children watched at the
// settings they have (so the box is not disturbed), their threads on both processors.
RequestPacket* FiftyWatchedRequest(Machine& machine) {
  LivePacket* packet = ServerPacketOpen(machine.dataKey);
  if (!packet) return nullptr;
  tesmar::packet::MutablePacketView view(packet, tesmar::packet::PacketSize(packet->ProcessCount));
  int watched = 0;
  for (int c = 0; c < kWatched && c < static_cast<int>(machine.children.size()); ++c) {
    auto pid = static_cast<uint32_t>(machine.children[c]->pid());
    for (uint32_t i = 0; i < view.RecordCount(); ++i) {
      tesmar::packet::ProcessRecord& record = *view.RecordOrNull(i);
      if (record.ProcId != pid) continue;
      record.Watched = 1;
      ++watched;
    }
  }
  ServerPacketWrite(packet);
  ServerPacketClose(packet);
  if (watched != kWatched) return nullptr;
  return ServerPacketRead(machine.dataKey, u"ProcList");
}

void BM_MergeFiftyWatched(benchmark::State& state) {
  Machine& machine = TheMachine();
  RequestPacket* request = FiftyWatchedRequest(machine);
  if (!request) {
    state.SkipWithError("no request with 50 watched children");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    LivePacket* packet = ServerPacketOpen(machine.dataKey);
    state.ResumeTiming();
    ServerPacketMerge(packet, request);
    state.PauseTiming();
    ServerPacketClose(packet);
    state.ResumeTiming();
  }
  state.counters["watched"] = kWatched;
  RequestPacketFree(request);
}
BENCHMARK(BM_MergeFiftyWatched)->Unit(benchmark::kMillisecond);

// The whole UpdateFlag pass: read the request, build, merge, write, close.
void BM_ApplyUpdateListFiftyWatched(benchmark::State& state) {
  Machine& machine = TheMachine();
  RequestPacket* request = FiftyWatchedRequest(machine);
  if (!request) {
    state.SkipWithError("no request with 50 watched children");
    return;
  }
  RegSetValueExW(machine.dataKey, u"UpdateList", 0, REG_BINARY,
                 reinterpret_cast<const BYTE*>(request->bytes),
                 static_cast<DWORD>(request->length));
  RequestPacketFree(request);
  for (auto _ : state) ApplyUpdateList(machine.dataKey);
}
BENCHMARK(BM_ApplyUpdateListFiftyWatched)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
