// The service's side of the Data key, played by a test thread: it takes every raised flag and
// then publishes the ProcList the test chose, so a test can give a session packets no real
// service would build (bad signatures, short values, odd thread counts) and control when they
// appear.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/registry.h"

namespace tesmar::client::testing {

using Bytes = std::vector<std::byte>;

// A packet of processCount records: signed, each record named "proc<i>" with ProcId 100 + i and
// two threads.
Bytes MakePacket(unsigned processCount, unsigned processorCount = 2);
class ServiceSide {
 public:
  ServiceSide();  // opens the Data key, which must exist
  ~ServiceSide();
  ServiceSide(const ServiceSide&) = delete;
  ServiceSide& operator=(const ServiceSide&) = delete;

  // Written to ProcList at once.
  void WriteProcList(const Bytes& packet);
  void DeleteProcList();
  // From now on a taken flag is followed, after delayMs, by this ProcList; with publish false
  // the flag is taken and nothing is published.
  void AnswerWith(const Bytes& packet, unsigned delayMs, bool publish = true);
  // Flags are left raised, as by a stopped service.
  void StopAnswering();

  // The UpdateList the service side found when it took UpdateFlag, the last time.
  Bytes UpdateListSeen();
  long long Dword(const char16_t* name);
  int answers() const { return answers_; }

 private:
  void Run();
  bool TakeFlag(const char16_t* name);

  HKEY key_ = nullptr;
  std::mutex mutex_;
  Bytes answer_;
  unsigned delayMs_ = 0;
  bool publish_ = true;
  bool answering_ = false;
  Bytes updateListSeen_;
  std::atomic<int> answers_{0};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace tesmar::client::testing
