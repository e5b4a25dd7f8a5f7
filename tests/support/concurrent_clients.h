// Several operators at once against the service of the current machine: each client has its own
// session and its own child process, refreshes once, and then sends its copy again and again,
// each time with only its own process changed (its masks alternate between processor 0 and
// processor 1). The copies are never refreshed in between, so every request also carries the
// other clients' processes as they were at the start.
//
// The report says what became of the requests: how many passes of the service took an
// UpdateFlag (one pass takes one raise when no request is lost), and how many processes ended
// with their client's last setting, in the kernel and in ProcList.
#pragma once

#include <chrono>
#include <cstdint>

namespace tesmar::testing {

struct ConcurrentClientsReport {
  unsigned requests = 0;
  // Requests whose TesmarUpdate answered an error.
  unsigned refused = 0;
  // Passes of the service between the first request and the last answer: with no refresh
  // raised meanwhile, every one of them took an UpdateFlag.
  unsigned passes = 0;
  unsigned processesWithLastSetting = 0;
  std::chrono::duration<double> sending{};
};

// The service must run; clients x requests updates in all. False when the clients could not be
// set up (no child, no session, no copy).
bool RunConcurrentClients(unsigned clients, unsigned requestsPerClient,
                          ConcurrentClientsReport& report);

}  // namespace tesmar::testing
