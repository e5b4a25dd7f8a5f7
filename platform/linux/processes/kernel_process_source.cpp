#include "processes/kernel_process_source.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/descriptor.h"
#include "base/errno_to_win32.h"
#include "base/text_conversion.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "processes/proc_directory.h"
#include "processes/proc_stat_parser.h"
#include "processes/scheduling_map.h"
#include "processes/task_start_time.h"

#ifndef PIDFD_THREAD
#define PIDFD_THREAD O_EXCL
#endif

namespace tesmar::platform {
namespace {

DWORD LastErrno() {
  return Win32ErrorFromErrno(errno);
}

int PidfdOpen(uint32_t id, unsigned flags) {
  return static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(id), flags));
}

// Whether id names a thread group leader (a process), not another thread.
bool IsProcessId(int procFd, uint32_t id) {
  char path[32];
  std::snprintf(path, sizeof path, "%u/status", id);
  std::string text;
  if (!ReadSmallFile(procFd, path, text)) return false;
  auto group = StatusNumber(text, "Tgid");
  return group && *group == id;
}

// The kernel's mask size: enough for every configured processor.
size_t KernelMaskProcessors() {
  long configured = sysconf(_SC_NPROCESSORS_CONF);
  return configured > 64 ? static_cast<size_t>(configured) : 64;
}

// The kernel's struct sched_attr, first version (48 bytes), which glibc does not declare.
struct SchedulingAttributes {
  uint32_t size;
  uint32_t policy;
  uint64_t flags;
  int32_t nice;
  uint32_t priority;
  uint64_t runtime;
  uint64_t deadline;
  uint64_t period;
};

unsigned OnlineProcessors() {
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

class PidfdIdentity : public TaskIdentity {
 public:
  int pidfd() const { return pidfd_->get(); }
  PidfdIdentity(int procFd, uint32_t id, SharedPidfd pidfd)
      : procFd_(procFd), id_(id), pidfd_(std::move(pidfd)) {}
  uint32_t Id() const override { return id_; }
  bool StillSame() override { return PidfdStillRuns(*pidfd_); }
  // Read once, on first use; two threads using one handle may both read it, and find the same.
  uint64_t Key() override {
    uint64_t key = key_.load(std::memory_order_relaxed);
    if (key == 0) {
      key = StartTimeOfTask(procFd_, id_, false).value_or(0);
      key_.store(key, std::memory_order_relaxed);
    }
    return key;
  }

 private:
  int procFd_;
  uint32_t id_;
  SharedPidfd pidfd_;  // shared with the keep (kept_pidfds.h)
  std::atomic<uint64_t> key_{0};
};

class StartTimeIdentity : public TaskIdentity {
 public:
  StartTimeIdentity(int procFd, uint32_t id, bool wholeProcess, uint64_t startTime)
      : procFd_(procFd), id_(id), wholeProcess_(wholeProcess), startTime_(startTime) {}
  uint32_t Id() const override { return id_; }
  bool StillSame() override {
    auto now = StartTimeOfTask(procFd_, id_, wholeProcess_);
    return now && *now == startTime_;
  }
  uint64_t Key() override { return startTime_; }

 private:
  int procFd_;
  uint32_t id_;
  bool wholeProcess_;
  uint64_t startTime_;
};

bool PidfdThreadsOffered() {
  const char* choice = std::getenv("TESMAR_TASK_IDENTITY");
  if (choice && std::strcmp(choice, "start-time") == 0) return false;
  int fd = PidfdOpen(static_cast<uint32_t>(syscall(SYS_gettid)), PIDFD_THREAD);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// The name of a process: the base name of its executable, or its command name (stat's second
// field) where the executable cannot be read (kernel threads, other users' processes without
// the right to look). False when neither is there.
bool AppendProcessName(int procFd, uint32_t id, std::string_view stat, std::u16string& names) {
  char path[32];
  std::snprintf(path, sizeof path, "%u/exe", id);
  char target[4096];
  ssize_t length = readlinkat(procFd, path, target, sizeof target - 1);
  if (length > 0) {
    std::string_view link(target, static_cast<size_t>(length));
    constexpr std::string_view kDeleted = " (deleted)";
    if (link.size() > kDeleted.size() && link.ends_with(kDeleted)) {
      link.remove_suffix(kDeleted.size());
    }
    size_t slash = link.rfind('/');
    if (slash != std::string_view::npos) link.remove_prefix(slash + 1);
    if (!link.empty()) {
      AppendUtf8AsUtf16(link, names);
      return true;
    }
  }
  std::optional<std::string_view> command = StatField(stat, kStatCommand);
  if (!command || command->empty()) return false;
  AppendUtf8AsUtf16(*command, names);
  return true;
}

// Clock ticks after the boot, as stat counts them, in the 100 ns units of a creation time.
int64_t CreationTimeOf(uint64_t startTicks) {
  static const long ticksPerSecond = sysconf(_SC_CLK_TCK);
  constexpr int64_t kUnitsPerSecond = 10'000'000;
  return static_cast<int64_t>(startTicks) *
         (kUnitsPerSecond / (ticksPerSecond > 0 ? ticksPerSecond : 100));
}

}  // namespace

KernelProcessSource::KernelProcessSource(std::string procRoot)
    : procFd_(open(procRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
      usePidfd_(PidfdThreadsOffered()),
      kept_(KeptPidfds::BudgetOfThisProcess()),
      onlineProcessors_(OnlineProcessors()),
      maskProcessors_(KernelMaskProcessors()) {}

KernelProcessSource::~KernelProcessSource() {
  if (procFd_ >= 0) close(procFd_);
}

unsigned KernelProcessSource::ProcessorCount() {
  return onlineProcessors_;
}

DWORD KernelProcessSource::ListProcesses(ProcessListing& listing) {
  listing.Clear();
  uint64_t number = kept_.NewListing();
  int directory = openat(procFd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return LastErrno();
  std::string scratch;
  bool complete = ForEachNumberedEntry(directory, [&](uint32_t id) {
    ProcessListing::Process process;
    process.id = id;
    process.firstThread = static_cast<uint32_t>(listing.threadIds.size());
    // One stat read a process: when it started (what tells it from a later process with the
    // same id), its parent, its command name, and its thread count.
    char statPath[32];
    std::snprintf(statPath, sizeof statPath, "%u/stat", id);
    std::optional<uint64_t> started;
    if (ReadSmallFile(procFd_, statPath, scratch)) started = StatNumber(scratch, kStatStartTime);
    if (!started) return;
    // Its threads from the listing before where that provably still holds, read after the
    // count as the proof needs (listed_threads.h), else from its folder. A process that ends
    // while it is read is left out, not reported.
    std::optional<uint64_t> threadsNow = StatNumber(scratch, kStatThreads);
    bool fromListing =
        usePidfd_ && threadsNow && listed_.Append(id, *threadsNow, kept_, listing.threadIds);
    if (!fromListing) taskFolderListings_.fetch_add(1, std::memory_order_relaxed);
    if (!fromListing && !AppendTaskIds(procFd_, id, listing.threadIds)) {
      listing.threadIds.resize(process.firstThread);
      return;
    }
    process.threadCount = static_cast<uint32_t>(listing.threadIds.size()) - process.firstThread;
    process.nameStart = static_cast<uint32_t>(listing.names.size());
    if (!AppendProcessName(procFd_, id, scratch, listing.names)) {
      listing.threadIds.resize(process.firstThread);
      listing.names.resize(process.nameStart);
      return;
    }
    process.createTime = CreationTimeOf(*started);
    process.parentId = static_cast<uint32_t>(StatNumber(scratch, kStatParent).value_or(0));
    process.nameLength = static_cast<uint32_t>(listing.names.size()) - process.nameStart;
    Scheduling main;
    if (GetScheduling(id, main) == ERROR_SUCCESS) {
      process.basePriority =
          PriorityNumber(ClassOf(main).value_or(NORMAL_PRIORITY_CLASS), LevelOf(main));
    } else {
      process.basePriority = 8;
    }
    listing.processes.push_back(process);
  });
  DWORD result = complete ? ERROR_SUCCESS : LastErrno();
  close(directory);
  // Each process's thread list is whole even where the listing of the machine is not.
  if (usePidfd_) listed_.Remember(listing, number);
  return result;
}

DWORD KernelProcessSource::Open(uint32_t id, bool wholeProcess,
                                std::unique_ptr<TaskIdentity>& identity) {
  if (id == 0) return ERROR_INVALID_PARAMETER;
  if (usePidfd_) {
    SharedPidfd pidfd = kept_.Find(id, wholeProcess);
    if (!pidfd) {
      // A process pidfd needs a thread group leader; any thread takes PIDFD_THREAD.
      int opened = PidfdOpen(id, wholeProcess ? 0 : PIDFD_THREAD);
      if (opened < 0) return Win32ErrorFromTaskErrno(errno);
      pidfd = std::make_shared<const OwnedDescriptor>(opened);
      // pidfd_open takes a zombie too; a process that has ended is not opened, as on Windows
      // once the last handle to it is gone.
      if (!PidfdStillRuns(*pidfd)) return ERROR_INVALID_PARAMETER;
      kept_.Keep(id, wholeProcess, pidfd);
    }
    identity = std::make_unique<PidfdIdentity>(procFd_, id, std::move(pidfd));
    return ERROR_SUCCESS;
  }
  if (wholeProcess && !IsProcessId(procFd_, id)) return ERROR_INVALID_PARAMETER;
  auto startTime = StartTimeOfTask(procFd_, id, wholeProcess);
  if (!startTime) return ERROR_INVALID_PARAMETER;
  identity = std::make_unique<StartTimeIdentity>(procFd_, id, wholeProcess, *startTime);
  return ERROR_SUCCESS;
}

DWORD KernelProcessSource::ListThreads(uint32_t processId, std::vector<uint32_t>& threadIds) {
  threadIds.clear();
  // Thread pidfds kept from an earlier pass prove the machine's last listing still right.
  if (usePidfd_ && listed_.Answer(procFd_, processId, kept_, threadIds)) return ERROR_SUCCESS;
  taskFolderListings_.fetch_add(1, std::memory_order_relaxed);
  if (!AppendTaskIds(procFd_, processId, threadIds)) {
    return Win32ErrorFromTaskErrno(errno);
  }
  return ERROR_SUCCESS;
}

DWORD KernelProcessSource::ProcessOfThread(uint32_t threadId, uint32_t& processId) {
  char path[32];
  std::snprintf(path, sizeof path, "%u/status", threadId);
  std::string text;
  if (!ReadSmallFile(procFd_, path, text)) return ERROR_INVALID_PARAMETER;
  auto group = StatusNumber(text, "Tgid");
  if (!group) return ERROR_INVALID_PARAMETER;
  processId = static_cast<uint32_t>(*group);
  return ERROR_SUCCESS;
}

cpu_set_t* KernelProcessSource::MaskBuffer() {
  // One buffer a thread, sized for this machine once; masks are asked for per thread.
  struct FreeMask {
    void operator()(cpu_set_t* set) const { CPU_FREE(set); }
  };
  thread_local std::unique_ptr<cpu_set_t, FreeMask> buffer;
  thread_local size_t bufferProcessors = 0;
  if (!buffer || bufferProcessors < maskProcessors_) {
    buffer.reset(CPU_ALLOC(maskProcessors_));
    bufferProcessors = buffer ? maskProcessors_ : 0;
  }
  return buffer.get();
}

DWORD KernelProcessSource::GetAffinity(uint32_t threadId, uint32_t& mask) {
  cpu_set_t* set = MaskBuffer();
  if (!set) return ERROR_NOT_ENOUGH_MEMORY;
  size_t size = CPU_ALLOC_SIZE(maskProcessors_);
  DWORD result = ERROR_SUCCESS;
  if (sched_getaffinity(static_cast<pid_t>(threadId), size, set) != 0) {
    result = LastErrno();
  } else {
    mask = 0;
    for (unsigned cpu = 0; cpu < 32; ++cpu) {
      if (CPU_ISSET_S(cpu, size, set)) mask |= uint32_t{1} << cpu;
    }
  }
  return result;
}

DWORD KernelProcessSource::SetAffinity(uint32_t threadId, uint32_t mask) {
  cpu_set_t* set = MaskBuffer();
  if (!set) return ERROR_NOT_ENOUGH_MEMORY;
  size_t size = CPU_ALLOC_SIZE(maskProcessors_);
  CPU_ZERO_S(size, set);
  for (unsigned cpu = 0; cpu < 32; ++cpu) {
    if (mask & (uint32_t{1} << cpu)) CPU_SET_S(cpu, size, set);
  }
  DWORD result = ERROR_SUCCESS;
  if (sched_setaffinity(static_cast<pid_t>(threadId), size, set) != 0) result = LastErrno();
  return result;
}

DWORD KernelProcessSource::GetScheduling(uint32_t threadId, Scheduling& scheduling) {
  // One sched_getattr answers policy, nice and real-time priority together.
  SchedulingAttributes attributes{};
  if (syscall(SYS_sched_getattr, static_cast<pid_t>(threadId), &attributes, sizeof attributes,
              0u) != 0) {
    return LastErrno();
  }
  switch (attributes.policy) {
    case SCHED_FIFO:
      scheduling.policy = Scheduling::Policy::Fifo;
      break;
    case SCHED_RR:
      scheduling.policy = Scheduling::Policy::RoundRobin;
      break;
    case SCHED_BATCH:
      scheduling.policy = Scheduling::Policy::Batch;
      break;
    case SCHED_IDLE:
      scheduling.policy = Scheduling::Policy::Idle;
      break;
    default:
      scheduling.policy = Scheduling::Policy::Other;
  }
  scheduling.nice = scheduling.IsRealtime() ? 0 : attributes.nice;
  scheduling.realtimePriority = scheduling.IsRealtime() ? static_cast<int>(attributes.priority) : 0;
  return ERROR_SUCCESS;
}

DWORD KernelProcessSource::SetScheduling(uint32_t threadId, const Scheduling& scheduling) {
  // One sched_setattr sets policy and nice together: with sched_setscheduler and setpriority
  // apart, a refused second call left the thread half changed.
  SchedulingAttributes attributes{};
  attributes.size = sizeof attributes;
  switch (scheduling.policy) {
    case Scheduling::Policy::RoundRobin:
      attributes.policy = SCHED_RR;
      break;
    case Scheduling::Policy::Fifo:
      attributes.policy = SCHED_FIFO;
      break;
    case Scheduling::Policy::Batch:
      attributes.policy = SCHED_BATCH;
      break;
    case Scheduling::Policy::Idle:
      attributes.policy = SCHED_IDLE;
      break;
    case Scheduling::Policy::Other:
      attributes.policy = SCHED_OTHER;
      break;
  }
  if (scheduling.IsRealtime()) {
    attributes.priority = static_cast<uint32_t>(scheduling.realtimePriority);
  } else {
    attributes.nice = scheduling.nice;
  }
  if (syscall(SYS_sched_setattr, static_cast<pid_t>(threadId), &attributes, 0u) != 0) {
    return LastErrno();
  }
  return ERROR_SUCCESS;
}

DWORD KernelProcessSource::LastProcessor(uint32_t threadId, unsigned& processor) {
  char path[32];
  std::snprintf(path, sizeof path, "%u/stat", threadId);
  std::string text;
  if (!ReadSmallFile(procFd_, path, text)) return ERROR_INVALID_PARAMETER;
  auto value = StatNumber(text, kStatProcessor);
  if (!value) return ERROR_INVALID_PARAMETER;
  processor = static_cast<unsigned>(*value);
  return ERROR_SUCCESS;
}

DWORD KernelProcessSource::Signal(TaskIdentity& process, int signal) {
  if (auto* pidfd = dynamic_cast<PidfdIdentity*>(&process)) {
    if (!pidfd->StillSame()) return ERROR_INVALID_PARAMETER;
    if (syscall(SYS_pidfd_send_signal, pidfd->pidfd(), signal, nullptr, 0) != 0) {
      return Win32ErrorFromTaskErrno(errno);
    }
    return ERROR_SUCCESS;
  }
  // Without a pidfd the id is checked just before: a newcomer could take it only in between.
  if (!process.StillSame() || process.Id() == 0 || process.Id() > INT32_MAX) {
    return ERROR_INVALID_PARAMETER;
  }
  if (kill(static_cast<pid_t>(process.Id()), signal) != 0) return Win32ErrorFromTaskErrno(errno);
  return ERROR_SUCCESS;
}

DWORD KernelProcessSource::MayTerminate(TaskIdentity& process) {
  return Signal(process, 0);
}

DWORD KernelProcessSource::TerminateTask(TaskIdentity& process) {
  return Signal(process, SIGKILL);
}

DWORD KernelProcessSource::ProcessName(TaskIdentity& process, std::u16string& name) {
  char statPath[32];
  std::snprintf(statPath, sizeof statPath, "%u/stat", process.Id());
  std::string stat;
  if (!ReadSmallFile(procFd_, statPath, stat)) return ERROR_INVALID_PARAMETER;
  name.clear();
  if (!AppendProcessName(procFd_, process.Id(), stat, name)) return ERROR_INVALID_PARAMETER;
  // Read by id: the name is this process's only while it is still the one opened.
  return process.StillSame() ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

DWORD KernelProcessSource::Terminate(uint32_t processId) {
  // kill() reads 0 and negative numbers as process groups.
  if (processId == 0 || processId > INT32_MAX) return ERROR_INVALID_PARAMETER;
  if (kill(static_cast<pid_t>(processId), SIGKILL) != 0) return LastErrno();
  return ERROR_SUCCESS;
}

}  // namespace tesmar::platform
