// Round trips of the client library against a running tesmarsr on a machine with about 2,000
// threads: one TesmarRefresh, and a TesmarUpdate followed by a TesmarRefresh as the GUI's Apply
// does. The machine's own threads are topped up with spawned children of 200 threads each.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "TesmarApi.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/thread_host.h"

namespace {

using tesmar::testing::SpawnedThreadHost;

constexpr unsigned kWantedMachineThreads = 2000;
constexpr unsigned kThreadsPerChild = 200;
constexpr unsigned kWatchedChildren = 5;

unsigned MachineThreads(TesmarSession* session) {
  unsigned threads = 0;
  for (DWORD i = 0; i < TesmarGetProcessCount(session); ++i) {
    if (TesmarRecord* record = TesmarGetProcObject(session, i)) {
      threads += static_cast<unsigned>(TesmarGetThreadCount(record));
    }
  }
  return threads;
}

// A few children are watched, so every pass of the service applies settings as well.
bool WatchChildren(TesmarSession* session,
                   const std::vector<std::unique_ptr<SpawnedThreadHost>>& children) {
  if (TesmarRefresh(session) != 0) return false;
  for (std::size_t c = 0; c < children.size() && c < kWatchedChildren; ++c) {
    for (DWORD i = 0; i < TesmarGetProcessCount(session); ++i) {
      TesmarRecord* record = TesmarGetProcObject(session, i);
      if (record && TesmarGetProcId(record) == children[c]->pid()) TesmarSetWatchList(record, 1);
    }
  }
  return TesmarUpdate(session) == 0 && TesmarRefresh(session) == 0;
}

void Refresh(benchmark::State& state, TesmarSession* session) {
  for (auto _ : state) {
    if (TesmarRefresh(session) != 0) state.SkipWithError("TesmarRefresh failed");
  }
  state.counters["processes"] = TesmarGetProcessCount(session);
  state.counters["threads"] = MachineThreads(session);
}

void UpdateThenRefresh(benchmark::State& state, TesmarSession* session) {
  for (auto _ : state) {
    if (TesmarUpdate(session) != 0) state.SkipWithError("TesmarUpdate failed");
    if (TesmarRefresh(session) != 0) state.SkipWithError("TesmarRefresh failed");
  }
  state.counters["processes"] = TesmarGetProcessCount(session);
  state.counters["threads"] = MachineThreads(session);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tesmar::testing::TemporaryMachineRoot root;
  tesmar::testing::InstalledService service(tesmar::testing::TesmarsrProgram());
  // Running means published: the service reports running once its first pass is over.
  if (!service.Start()) {
    std::fprintf(stderr, "tesmarsr did not start\n");
    return 1;
  }
  TesmarSession* session = TesmarOpen(0);
  if (!session || TesmarConnect(session, nullptr) != 0 || TesmarRefresh(session) != 0) {
    std::fprintf(stderr, "no session with the service\n");
    return 1;
  }
  std::vector<std::unique_ptr<SpawnedThreadHost>> children;
  for (unsigned threads = MachineThreads(session); threads < kWantedMachineThreads;
       threads += kThreadsPerChild) {
    children.push_back(std::make_unique<SpawnedThreadHost>(
        std::min(kThreadsPerChild, kWantedMachineThreads - threads)));
  }
  if (!WatchChildren(session, children)) {
    std::fprintf(stderr, "could not watch the children\n");
    return 1;
  }

  benchmark::RegisterBenchmark("TesmarRefresh", Refresh, session)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("TesmarUpdateThenRefresh", UpdateThenRefresh, session)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  TesmarClose(session);
  return 0;
}
