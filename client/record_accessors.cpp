// Reading and editing one process record of a session's copy. Setters store what they are given
// unchecked; the service decides what it can apply.

#include "session.h"

using tesmar::packet::ProcessRecord;

namespace {

constexpr DWORD kNoValue = 0;
constexpr LONG kNoThreadPriority = 127;
constexpr LONG kNoPrevIdealProcessor = -127;
// The two conventions the setters answer with.
constexpr INT kStored = 0, kNotStored = 1;      // process and thread masks, the watch mark
constexpr INT kAccepted = 1, kNotAccepted = 0;  // priorities, ideal processor, boost

ProcessRecord* RecordOf(TesmarRecord* record) {
  return reinterpret_cast<ProcessRecord*>(record);
}

// The record's thread slot `thread`, or null when the index lies beyond its threads.
ProcessRecord* RecordWithThread(TesmarRecord* handle, DWORD thread) {
  ProcessRecord* record = RecordOf(handle);
  if (!record || thread >= tesmar::packet::AddressableThreadSlots(record->ThreadCount)) {
    return nullptr;
  }
  return record;
}

}  // namespace

extern "C" LPCWSTR TesmarGetProcName(TesmarRecord* record) noexcept {
  return record ? RecordOf(record)->ProcName : nullptr;
}

extern "C" DWORD TesmarGetProcId(TesmarRecord* record) noexcept {
  return record ? RecordOf(record)->ProcId : kNoValue;
}

extern "C" DWORD TesmarGetProcAffin(TesmarRecord* record) noexcept {
  return record ? RecordOf(record)->ProcAffinity : kNoValue;
}

extern "C" INT TesmarSetProcAffin(TesmarRecord* record, DWORD mask) noexcept {
  if (!record) return kNotStored;
  RecordOf(record)->ProcAffinity = mask;
  return kStored;
}

extern "C" DWORD TesmarGetProcPrior(TesmarRecord* record) noexcept {
  return record ? RecordOf(record)->PriorityClass : kNoValue;
}

extern "C" INT TesmarSetProcPrior(TesmarRecord* record, DWORD priorityClass) noexcept {
  if (!record) return kNotAccepted;
  RecordOf(record)->PriorityClass = priorityClass;
  return kAccepted;
}

// A stored -1 (more threads than a record holds) reads as 256; a count no packet can hold
// reads as none.
extern "C" LONG TesmarGetThreadCount(TesmarRecord* record) noexcept {
  if (!record) return 0;
  return static_cast<LONG>(tesmar::packet::AddressableThreadSlots(RecordOf(record)->ThreadCount));
}

extern "C" DWORD TesmarGetThreadAffin(TesmarRecord* record, DWORD thread) noexcept {
  ProcessRecord* withThread = RecordWithThread(record, thread);
  return withThread ? withThread->ThreadAffinity[thread] : kNoValue;
}

extern "C" INT TesmarSetThreadAffin(TesmarRecord* record, DWORD thread, DWORD mask) noexcept {
  ProcessRecord* withThread = RecordWithThread(record, thread);
  if (!withThread) return kNotStored;
  withThread->ThreadAffinity[thread] = mask;
  return kStored;
}

extern "C" LONG TesmarGetThreadPrior(TesmarRecord* record, DWORD thread) noexcept {
  ProcessRecord* withThread = RecordWithThread(record, thread);
  return withThread ? withThread->ThreadPriority[thread] : kNoThreadPriority;
}

extern "C" INT TesmarSetThreadPrior(TesmarRecord* record, DWORD thread, LONG priority) noexcept {
  ProcessRecord* withThread = RecordWithThread(record, thread);
  if (!withThread) return kNotAccepted;
  withThread->ThreadPriority[thread] = priority;
  return kAccepted;
}

extern "C" INT TesmarSetThreadIdealProcessor(TesmarRecord* record, DWORD thread,
                                             DWORD processor) noexcept {
  ProcessRecord* withThread = RecordWithThread(record, thread);
  if (!withThread) return kNotAccepted;
  withThread->ThreadIdealProcessor[thread] = processor;
  return kAccepted;
}

extern "C" LONG TesmarGetprevIdealProcessor(TesmarRecord* record, DWORD thread) noexcept {
  ProcessRecord* withThread = RecordWithThread(record, thread);
  return withThread ? static_cast<LONG>(withThread->PrevIdealProcessor[thread])
                    : kNoPrevIdealProcessor;
}

extern "C" INT TesmarGetPriorityBoost(TesmarRecord* record, DWORD* disabled) noexcept {
  if (!record || !disabled) return 0;
  *disabled = RecordOf(record)->BoostDisabled;
  return static_cast<INT>(RecordOf(record)->BoostQueryOk);
}

extern "C" INT TesmarSetPriorityBoost(TesmarRecord* record, DWORD disable) noexcept {
  if (!record) return kNotAccepted;
  RecordOf(record)->BoostDisabled = disable;
  return kAccepted;
}

extern "C" INT TesmarGetWatchList(TesmarRecord* record) noexcept {
  return record ? static_cast<INT>(RecordOf(record)->Watched) : 0;
}

extern "C" INT TesmarSetWatchList(TesmarRecord* record, DWORD watched) noexcept {
  if (!record) return kNotStored;
  RecordOf(record)->Watched = watched;
  return kStored;
}
