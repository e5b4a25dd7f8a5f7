// Reading the session's packet copy as a whole: its counts and its records.

#include "session.h"

using namespace tesmar::client;

namespace {

// What the counts answer for a session without a copy: 1, not 0, as callers have always seen.
constexpr DWORD kCountWithoutCopy = 1;

}  // namespace

extern "C" DWORD TesmarGetProcessCount(TesmarSession* session) noexcept {
  if (!session) return kCountWithoutCopy;
  auto* header = CopyView(*session).HeaderOrNull();
  return header ? header->ProcessCount : kCountWithoutCopy;
}

extern "C" DWORD TesmarGetProcessorCount(TesmarSession* session) noexcept {
  if (!session) return kCountWithoutCopy;
  auto* header = CopyView(*session).HeaderOrNull();
  return header ? header->ProcessorCount : kCountWithoutCopy;
}

extern "C" TesmarRecord* TesmarGetProcObject(TesmarSession* session, DWORD index) noexcept {
  if (!session) return nullptr;
  return reinterpret_cast<TesmarRecord*>(CopyView(*session).RecordOrNull(index));
}
