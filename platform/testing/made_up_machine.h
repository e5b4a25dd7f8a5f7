// A made-up machine for tests: any number of processors, processes and threads, kept in memory,
// with chosen operations refused. It logs every scheduling call it receives, in order, so a test
// can check what a caller did and in which sequence.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/process_source.h"

namespace tesmar::platform::testing {

class MadeUpMachine : public ProcessSource {
 public:
  enum class Operation {
    Open,
    GetAffinity,
    SetAffinity,
    GetScheduling,
    SetScheduling,
    ListThreads,
    ListProcesses
  };

  struct Thread {
    uint32_t id = 0;
    uint32_t mask = 0;
    Scheduling scheduling;
    unsigned lastProcessor = 0;
    uint64_t generation = 0;
  };
  struct Process {
    uint32_t id = 0;
    std::u16string name;  // empty: no name
    uint64_t generation = 0;
    std::vector<Thread> threads;
  };

  explicit MadeUpMachine(unsigned processorCount);

  // Adds a process whose threads take the ids id, id + 1, ...; every thread may run on every
  // processor, at nice 0. Returns the process id.
  uint32_t AddProcess(std::u16string name, uint32_t id, unsigned threadCount);
  // The process ends; its handles fail from now on.
  void EndProcess(uint32_t id);
  // The process ends and a newcomer takes its id (and its threads' ids), with a later creation
  // time; the name may be the same.
  void ReuseId(uint32_t id, std::u16string newName);
  // The operation on this process or thread id fails with ERROR_ACCESS_DENIED from now on.
  // error: what the refusal reads as, ERROR_ACCESS_DENIED unless told (the kernel also answers
  // ERROR_INVALID_PARAMETER for a live thread, e.g. for a mask outside its cpuset). The listing
  // of every process is refused with id 0 and ListProcesses.
  void Refuse(uint32_t id, Operation operation, DWORD error = ERROR_ACCESS_DENIED);
  // The operation on this process or thread id throws std::bad_alloc from now on, as a source
  // whose allocation fails does.
  void FailAllocation(uint32_t id, Operation operation);
  // Runs the hook at every listing of the processes, before the machine is listed: a test's way
  // to change the world while a caller is in the middle of its work.
  void OnListing(std::function<void()> hook);
  // Runs the hook after each listing of one process's threads, once the caller holds their ids.
  void OnThreadListing(std::function<void()> hook);
  // Makes the process listing as long as it would be for that many more threads (without
  // keeping them), to test callers' buffer sizing.
  void AddPhantomThreads(uint32_t processId, unsigned count);

  Thread& ThreadById(uint32_t threadId);
  Process& ProcessById(uint32_t processId);

  // One line per scheduling call, e.g. "SetAffinity 101 0x5", "SetScheduling 101 other nice -10".
  std::vector<std::string> CallLog() const;
  void ClearCallLog();
  // How often ListProcesses was called.
  unsigned ListCount() const;
  // How often Open was called.
  unsigned OpenCount() const;

  unsigned ProcessorCount() override;
  DWORD ListProcesses(ProcessListing& listing) override;
  DWORD Open(uint32_t id, bool wholeProcess, std::unique_ptr<TaskIdentity>& identity) override;
  DWORD ListThreads(uint32_t processId, std::vector<uint32_t>& threadIds) override;
  DWORD ProcessOfThread(uint32_t threadId, uint32_t& processId) override;
  DWORD GetAffinity(uint32_t threadId, uint32_t& mask) override;
  DWORD SetAffinity(uint32_t threadId, uint32_t mask) override;
  DWORD GetScheduling(uint32_t threadId, Scheduling& scheduling) override;
  DWORD SetScheduling(uint32_t threadId, const Scheduling& scheduling) override;
  DWORD LastProcessor(uint32_t threadId, unsigned& processor) override;
  DWORD Terminate(uint32_t processId) override;

 private:
  class Identity;
  Thread* FindThread(uint32_t threadId);
  Process* FindProcess(uint32_t processId);
  Process* OwnerOf(uint32_t threadId);
  // The error of a refusal of the operation on the thread or on its process, 0 if none.
  DWORD RefusalOf(uint32_t threadId, uint32_t processId, Operation operation) const;
  void Log(std::string line);

  mutable std::recursive_mutex mutex_;
  unsigned processorCount_;
  uint64_t nextGeneration_ = 1;
  std::vector<Process> processes_;
  std::map<uint32_t, unsigned> phantomThreads_;
  std::map<std::pair<uint32_t, Operation>, DWORD> refused_;
  std::set<std::pair<uint32_t, Operation>> failingAllocations_;
  std::vector<std::string> callLog_;
  std::function<void()> onListing_;
  std::function<void()> onThreadListing_;
  unsigned listCount_ = 0;
  unsigned openCount_ = 0;
};

}  // namespace tesmar::platform::testing
