// The built-in service manager's costs that callers pay often: a status query (every
// TesmarConnect), a control's round trip to a running service's handler, and a whole start and
// stop of a service process.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/service.h"
#include "support/programs.h"
#include "support/temporary_machine_root.h"
#include "support/test_service.h"

namespace {

using tesmar::testing::TestServiceProgram;
using tesmar::testing::WaitForServiceState;

class InstalledTestService {
 public:
  InstalledTestService() {
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    std::string imagePath = "\"" + TestServiceProgram() + "\"";
    service_ = CreateServiceA(manager_, "BenchService", nullptr, SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                              imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  }
  ~InstalledTestService() {
    Stop();
    CloseServiceHandle(service_);
    CloseServiceHandle(manager_);
  }
  bool Start() {
    return StartServiceW(service_, 0, nullptr) && WaitForServiceState(service_, SERVICE_RUNNING);
  }
  void Stop() {
    SERVICE_STATUS status;
    if (ControlService(service_, SERVICE_CONTROL_STOP, &status)) {
      WaitForServiceState(service_, SERVICE_STOPPED);
    }
  }
  SC_HANDLE service() const { return service_; }

 private:
  tesmar::testing::TemporaryMachineRoot root_;
  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

void QueryRunningService(benchmark::State& state) {
  InstalledTestService installed;
  if (!installed.Start()) return state.SkipWithError("the test service did not start");
  SERVICE_STATUS status;
  for (auto _ : state) benchmark::DoNotOptimize(QueryServiceStatus(installed.service(), &status));
}
BENCHMARK(QueryRunningService);

void InterrogateRoundTrip(benchmark::State& state) {
  InstalledTestService installed;
  if (!installed.Start()) return state.SkipWithError("the test service did not start");
  SERVICE_STATUS status;
  for (auto _ : state) {
    if (!ControlService(installed.service(), SERVICE_CONTROL_INTERROGATE, &status)) {
      return state.SkipWithError("interrogate failed");
    }
  }
}
BENCHMARK(InterrogateRoundTrip);

void StartAndStop(benchmark::State& state) {
  InstalledTestService installed;
  for (auto _ : state) {
    if (!installed.Start()) return state.SkipWithError("the test service did not start");
    installed.Stop();
  }
}
BENCHMARK(StartAndStop)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
