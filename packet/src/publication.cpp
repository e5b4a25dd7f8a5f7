#include "packet/publication.h"

#include "packet/data_key.h"
#include "platform/errors.h"

namespace tesmar::packet {
namespace {

// The even number at or after the one stored: a pass that was under way when its service ended
// counts as over, and the next pass is numbered after it.
DWORD PublishedAtStart(HKEY dataKey) {
  DWORD stored = ReadDwordValue(dataKey, kProcListSerialValue).value_or(0);
  return stored + (stored & 1u);
}

}  // namespace

PublicationCounter::PublicationCounter(HKEY dataKey)
    : dataKey_(dataKey), published_(PublishedAtStart(dataKey)) {}

LSTATUS PublicationCounter::BeginPass() {
  return WriteDwordValue(dataKey_, kProcListSerialValue, published_ + 1);
}

LSTATUS PublicationCounter::EndPass() {
  // Counted as over even when the number cannot be written: the next pass is numbered after it,
  // so a reader who saw it under way still waits for a number that comes.
  published_ += 2;
  return WriteDwordValue(dataKey_, kProcListSerialValue, published_);
}

bool TakeRaisedFlag(HKEY dataKey, LPCWSTR flag, PublicationCounter& counter,
                    const std::function<void()>& readWhileRaised) {
  if (ReadDwordValue(dataKey, flag) != kFlagRaised) return false;
  // A pass that could not say it is under way must not take the flag: a client that saw the flag
  // lowered would take the publication before it for the answer.
  if (counter.BeginPass() != ERROR_SUCCESS) return false;
  if (readWhileRaised) readWhileRaised();
  if (WriteDwordValue(dataKey, flag, kFlagLowered) == ERROR_SUCCESS) return true;
  counter.EndPass();
  return false;
}

}  // namespace tesmar::packet
