// A Data key whose packets a test chooses, served by a process of its own under the real service
// manager: tesmar_scripted_service (tests/programs/scripted_service_main.cpp) installed as
// KaltrixTesmar on a machine of its own. Inside it, ScriptedDataKey takes every flag as tesmarsr
// does; each pass answers with the packet of Answer() and records the UpdateList it took.
//
// Race-free by order alone: Answer() is written before the test makes a client raise a flag, the
// service reads it only after it took the flag, and it records a request before the pass ends
// with the publication its client waits for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/installed_service.h"
#include "support/temporary_machine_root.h"
#include "support/test_packet.h"

namespace tesmar::testing {

// One record of a scripted packet; the thread vectors give the first threads' values, the other
// slots stay 0 (ideal-processor slots: none chosen).
struct ScriptedRecord {
  std::u16string name;
  uint32_t processId = 0;
  uint32_t affinity = 0;
  uint32_t priorityClass = 32;
  int32_t threadCount = 0;
  std::vector<uint32_t> threadAffinity;
  std::vector<int32_t> threadPriority;
  std::vector<uint32_t> prevIdealProcessor;
  uint32_t boostQueryOk = 1;
  uint32_t boostDisabled = 0;
  uint32_t watched = 1;
};

// A signed packet of the records.
TestPacket BuildPacket(uint32_t processorCount, const std::vector<ScriptedRecord>& records);

class ScriptedService {
 public:
  enum class Start { Running, Stopped };

  // A machine of its own with the service installed, `answer` its first packet; started unless
  // told not to.
  explicit ScriptedService(const TestPacket& answer, Start start = Start::Running);
  ScriptedService(const ScriptedService&) = delete;
  ScriptedService& operator=(const ScriptedService&) = delete;

  // The service runs and has published its first ProcList; false when that did not happen
  // within the generous bound.
  bool WaitUntilServing() const;
  bool WaitUntilStopped() const;
  DWORD CurrentState() const { return service_.CurrentState(); }

  // What every flag taken from now on is answered with.
  void Answer(const TestPacket& packet);
  std::vector<TestPacket> UpdatesSeen() const;
  DWORD RefreshesSeen() const;

 private:
  TemporaryMachineRoot root_;
  InstalledService service_;
};

}  // namespace tesmar::testing
