// Eight operators at once against a running tesmarsr: each of 8 clients sends 100 requests that
// change only its own process, from a copy it never refreshes (support/concurrent_clients.h).
// Besides the time the 800 requests take, the counters say what became of them: passes of the
// service that took a request (800 when none is lost), requests refused, and processes that
// ended with their own client's last setting (8 when no request was reverted).

#include <benchmark/benchmark.h>

#include <cstdio>

#include "support/concurrent_clients.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"

namespace {

constexpr unsigned kClients = 8;
constexpr unsigned kRequestsPerClient = 100;

void EightClientsHundredRequests(benchmark::State& state) {
  tesmar::testing::ConcurrentClientsReport report;
  double passes = 0, refused = 0, held = 0;
  for (auto _ : state) {
    state.PauseTiming();
    tesmar::testing::TemporaryMachineRoot root;
    tesmar::testing::InstalledService service(tesmar::testing::TesmarsrProgram());
    if (!service.Start()) {
      state.SkipWithError("tesmarsr did not start");
      break;
    }
    state.ResumeTiming();
    if (!tesmar::testing::RunConcurrentClients(kClients, kRequestsPerClient, report)) {
      state.SkipWithError("the clients could not be set up");
      break;
    }
    state.PauseTiming();
    passes += report.passes;
    refused += report.refused;
    held += report.processesWithLastSetting;
    state.SetIterationTime(report.sending.count());
    state.ResumeTiming();
  }
  double rounds = static_cast<double>(state.iterations());
  state.counters["requests"] = kClients * kRequestsPerClient;
  state.counters["passes_taking_a_request"] = passes / rounds;
  state.counters["refused"] = refused / rounds;
  state.counters["processes_with_last_setting"] = held / rounds;
}

}  // namespace

BENCHMARK(EightClientsHundredRequests)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

BENCHMARK_MAIN();
