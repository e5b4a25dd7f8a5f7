#include "made_up_machine.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "platform/errors.h"

namespace tesmar::platform::testing {
namespace {
const char* PolicyName(Scheduling::Policy policy) {
  switch (policy) {
    case Scheduling::Policy::Other:
      return "other";
    case Scheduling::Policy::Batch:
      return "batch";
    case Scheduling::Policy::RoundRobin:
      return "rr";
    case Scheduling::Policy::Fifo:
      return "fifo";
    case Scheduling::Policy::Idle:
      return "idle";
  }
  return "?";
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}
}  // namespace

class MadeUpMachine::Identity : public TaskIdentity {
 public:
  Identity(MadeUpMachine& machine, uint32_t id, bool wholeProcess, uint64_t generation)
      : machine_(machine), id_(id), wholeProcess_(wholeProcess), generation_(generation) {}
  uint32_t Id() const override { return id_; }
  bool StillSame() override {
    std::lock_guard lock(machine_.mutex_);
    if (wholeProcess_) {
      Process* process = machine_.FindProcess(id_);
      return process && process->generation == generation_;
    }
    Thread* thread = machine_.FindThread(id_);
    return thread && thread->generation == generation_;
  }
  uint64_t Key() override { return generation_; }

 private:
  MadeUpMachine& machine_;
  uint32_t id_;
  bool wholeProcess_;
  uint64_t generation_;
};

MadeUpMachine::MadeUpMachine(unsigned processorCount) : processorCount_(processorCount) {}

uint32_t MadeUpMachine::AddProcess(std::u16string name, uint32_t id, unsigned threadCount) {
  std::lock_guard lock(mutex_);
  Process process;
  process.id = id;
  process.name = std::move(name);
  process.generation = nextGeneration_++;
  uint32_t allProcessors =
      processorCount_ >= 32 ? 0xFFFFFFFFu : (uint32_t{1} << processorCount_) - 1;
  for (unsigned k = 0; k < threadCount; ++k) {
    Thread thread;
    thread.id = id + k;
    thread.mask = allProcessors;
    thread.lastProcessor = k % processorCount_;
    thread.generation = nextGeneration_++;
    process.threads.push_back(thread);
  }
  processes_.push_back(std::move(process));
  return id;
}

void MadeUpMachine::EndProcess(uint32_t id) {
  std::lock_guard lock(mutex_);
  std::erase_if(processes_, [id](const Process& p) { return p.id == id; });
}

void MadeUpMachine::ReuseId(uint32_t id, std::u16string newName) {
  std::lock_guard lock(mutex_);
  Process* process = FindProcess(id);
  if (!process) throw std::invalid_argument("no such process");
  auto threadCount = static_cast<unsigned>(process->threads.size());
  EndProcess(id);
  AddProcess(std::move(newName), id, threadCount);
}

void MadeUpMachine::Refuse(uint32_t id, Operation operation, DWORD error) {
  std::lock_guard lock(mutex_);
  refused_[{id, operation}] = error;
}

void MadeUpMachine::OnListing(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  onListing_ = std::move(hook);
}

void MadeUpMachine::OnThreadListing(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  onThreadListing_ = std::move(hook);
}

void MadeUpMachine::FailAllocation(uint32_t id, Operation operation) {
  std::lock_guard lock(mutex_);
  failingAllocations_.insert({id, operation});
}

void MadeUpMachine::AddPhantomThreads(uint32_t processId, unsigned count) {
  std::lock_guard lock(mutex_);
  phantomThreads_[processId] += count;
}

MadeUpMachine::Thread& MadeUpMachine::ThreadById(uint32_t threadId) {
  std::lock_guard lock(mutex_);
  Thread* thread = FindThread(threadId);
  if (!thread) throw std::invalid_argument("no such thread");
  return *thread;
}

MadeUpMachine::Process& MadeUpMachine::ProcessById(uint32_t processId) {
  std::lock_guard lock(mutex_);
  Process* process = FindProcess(processId);
  if (!process) throw std::invalid_argument("no such process");
  return *process;
}

std::vector<std::string> MadeUpMachine::CallLog() const {
  std::lock_guard lock(mutex_);
  return callLog_;
}

void MadeUpMachine::ClearCallLog() {
  std::lock_guard lock(mutex_);
  callLog_.clear();
}

unsigned MadeUpMachine::ListCount() const {
  std::lock_guard lock(mutex_);
  return listCount_;
}

unsigned MadeUpMachine::OpenCount() const {
  std::lock_guard lock(mutex_);
  return openCount_;
}

unsigned MadeUpMachine::ProcessorCount() {
  return processorCount_;
}

DWORD MadeUpMachine::ListProcesses(ProcessListing& listing) {
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    hook = onListing_;
  }
  if (hook) hook();
  std::lock_guard lock(mutex_);
  ++listCount_;
  listing.Clear();
  if (DWORD refusal = RefusalOf(0, 0, Operation::ListProcesses)) return refusal;
  for (const Process& process : processes_) {
    ProcessListing::Process entry;
    entry.id = process.id;
    entry.basePriority = 8;
    // Each process is a generation of its own: a newcomer on a reused id started later.
    entry.createTime = static_cast<int64_t>(process.generation) * 10'000'000;
    entry.firstThread = static_cast<uint32_t>(listing.threadIds.size());
    for (const Thread& thread : process.threads) listing.threadIds.push_back(thread.id);
    auto phantom = phantomThreads_.find(process.id);
    if (phantom != phantomThreads_.end()) {
      // Ids far above the real ones, so that nothing can open them.
      for (unsigned k = 0; k < phantom->second; ++k) listing.threadIds.push_back(0x7F000000u + k);
    }
    entry.threadCount = static_cast<uint32_t>(listing.threadIds.size()) - entry.firstThread;
    entry.nameStart = static_cast<uint32_t>(listing.names.size());
    entry.nameLength = static_cast<uint32_t>(process.name.size());
    listing.names += process.name;
    listing.processes.push_back(entry);
  }
  return ERROR_SUCCESS;
}

DWORD MadeUpMachine::Open(uint32_t id, bool wholeProcess, std::unique_ptr<TaskIdentity>& identity) {
  std::lock_guard lock(mutex_);
  ++openCount_;
  if (DWORD refusal = RefusalOf(id, id, Operation::Open)) return refusal;
  uint64_t generation;
  if (wholeProcess) {
    Process* process = FindProcess(id);
    if (!process) return ERROR_INVALID_PARAMETER;
    generation = process->generation;
  } else {
    Thread* thread = FindThread(id);
    if (!thread) return ERROR_INVALID_PARAMETER;
    generation = thread->generation;
  }
  identity = std::make_unique<Identity>(*this, id, wholeProcess, generation);
  return ERROR_SUCCESS;
}

DWORD MadeUpMachine::ListThreads(uint32_t processId, std::vector<uint32_t>& threadIds) {
  std::lock_guard lock(mutex_);
  threadIds.clear();
  if (DWORD refusal = RefusalOf(processId, processId, Operation::ListThreads)) return refusal;
  Process* process = FindProcess(processId);
  if (!process) return ERROR_INVALID_PARAMETER;
  for (const Thread& thread : process->threads) threadIds.push_back(thread.id);
  if (auto hook = onThreadListing_) hook();
  return ERROR_SUCCESS;
}

DWORD MadeUpMachine::ProcessOfThread(uint32_t threadId, uint32_t& processId) {
  std::lock_guard lock(mutex_);
  Process* owner = OwnerOf(threadId);
  if (!owner) return ERROR_INVALID_PARAMETER;
  processId = owner->id;
  return ERROR_SUCCESS;
}

DWORD MadeUpMachine::GetAffinity(uint32_t threadId, uint32_t& mask) {
  std::lock_guard lock(mutex_);
  Thread* thread = FindThread(threadId);
  if (!thread) return ERROR_INVALID_PARAMETER;
  if (DWORD refusal = RefusalOf(threadId, OwnerOf(threadId)->id, Operation::GetAffinity)) {
    return refusal;
  }
  mask = thread->mask;
  return ERROR_SUCCESS;
}

DWORD MadeUpMachine::SetAffinity(uint32_t threadId, uint32_t mask) {
  std::lock_guard lock(mutex_);
  Thread* thread = FindThread(threadId);
  if (!thread) return ERROR_INVALID_PARAMETER;
  Log("SetAffinity " + std::to_string(threadId) + " " + Hex(mask));
  if (DWORD refusal = RefusalOf(threadId, OwnerOf(threadId)->id, Operation::SetAffinity)) {
    return refusal;
  }
  uint32_t online = processorCount_ >= 32 ? 0xFFFFFFFFu : (uint32_t{1} << processorCount_) - 1;
  if ((mask & online) == 0) return ERROR_INVALID_PARAMETER;  // as sched_setaffinity: EINVAL
  thread->mask = mask & online;
  return ERROR_SUCCESS;
}

DWORD MadeUpMachine::GetScheduling(uint32_t threadId, Scheduling& scheduling) {
  std::lock_guard lock(mutex_);
  Thread* thread = FindThread(threadId);
  if (!thread) return ERROR_INVALID_PARAMETER;
  if (DWORD refusal = RefusalOf(threadId, OwnerOf(threadId)->id, Operation::GetScheduling)) {
    return refusal;
  }
  scheduling = thread->scheduling;
  return ERROR_SUCCESS;
}

DWORD MadeUpMachine::SetScheduling(uint32_t threadId, const Scheduling& scheduling) {
  std::lock_guard lock(mutex_);
  Thread* thread = FindThread(threadId);
  if (!thread) return ERROR_INVALID_PARAMETER;
  std::string line =
      "SetScheduling " + std::to_string(threadId) + " " + PolicyName(scheduling.policy);
  if (scheduling.IsRealtime()) {
    line += " rt " + std::to_string(scheduling.realtimePriority);
  } else {
    line += " nice " + std::to_string(scheduling.nice);
  }
  Log(line);
  if (DWORD refusal = RefusalOf(threadId, OwnerOf(threadId)->id, Operation::SetScheduling)) {
    return refusal;
  }
  thread->scheduling = scheduling;
  return ERROR_SUCCESS;
}

DWORD MadeUpMachine::LastProcessor(uint32_t threadId, unsigned& processor) {
  std::lock_guard lock(mutex_);
  Thread* thread = FindThread(threadId);
  if (!thread) return ERROR_INVALID_PARAMETER;
  processor = thread->lastProcessor;
  return ERROR_SUCCESS;
}

DWORD MadeUpMachine::Terminate(uint32_t processId) {
  std::lock_guard lock(mutex_);
  if (!FindProcess(processId)) return ERROR_INVALID_PARAMETER;
  Log("Terminate " + std::to_string(processId));
  EndProcess(processId);
  return ERROR_SUCCESS;
}

MadeUpMachine::Thread* MadeUpMachine::FindThread(uint32_t threadId) {
  for (Process& process : processes_) {
    for (Thread& thread : process.threads) {
      if (thread.id == threadId) return &thread;
    }
  }
  return nullptr;
}

MadeUpMachine::Process* MadeUpMachine::FindProcess(uint32_t processId) {
  for (Process& process : processes_) {
    if (process.id == processId) return &process;
  }
  return nullptr;
}

MadeUpMachine::Process* MadeUpMachine::OwnerOf(uint32_t threadId) {
  for (Process& process : processes_) {
    for (Thread& thread : process.threads) {
      if (thread.id == threadId) return &process;
    }
  }
  return nullptr;
}

DWORD MadeUpMachine::RefusalOf(uint32_t threadId, uint32_t processId, Operation operation) const {
  for (uint32_t id : {threadId, processId}) {
    if (failingAllocations_.count({id, operation})) throw std::bad_alloc();
    auto refusal = refused_.find({id, operation});
    if (refusal != refused_.end()) return refusal->second;
  }
  return ERROR_SUCCESS;
}

void MadeUpMachine::Log(std::string line) {
  callLog_.push_back(std::move(line));
}

}  // namespace tesmar::platform::testing
