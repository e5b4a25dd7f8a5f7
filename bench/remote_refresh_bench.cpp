// TesmarRefresh against another machine through ssh next to one against this machine, both
// with tesmarsr running and about 2,000 threads to publish, alternated in one loop: what the
// channel adds to a refresh. Beside it a single DWORD query, here and there: the cost of one
// round trip through ssh and the helper. The far machine is the tests' ssh machine (an sshd in
// namespaces of its own, support/ssh_machine.h; needs root), topped up with children of 200
// threads inside it until it has as many threads as this one.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Scmkit.h"
#include "TesmarApi.h"
#include "packet/data_key.h"
#include "platform/registry.h"
#include "support/installed_service.h"
#include "support/programs.h"
#include "support/ssh_machine.h"
#include "support/temporary_machine_root.h"
#include "support/wait_until.h"

namespace {

using Clock = std::chrono::steady_clock;
using tesmar::testing::SshMachine;

constexpr unsigned kThreadsPerChild = 200;

unsigned MachineThreads(TesmarSession* session) {
  unsigned threads = 0;
  for (DWORD i = 0; i < TesmarGetProcessCount(session); ++i) {
    if (TesmarRecord* record = TesmarGetProcObject(session, i)) {
      threads += static_cast<unsigned>(TesmarGetThreadCount(record));
    }
  }
  return threads;
}

double Milliseconds(Clock::duration elapsed) {
  return std::chrono::duration<double, std::milli>(elapsed).count();
}

struct Machines {
  TesmarSession* local;
  TesmarSession* far;
};

void RefreshHereAndThere(benchmark::State& state, Machines machines) {
  double local = 0, far = 0;
  for (auto _ : state) {
    auto begin = Clock::now();
    if (TesmarRefresh(machines.local) != 0) state.SkipWithError("local TesmarRefresh failed");
    auto middle = Clock::now();
    if (TesmarRefresh(machines.far) != 0) state.SkipWithError("remote TesmarRefresh failed");
    auto end = Clock::now();
    local += Milliseconds(middle - begin);
    far += Milliseconds(end - middle);
  }
  double n = static_cast<double>(state.iterations());
  state.counters["local_ms"] = local / n;
  state.counters["remote_ms"] = far / n;
  state.counters["channel_adds_ms"] = (far - local) / n;
  state.counters["local_threads"] = MachineThreads(machines.local);
  state.counters["remote_threads"] = MachineThreads(machines.far);
  state.counters["bytes"] = static_cast<double>(TesmarGetProcessCount(machines.far)) * 4188 + 24;
}

void DwordQueryHereAndThere(benchmark::State& state, HKEY local, HKEY far) {
  double here = 0, there = 0;
  for (auto _ : state) {
    DWORD value = 0, size = sizeof value;
    auto begin = Clock::now();
    RegQueryValueExW(local, tesmar::packet::kProcListSerialValue, nullptr, nullptr,
                     reinterpret_cast<BYTE*>(&value), &size);
    auto middle = Clock::now();
    size = sizeof value;
    if (RegQueryValueExW(far, tesmar::packet::kProcListSerialValue, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&value), &size) != 0) {
      state.SkipWithError("remote query failed");
    }
    auto end = Clock::now();
    here += Milliseconds(middle - begin) * 1000;
    there += Milliseconds(end - middle) * 1000;
  }
  double n = static_cast<double>(state.iterations());
  state.counters["local_us"] = here / n;
  state.counters["remote_us"] = there / n;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  SshMachine machine;
  if (!machine.skipReason().empty() || !machine.failure().empty()) {
    std::fprintf(stderr, "no ssh machine: %s%s\n", machine.skipReason().c_str(),
                 machine.failure().c_str());
    return 1;
  }
  tesmar::testing::TemporaryMachineRoot root;
  tesmar::testing::InstalledService service(tesmar::testing::TesmarsrProgram());
  if (!service.Start()) {
    std::fprintf(stderr, "tesmarsr did not start here\n");
    return 1;
  }
  SerSetupContext* setup = nullptr;
  if (SerSetupOpen(&setup, SshMachine::kMachineNarrow) != 0 ||
      SerSetupServiceInstall(setup, SERVICE_DEMAND_START, "KaltrixTesmar",
                             tesmar::testing::TesmarsrProgram().c_str()) != 0) {
    std::fprintf(stderr, "tesmarsr could not be installed there\n");
    return 1;
  }
  SerSetupServiceControl(setup, SERSETUP_CONTROL_START);
  Machines machines{TesmarOpen(0), TesmarOpen(0)};
  bool connected = tesmar::testing::WaitUntil(
      [&] {
        TesmarDisconnect(machines.far);
        return TesmarConnect(machines.far, SshMachine::kMachine) == 0;
      },
      std::chrono::seconds(60));
  if (!connected || TesmarConnect(machines.local, nullptr) != 0 ||
      TesmarRefresh(machines.local) != 0 || TesmarRefresh(machines.far) != 0) {
    std::fprintf(stderr, "no sessions with both services\n");
    return 1;
  }
  std::vector<SshMachine::Process> children;
  unsigned wanted = std::max(2000u, MachineThreads(machines.local));
  for (unsigned threads = MachineThreads(machines.far); threads < wanted;
       threads += kThreadsPerChild) {
    children.push_back(machine.StartInside(
        {tesmar::testing::BuildProgram("tesmar_thread_host"), std::to_string(kThreadsPerChild)}));
  }
  TesmarRefresh(machines.far);
  TesmarRefresh(machines.local);

  HKEY localRoot = nullptr, localData = nullptr, farRoot = nullptr, farData = nullptr;
  RegConnectRegistryW(nullptr, HKEY_LOCAL_MACHINE, &localRoot);
  RegOpenKeyExW(localRoot, tesmar::packet::kDataKeyPath, 0, KEY_READ, &localData);
  RegConnectRegistryW(SshMachine::kMachine, HKEY_LOCAL_MACHINE, &farRoot);
  RegOpenKeyExW(farRoot, tesmar::packet::kDataKeyPath, 0, KEY_READ, &farData);

  benchmark::RegisterBenchmark("TesmarRefresh/local_then_remote", RefreshHereAndThere, machines)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("DwordQuery/local_then_remote", DwordQueryHereAndThere, localData,
                               farData)
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RegCloseKey(localData);
  RegCloseKey(farData);
  RegCloseKey(localRoot);
  RegCloseKey(farRoot);
  TesmarClose(machines.local);
  TesmarClose(machines.far);
  SerSetupServiceControl(setup, SERSETUP_CONTROL_STOP);
  SerSetupServiceRemove(setup);
  SerSetupClose(setup);
  return 0;
}
