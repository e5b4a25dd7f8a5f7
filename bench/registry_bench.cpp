// The registry under the load of the service and its clients: the service replaces a ~2 MB
// ProcList (about 500 processes) and clients read it several times a second; flags are DWORD
// writes; a client's wait ends when the service's write lands. Each case runs on a fresh
// machine root of its own, the way the service sees one.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/threading.h"
#include "support/temporary_machine_root.h"

using tesmar::testing::TemporaryMachineRoot;

namespace {
constexpr DWORD kPacketBytes = 2u << 20;
const char16_t kDataPath[] = u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data";

HKEY OpenData() {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDataPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                  nullptr);
  return key;
}

void SetPacket(HKEY key, const std::vector<BYTE>& packet, benchmark::State& state) {
  if (RegSetValueExW(key, u"ProcList", 0, REG_BINARY, packet.data(),
                     static_cast<DWORD>(packet.size())) != ERROR_SUCCESS) {
    state.SkipWithError("RegSetValueExW failed");
  }
}

void BM_SetPacket(benchmark::State& state) {
  TemporaryMachineRoot root;
  HKEY key = OpenData();
  std::vector<BYTE> packet(kPacketBytes, 0x5A);
  for (auto _ : state) {
    packet[0]++;
    SetPacket(key, packet, state);
  }
  state.SetBytesProcessed(state.iterations() * kPacketBytes);
  RegCloseKey(key);
}
BENCHMARK(BM_SetPacket)->Unit(benchmark::kMillisecond);

// What TesmarRefresh does after its wait: ask the size, then read.
void BM_QueryPacket(benchmark::State& state) {
  TemporaryMachineRoot root;
  HKEY key = OpenData();
  std::vector<BYTE> packet(kPacketBytes, 0x5A);
  SetPacket(key, packet, state);
  std::vector<BYTE> buffer;
  for (auto _ : state) {
    DWORD size = 0;
    RegQueryValueExW(key, u"ProcList", nullptr, nullptr, nullptr, &size);
    buffer.resize(size);
    if (RegQueryValueExW(key, u"ProcList", nullptr, nullptr, buffer.data(), &size) !=
        ERROR_SUCCESS) {
      state.SkipWithError("RegQueryValueExW failed");
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * kPacketBytes);
  RegCloseKey(key);
}
BENCHMARK(BM_QueryPacket)->Unit(benchmark::kMillisecond);

// A client reading while the service keeps replacing the value in another thread.
void BM_QueryPacketWhileReplaced(benchmark::State& state) {
  TemporaryMachineRoot root;
  HKEY key = OpenData();
  std::vector<BYTE> packet(kPacketBytes, 0x5A);
  SetPacket(key, packet, state);
  std::atomic<bool> stop{false};
  std::thread service([&] {
    HKEY own = OpenData();
    std::vector<BYTE> next(kPacketBytes, 0x33);
    while (!stop) {
      RegSetValueExW(own, u"ProcList", 0, REG_BINARY, next.data(), kPacketBytes);
      Sleep(100);
    }
    RegCloseKey(own);
  });
  std::vector<BYTE> buffer(kPacketBytes);
  for (auto _ : state) {
    DWORD size = kPacketBytes;
    if (RegQueryValueExW(key, u"ProcList", nullptr, nullptr, buffer.data(), &size) !=
        ERROR_SUCCESS) {
      state.SkipWithError("RegQueryValueExW failed");
    }
  }
  stop = true;
  service.join();
  RegCloseKey(key);
}
BENCHMARK(BM_QueryPacketWhileReplaced)->Unit(benchmark::kMillisecond);

void BM_SetFlag(benchmark::State& state) {
  TemporaryMachineRoot root;
  HKEY key = OpenData();
  DWORD value = 0;
  for (auto _ : state) {
    ++value;
    RegSetValueExW(key, u"RefreshFlag", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
  }
  RegCloseKey(key);
}
BENCHMARK(BM_SetFlag)->Unit(benchmark::kMicrosecond);

// From a flag written by another thread to the waiter's event: the wake-up latency.
void BM_WakeOnChange(benchmark::State& state) {
  TemporaryMachineRoot root;
  HKEY key = OpenData();
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    HKEY own = OpenData();
    DWORD value = 0;
    while (WaitForSingleObject(go, INFINITE) == WAIT_OBJECT_0 && !stop) {
      ++value;
      RegSetValueExW(own, u"UpdateFlag", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4);
    }
    RegCloseKey(own);
  });
  for (auto _ : state) {
    RegNotifyChangeKeyValue(HKEY_LOCAL_MACHINE, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE);
    SetEvent(go);
    if (WaitForSingleObject(event, 5000) != WAIT_OBJECT_0) state.SkipWithError("no wake-up");
  }
  stop = true;
  SetEvent(go);
  writer.join();
  CloseHandle(event);
  CloseHandle(go);
  RegCloseKey(key);
}
BENCHMARK(BM_WakeOnChange)->Unit(benchmark::kMicrosecond);
}  // namespace

BENCHMARK_MAIN();
