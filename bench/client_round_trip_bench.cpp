// Round trips of the client library against a running tesmarsr on a machine with about 2,000
// threads: one TesmarRefresh, and a TesmarUpdate followed by a TesmarRefresh as the GUI's Apply
// does. The machine's own threads are topped up with spawned children of 200 threads each.
// Each benchmark also reports its slowest round and how many rounds outlasted the client's
// 1,000 ms longest wait; at the end, tesmarsr's peak memory (VmHWM).
//
//   client_round_trip_bench [--threads N] [--per-child N] [Google Benchmark options]
//   (default: 2,000 threads, children of 200; children of 12 make a ProcList of megabytes)

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "TesmarApi.h"
#include "packet/data_key.h"
#include "platform/service_history.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/thread_host.h"

namespace {

using tesmar::testing::SpawnedThreadHost;

unsigned wantedMachineThreads = 2000;
constexpr double kCeilingMilliseconds = 1000;
unsigned threadsPerChild = 200;
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

int ServiceProcessId() {
  return tesmar::platform::RunningServiceProcessId(tesmar::packet::kServiceName);
}

// The processor time tesmarsr's threads have run so far, in nanoseconds (the first field of each
// thread's schedstat), so that a round's cost is told from its waits for a busy machine.
double ServiceCpuNanoseconds() {
  double total = 0;
  std::error_code error;
  std::string tasks = "/proc/" + std::to_string(ServiceProcessId()) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream schedstat(task.path() / "schedstat");
    double running = 0;
    if (schedstat >> running) total += running;
  }
  return total;
}

// The slowest round, the rounds past the ceiling and tesmarsr's processor time a round, as
// counters.
class RoundTimes {
 public:
  RoundTimes() : serviceCpuAtStart_(ServiceCpuNanoseconds()) {}
  void Start() { begin_ = std::chrono::steady_clock::now(); }
  void Stop() {
    std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - begin_;
    slowest_ = std::max(slowest_, took.count());
    if (took.count() > kCeilingMilliseconds) ++overCeiling_;
  }
  void Report(benchmark::State& state, TesmarSession* session) const {
    state.counters["processes"] = TesmarGetProcessCount(session);
    state.counters["threads"] = MachineThreads(session);
    state.counters["slowest_ms"] = slowest_;
    state.counters["over_1000ms"] = overCeiling_;
    double rounds = static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["service_cpu_ms"] =
        (ServiceCpuNanoseconds() - serviceCpuAtStart_) / 1e6 / rounds;
  }

 private:
  std::chrono::steady_clock::time_point begin_;
  double slowest_ = 0;
  unsigned overCeiling_ = 0;
  double serviceCpuAtStart_;
};

void Refresh(benchmark::State& state, TesmarSession* session) {
  RoundTimes times;
  for (auto _ : state) {
    times.Start();
    if (TesmarRefresh(session) != 0) state.SkipWithError("TesmarRefresh failed");
    times.Stop();
  }
  times.Report(state, session);
}

void UpdateThenRefresh(benchmark::State& state, TesmarSession* session) {
  RoundTimes times;
  for (auto _ : state) {
    times.Start();
    if (TesmarUpdate(session) != 0) state.SkipWithError("TesmarUpdate failed");
    if (TesmarRefresh(session) != 0) state.SkipWithError("TesmarRefresh failed");
    times.Stop();
  }
  times.Report(state, session);
}

// The service process's peak resident memory, "VmHWM: ... kB" of its status.
std::string PeakMemoryOfTheService() {
  std::ifstream status("/proc/" + std::to_string(ServiceProcessId()) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return line;
  }
  return "unknown";
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc;) {
    unsigned* option = std::strcmp(argv[i], "--threads") == 0     ? &wantedMachineThreads
                       : std::strcmp(argv[i], "--per-child") == 0 ? &threadsPerChild
                                                                  : nullptr;
    if (!option) {
      ++i;
      continue;
    }
    *option = std::max(1ul, std::strtoul(argv[i + 1], nullptr, 10));
    std::copy(argv + i + 2, argv + argc, argv + i);
    argc -= 2;
  }
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
  for (unsigned threads = MachineThreads(session); threads < wantedMachineThreads;
       threads += threadsPerChild) {
    children.push_back(std::make_unique<SpawnedThreadHost>(
        std::min(threadsPerChild, wantedMachineThreads - threads)));
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
  std::printf("tesmarsr peak memory: %s\n", PeakMemoryOfTheService().c_str());
  TesmarClose(session);
  return 0;
}
