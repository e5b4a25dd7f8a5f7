// The service's pass next to `ps -eLo pid,tid,psr,ni`, in paired runs: for each load (threads on
// the machine, made up to that count by tesmar_thread_host children of 100 threads), each round
// times a snapshot with every thread's affinity and priority read through Cpumask, building the
// packet (ServerPacketOpen and ServerPacketClose), and ps listing the same threads, in an order
// that turns round by round, so that no case always runs after the same one. Prints the medians,
// each case's ratio to ps, and the cost per thread.
//
//   pass_speed_bench [--rounds N] [THREADS...]     (default: 7 rounds at 5000 and 20000)
//   pass_speed_bench --hold THREADS          makes the load and holds it until stdin closes
//   pass_speed_bench --once snapshot|build [PASSES]   PASSES passes (default 1) of one case, for
//                                            strace -c -f beside it: the second pass's calls are
//                                            those of 2 passes less those of 1 (a pass reuses what
//                                            the one before opened)
#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Cpumask.h"
#include "packet_engine.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "support/temporary_machine_root.h"
#include "support/thread_host.h"

namespace {

constexpr unsigned kThreadsPerChild = 100;

// Threads the machine runs now, counted in /proc.
unsigned ThreadsOnTheMachine() {
  unsigned threads = 0;
  DIR* proc = opendir("/proc");
  if (!proc) return 0;
  while (dirent* process = readdir(proc)) {
    if (process->d_name[0] < '0' || process->d_name[0] > '9') continue;
    std::string path = std::string("/proc/") + process->d_name + "/task";
    if (DIR* tasks = opendir(path.c_str())) {
      while (dirent* task = readdir(tasks)) threads += task->d_name[0] != '.';
      closedir(tasks);
    }
  }
  closedir(proc);
  return threads;
}

// Snapshot and every thread's affinity and priority; the threads seen.
long SnapshotWithEveryThread() {
  ProcessSnapshot* snapshot = AffinConstructProcesses();
  if (!snapshot) return -1;
  long threads = 0;
  for (ProcessEntry* entry = AffinGetFirstProcess(snapshot); entry;
       entry = AffinGetNextProcess(entry)) {
    DWORD count = AffinGetThreadCount(entry);
    for (DWORD index = 0; index < count; ++index) {
      volatile DWORD mask = AffinGetThreadAffinity(entry, index);
      volatile INT priority = AffinGetThreadPriority(entry, index);
      (void)mask;
      (void)priority;
    }
    threads += count;
  }
  AffinDestructProcesses(snapshot);
  return threads;
}

long BuildPacket(HKEY dataKey) {
  LivePacket* packet = ServerPacketOpen(dataKey);
  if (!packet) return -1;
  long processes = packet->ProcessCount;
  ServerPacketClose(packet);
  return processes;
}

long Ps() {
  FILE* pipe = popen("ps -eLo pid,tid,psr,ni", "r");
  if (!pipe) return -1;
  char chunk[65536];
  long lines = 0;
  while (size_t read = std::fread(chunk, 1, sizeof chunk, pipe)) {
    lines += std::count(chunk, chunk + read, '\n');
  }
  pclose(pipe);
  return lines - 1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Case {
  const char* name;
  std::function<long()> run;
  std::vector<double> milliseconds;
};

using Children = std::vector<std::unique_ptr<tesmar::testing::SpawnedThreadHost>>;

// Children of kThreadsPerChild threads until the machine runs about that many threads.
Children MakeLoad(unsigned wanted) {
  Children children;
  while (ThreadsOnTheMachine() + kThreadsPerChild / 2 < wanted) {
    auto child = std::make_unique<tesmar::testing::SpawnedThreadHost>();
    if (!child->start(kThreadsPerChild)) {
      std::fprintf(stderr, "could not start a child of %u threads\n", kThreadsPerChild);
      break;
    }
    children.push_back(std::move(child));
  }
  return children;
}

void MeasureAt(unsigned wanted, int rounds, HKEY dataKey) {
  Children children = MakeLoad(wanted);
  const unsigned threads = ThreadsOnTheMachine();
  std::vector<Case> cases = {
      {"snapshot + every thread's affinity and priority", SnapshotWithEveryThread, {}},
      {"building the packet (ServerPacketOpen)", [&] { return BuildPacket(dataKey); }, {}},
      {"ps -eLo pid,tid,psr,ni", Ps, {}}};
  for (Case& each : cases) each.run();  // warm caches once, untimed
  for (int round = 0; round < rounds; ++round) {
    for (size_t turn = 0; turn < cases.size(); ++turn) {
      Case& each = cases[(turn + static_cast<size_t>(round)) % cases.size()];
      auto begin = std::chrono::steady_clock::now();
      long result = each.run();
      std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - begin;
      if (result < 0) std::fprintf(stderr, "%s failed\n", each.name);
      each.milliseconds.push_back(took.count());
    }
  }
  const double ps = Median(cases.back().milliseconds);
  std::printf("\n%u threads on the machine (%zu children of %u), medians of %d paired rounds:\n",
              threads, children.size(), kThreadsPerChild, rounds);
  std::printf("  %-50s %9s %8s %12s\n", "work", "ms", "/ ps", "us a thread");
  for (const Case& each : cases) {
    double median = Median(each.milliseconds);
    std::printf("  %-50s %9.1f %8.3f %12.2f\n", each.name, median, median / ps,
                1000.0 * median / threads);
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  tesmar::testing::TemporaryMachineRoot root;
  HKEY dataKey = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data", 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &dataKey,
                      nullptr) != ERROR_SUCCESS) {
    std::fprintf(stderr, "no Data key\n");
    return 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "--hold") == 0) {
    Children children = MakeLoad(static_cast<unsigned>(std::atoi(argv[2])));
    std::printf("holding %u threads\n", ThreadsOnTheMachine());
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
  }
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--once") == 0) {
    bool build = std::strcmp(argv[2], "build") == 0;
    int passes = argc == 4 ? std::max(1, std::atoi(argv[3])) : 1;
    long result = 0;
    for (int pass = 0; pass < passes && result >= 0; ++pass) {
      result = build ? BuildPacket(dataKey) : SnapshotWithEveryThread();
    }
    RegCloseKey(dataKey);
    return result < 0 ? 1 : 0;
  }
  int rounds = 7;
  std::vector<unsigned> loads;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::max(5, std::atoi(argv[++i]));
    } else {
      loads.push_back(static_cast<unsigned>(std::strtoul(argv[i], nullptr, 10)));
    }
  }
  if (loads.empty()) loads = {5000, 20000};
  for (unsigned load : loads) MeasureAt(load, rounds, dataKey);
  RegCloseKey(dataKey);
  return 0;
}
