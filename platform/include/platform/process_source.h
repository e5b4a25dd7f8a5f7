// The test seam of the process and thread calls: what they act on. By default that is the
// running kernel (/proc and the sched_* system calls); a test may put a made-up machine in its
// place inside its own process, to show what a small box cannot (sixteen processors, 20,000
// threads, a thread that refuses a mask).
//
// A source speaks in Linux terms (thread ids, masks, nice values, policies); the Win32 calls
// above it map those onto affinity masks, priority classes and thread priorities, so the mapping
// is the same code against either source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/export.h"
#include "platform/win32_types.h"

namespace tesmar::platform {

// How the kernel schedules one thread.
struct Scheduling {
  enum class Policy { Other, Batch, RoundRobin, Fifo, Idle };
  Policy policy = Policy::Other;
  int nice = 0;              // -20..19, used by Other and Batch
  int realtimePriority = 0;  // 1..99, used by RoundRobin and Fifo

  bool IsRealtime() const { return policy == Policy::RoundRobin || policy == Policy::Fifo; }
  friend bool operator==(const Scheduling&, const Scheduling&) = default;
};

// Every process and thread of the machine at one moment; reused between queries so that a
// snapshot allocates nothing once the vectors have grown.
struct ProcessListing {
  struct Process {
    uint32_t id = 0;
    uint32_t parentId = 0;
    int32_t basePriority = 0;  // the NT priority level of the main thread
    int64_t createTime = 0;    // 100 ns units after the boot; tells processes of one id apart
    uint32_t firstThread = 0;  // index into threadIds
    uint32_t threadCount = 0;
    uint32_t nameStart = 0;  // index into names; nameLength 0: no name
    uint32_t nameLength = 0;
  };
  std::vector<Process> processes;
  std::vector<uint32_t> threadIds;
  std::u16string names;

  void Clear() {
    processes.clear();
    threadIds.clear();
    names.clear();
  }
};

// What a handle remembers of the process or thread it opened.
class TaskIdentity {
 public:
  virtual ~TaskIdentity() = default;
  virtual uint32_t Id() const = 0;
  // False once the task has exited or its id belongs to another task.
  virtual bool StillSame() = 0;
  // A number that tells this task from any earlier or later one with the same id (its start
  // time, say); 0 when it cannot be had.
  virtual uint64_t Key() = 0;
};

// Every DWORD result is a Win32 error number, ERROR_SUCCESS (0) on success.
class PLATFORM_API ProcessSource {
 public:
  virtual ~ProcessSource();

  virtual unsigned ProcessorCount() = 0;
  virtual DWORD ListProcesses(ProcessListing& listing) = 0;

  // A process (a thread group leader) when wholeProcess, else any thread.
  virtual DWORD Open(uint32_t id, bool wholeProcess, std::unique_ptr<TaskIdentity>& identity) = 0;
  virtual DWORD ListThreads(uint32_t processId, std::vector<uint32_t>& threadIds) = 0;
  virtual DWORD ProcessOfThread(uint32_t threadId, uint32_t& processId) = 0;

  virtual DWORD GetAffinity(uint32_t threadId, uint32_t& mask) = 0;
  virtual DWORD SetAffinity(uint32_t threadId, uint32_t mask) = 0;
  virtual DWORD GetScheduling(uint32_t threadId, Scheduling& scheduling) = 0;
  virtual DWORD SetScheduling(uint32_t threadId, const Scheduling& scheduling) = 0;
  // The processor the thread ran on last.
  virtual DWORD LastProcessor(uint32_t threadId, unsigned& processor) = 0;
  virtual DWORD Terminate(uint32_t processId) = 0;

  // Whether this user may end the process the identity names: ERROR_ACCESS_DENIED when not,
  // ERROR_INVALID_PARAMETER once it has ended. By default anyone may end a live one.
  virtual DWORD MayTerminate(TaskIdentity& process);
  // Ends the process the identity names and never one that took its id since. By default
  // Terminate of its id while StillSame says it is the same.
  virtual DWORD TerminateTask(TaskIdentity& process);
  // The name the process list gives the process. ERROR_NOT_SUPPORTED by default.
  virtual DWORD ProcessName(TaskIdentity& process, std::u16string& name);
};

// Puts a source in place of the running kernel for this process; null restores the kernel.
PLATFORM_API void UseProcessSource(std::shared_ptr<ProcessSource> source) noexcept;

}  // namespace tesmar::platform
