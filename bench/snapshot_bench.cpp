// A snapshot of the machine and every thread's affinity and priority read through Cpumask, next
// to `ps -eLo pid,tid,psr,ni` listing the same threads, on a machine where a child holds about
// 5,000 threads. The breakdown cases show where the time of the whole pass goes. At the end the
// ratio of the whole pass to ps is printed (the goal: a quarter or less).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Cpumask.h"
#include "platform/handles.h"
#include "support/thread_host.h"

namespace {

constexpr unsigned kHostThreads = 5000;

struct SnapshotDeleter {
  void operator()(ProcessSnapshot* snapshot) const { AffinDestructProcesses(snapshot); }
};
using SnapshotPointer = std::unique_ptr<ProcessSnapshot, SnapshotDeleter>;

int64_t CountThreads(const ProcessSnapshot* snapshot) {
  int64_t threads = 0;
  for (ProcessEntry* entry = AffinGetFirstProcess(snapshot); entry;
       entry = AffinGetNextProcess(entry)) {
    threads += AffinGetThreadCount(entry);
  }
  return threads;
}

void SnapshotWithEveryThread(benchmark::State& state) {
  int64_t threads = 0;
  for (auto _ : state) {
    ProcessSnapshot* snapshot = AffinConstructProcesses();
    if (!snapshot) {
      state.SkipWithError("the snapshot failed");
      return;
    }
    threads = 0;
    for (ProcessEntry* entry = AffinGetFirstProcess(snapshot); entry;
         entry = AffinGetNextProcess(entry)) {
      DWORD threadCount = AffinGetThreadCount(entry);
      for (DWORD index = 0; index < threadCount; ++index) {
        benchmark::DoNotOptimize(AffinGetThreadAffinity(entry, index));
        benchmark::DoNotOptimize(AffinGetThreadPriority(entry, index));
      }
      threads += threadCount;
    }
    AffinDestructProcesses(snapshot);
  }
  state.counters["threads"] = static_cast<double>(threads);
  state.SetItemsProcessed(state.iterations() * threads);
}
BENCHMARK(SnapshotWithEveryThread)->Unit(benchmark::kMillisecond)->UseRealTime();

void PsThreadListing(benchmark::State& state) {
  char chunk[65536];
  for (auto _ : state) {
    FILE* pipe = popen("ps -eLo pid,tid,psr,ni", "r");
    if (!pipe) {
      state.SkipWithError("ps could not be started");
      return;
    }
    while (std::fread(chunk, 1, sizeof chunk, pipe) > 0) {
    }
    pclose(pipe);
  }
}
BENCHMARK(PsThreadListing)->Unit(benchmark::kMillisecond)->UseRealTime();

// The breakdown: the snapshot alone, then each per-thread read alone over one snapshot.
void SnapshotAlone(benchmark::State& state) {
  for (auto _ : state) {
    ProcessSnapshot* snapshot = AffinConstructProcesses();
    benchmark::DoNotOptimize(snapshot);
    AffinDestructProcesses(snapshot);
  }
}
BENCHMARK(SnapshotAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

template <typename Read>
void EveryThreadOfOneSnapshot(benchmark::State& state, Read read) {
  SnapshotPointer snapshot(AffinConstructProcesses());
  if (!snapshot) {
    state.SkipWithError("the snapshot failed");
    return;
  }
  for (auto _ : state) {
    for (ProcessEntry* entry = AffinGetFirstProcess(snapshot.get()); entry;
         entry = AffinGetNextProcess(entry)) {
      DWORD threadCount = AffinGetThreadCount(entry);
      for (DWORD index = 0; index < threadCount; ++index) {
        benchmark::DoNotOptimize(read(entry, index));
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * CountThreads(snapshot.get()));
}

void ThreadAffinityReads(benchmark::State& state) {
  EveryThreadOfOneSnapshot(state, AffinGetThreadAffinity);
}
BENCHMARK(ThreadAffinityReads)->Unit(benchmark::kMillisecond)->UseRealTime();

void ThreadPriorityReads(benchmark::State& state) {
  EveryThreadOfOneSnapshot(state, AffinGetThreadPriority);
}
BENCHMARK(ThreadPriorityReads)->Unit(benchmark::kMillisecond)->UseRealTime();

void ThreadHandleOpenAndClose(benchmark::State& state) {
  EveryThreadOfOneSnapshot(state, [](const ProcessEntry* entry, DWORD index) {
    HANDLE thread = AffinGetThreadHandle(entry, index);
    if (thread) CloseHandle(thread);
    return thread;
  });
}
BENCHMARK(ThreadHandleOpenAndClose)->Unit(benchmark::kMillisecond)->UseRealTime();

// The console report, and the ratio of the whole pass to ps once every case has run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // With repetitions, the median stands for the case.
      bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if ((single || median) && !run.error_occurred) {
        realTimes_[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto pass = realTimes_.find("SnapshotWithEveryThread");
    auto ps = realTimes_.find("PsThreadListing");
    if (pass != realTimes_.end() && ps != realTimes_.end() && ps->second > 0) {
      std::printf("Cpumask pass / ps = %.3f (goal: 0.25 or less)\n", pass->second / ps->second);
    }
  }

 private:
  std::map<std::string, double> realTimes_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  tesmar::testing::SpawnedThreadHost host(kHostThreads);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
