// The running kernel as a process source: /proc read through directory handles, and the sched_*
// and priority system calls on thread ids.
#pragma once

#include <sched.h>

#include <atomic>
#include <string>

#include "platform/process_source.h"
#include "processes/kept_pidfds.h"
#include "processes/listed_threads.h"

namespace tesmar::platform {

class KernelProcessSource : public ProcessSource {
 public:
  // procRoot: where procfs is mounted; a test may point it at a copy.
  explicit KernelProcessSource(std::string procRoot = "/proc");
  ~KernelProcessSource() override;

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
  // Through the pidfd where the handle holds one (pidfd_send_signal), so that the signal
  // reaches the process opened and no newcomer.
  DWORD MayTerminate(TaskIdentity& process) override;
  DWORD TerminateTask(TaskIdentity& process) override;
  DWORD ProcessName(TaskIdentity& process, std::u16string& name) override;

  // Handles identify tasks by pidfd where the kernel offers one for threads, else by id and start
  // time. TESMAR_TASK_IDENTITY=start-time forces the second way (for tests).
  bool UsesPidfd() const { return usePidfd_; }
  // How many task folders ListProcesses and ListThreads have read (for tests).
  std::size_t TaskFolderListings() const { return taskFolderListings_.load(); }

 private:
  cpu_set_t* MaskBuffer();
  DWORD Signal(TaskIdentity& process, int signal);

  int procFd_;
  bool usePidfd_;
  // Opens of one pass that the next pass's opens of the same tasks reuse.
  KeptPidfds kept_;
  // The last listing of the machine, which answers ListThreads while it provably holds.
  ListedThreads listed_;
  std::atomic<std::size_t> taskFolderListings_{0};
  // Read once: sysconf reads sysfs at every call, and the counts are asked for per thread.
  unsigned onlineProcessors_;
  size_t maskProcessors_;
};

}  // namespace tesmar::platform
