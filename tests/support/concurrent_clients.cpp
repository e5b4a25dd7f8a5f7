#include "support/concurrent_clients.h"

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "TesmarApi.h"
#include "support/data_key_access.h"
#include "support/kernel_view.h"
#include "support/thread_host.h"
#include "support/wait_until.h"

namespace tesmar::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kThreadsPerChild = 2;

uint32_t MaskOfRequest(unsigned request) {
  return request % 2 == 0 ? 0x1u : 0x2u;
}

class Client {
 public:
  Client() : session_(TesmarOpen(0)), child_(kThreadsPerChild) {}
  ~Client() { TesmarClose(session_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool Ready() {
    if (!session_ || !child_.started()) return false;
    if (TesmarConnect(session_, nullptr) != 0 || TesmarRefresh(session_) != 0) return false;
    for (DWORD i = 0; i < TesmarGetProcessCount(session_); ++i) {
      TesmarRecord* record = TesmarGetProcObject(session_, i);
      if (record && TesmarGetProcId(record) == child_.pid()) record_ = record;
    }
    return record_ != nullptr;
  }

  // Only the client's own record changes; the rest of the copy stays as first read.
  unsigned Send(unsigned requests) {
    unsigned refused = 0;
    for (unsigned request = 0; request < requests; ++request) {
      uint32_t mask = MaskOfRequest(request);
      TesmarSetProcAffin(record_, mask);
      for (INT thread = 0; thread < TesmarGetThreadCount(record_); ++thread) {
        TesmarSetThreadAffin(record_, static_cast<DWORD>(thread), mask);
      }
      TesmarSetWatchList(record_, 1);
      if (TesmarUpdate(session_) != 0) ++refused;
    }
    return refused;
  }

  bool Holds(uint32_t mask) const {
    for (uint32_t thread : child_.threadIds()) {
      if (TasksetMask(thread) != mask) return false;
    }
    std::optional<TestPacket> published = ReadDataPacket();
    const packet::ProcessRecord* record = published ? published->Find(child_.pid()) : nullptr;
    return record && record->Watched == 1 && record->ProcAffinity == mask;
  }

 private:
  TesmarSession* session_;
  SpawnedThreadHost child_;
  TesmarRecord* record_ = nullptr;
};

// The service has taken the last raise and ended its pass.
bool ServiceIdle() {
  std::optional<DWORD> serial = ReadDataDword(u"ProcListSerial");
  return ReadDataDword(u"UpdateFlag") != 1u && serial && *serial % 2 == 0;
}

}  // namespace

bool RunConcurrentClients(unsigned clients, unsigned requestsPerClient,
                          ConcurrentClientsReport& report) {
  std::vector<std::unique_ptr<Client>> everyone;
  for (unsigned c = 0; c < clients; ++c) {
    everyone.push_back(std::make_unique<Client>());
    if (!everyone.back()->Ready()) return false;
  }
  if (!WaitUntil(ServiceIdle)) return false;
  DWORD serialBefore = ReadDataDword(u"ProcListSerial").value_or(0);

  std::atomic<unsigned> refused{0};
  Clock::time_point started = Clock::now();
  std::vector<std::thread> senders;
  for (auto& client : everyone) {
    senders.emplace_back(
        [&, sending = client.get()] { refused += sending->Send(requestsPerClient); });
  }
  for (std::thread& sender : senders) sender.join();
  report.sending = Clock::now() - started;
  WaitUntil(ServiceIdle);

  report.requests = clients * requestsPerClient;
  report.refused = refused;
  report.passes = (ReadDataDword(u"ProcListSerial").value_or(0) - serialBefore) / 2;
  uint32_t last = MaskOfRequest(requestsPerClient - 1);
  report.processesWithLastSetting = 0;
  for (const auto& client : everyone) {
    if (client->Holds(last)) ++report.processesWithLastSetting;
  }
  return true;
}

}  // namespace tesmar::testing
