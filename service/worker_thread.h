// The worker thread of tesmarsr: the only thread that touches the registry and the processes.
// It opens (or creates) the Data key, publishes a first packet or applies its last publication
// again, and then serves every flag a client raises, each in a numbered pass
// (packet/publication.h), until it is asked to stop or the process ends.
#pragma once

#include <atomic>

#include "error_report.h"
#include "platform/owned_handle.h"
#include "raised_flag_waiter.h"

namespace tesmar::service {

class Worker {
 public:
  explicit Worker(ReportTarget reports);
  // Waits for the thread of a worker that was started: a worker never outlives its object.
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Starts the thread; false, after reporting "CreateThread", when it could not be created.
  bool Start();
  // WAIT_OBJECT_0 once the first pass is over (the worker serves flags from then on) or the
  // worker ended without a Data key; WAIT_TIMEOUT before.
  DWORD WaitUntilServing(DWORD milliseconds);
  // The registry's error that ended the worker before it could serve; 0 while it serves.
  DWORD StartupError() const { return startupError_; }
  // Asks the worker to stop after the pass under way and waits until its thread has ended.
  void Stop();

 private:
  static DWORD ThreadMain(LPVOID worker);
  DWORD Run();
  void FailStartup(LSTATUS status, const char16_t* operationName);

  ReportTarget reports_;
  RaisedFlagWaiter waiter_;
  platform::OwnedHandle serving_;
  platform::OwnedHandle thread_;
  std::atomic<DWORD> startupError_{0};
};

// Console mode: starts a worker that runs until the process ends. Returns 1 when it runs, 0
// (after reporting "CreateThread") when its thread could not be created.
int StartupServiceThread(ReportTarget reports);

}  // namespace tesmar::service
