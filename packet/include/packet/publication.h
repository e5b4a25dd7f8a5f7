// Which publication ProcList holds, and which publication answers a raised flag.
//
// The service numbers its passes in ProcListSerial (REG_DWORD, beside ProcList). A pass first
// writes an odd number (a pass is under way), and only then lowers the flag it took, builds,
// merges and writes ProcList; it ends by writing the next even number, whether it could publish
// or not. The pass at start, which takes no flag, is numbered the same way. From this:
//
// - A client that raised a flag and later reads it lowered knows that a pass took it after the
//   raise: only the service writes kFlagLowered. That pass wrote its odd number before it
//   lowered the flag, so the serial the client reads next is that number or a later one, and
//   the first even number at or above what it reads is the end of that pass or of a later one:
//   the publication that answers the client. Any number past it says that publication has been
//   made. A client reads the number right after it saw the flag lowered, so that it waits for
//   the pass that took its raise and not for a later one. A pass that was under way when the client
//   raised its flag cannot answer it: it took an earlier raise, so the client's flag stays raised
//   past it, and two clients whose raises one pass took are both answered by it.
// - A reader that reads the same even number before and after reading ProcList holds exactly
//   that publication; a pass writes ProcList only between an odd and an even number.
//
// The numbers only grow, and a restarted service goes on after the number the key holds. A
// client of a service that does not number its passes finds no answer and waits for its longest
// wait, and a reader that does not know the value is not affected by it.
#pragma once

#include <functional>

#include "platform/registry.h"
#include "platform/win32_types.h"

namespace tesmar::packet {

constexpr bool IsPassUnderWay(DWORD serial) {
  return (serial & 1u) != 0;
}

// The first publication that answers a flag that was seen lowered before the serial was read.
constexpr DWORD AnsweringPublication(DWORD serialSeenAfterTake) {
  return serialSeenAfterTake + (serialSeenAfterTake & 1u);
}

// The answering publication (an even number) has been made: the number is it, or a later pass
// has begun since, odd though its number is. A client that waited for an even number alone
// could wait through a later pass, however long, and that pass may wait for the client.
constexpr bool IsAnswer(DWORD serial, DWORD answering) {
  return serial >= answering;
}

// The service's numbering of its passes.
class PublicationCounter {
 public:
  // Goes on after the number the key holds (after the pass that was under way, if the service
  // ended in one).
  explicit PublicationCounter(HKEY dataKey);

  // Marks a pass under way; the registry's result.
  LSTATUS BeginPass();
  // Marks it over: ProcList holds the publication of this number.
  LSTATUS EndPass();

  // The number of the last pass that ended.
  DWORD Published() const { return published_; }

 private:
  HKEY dataKey_;
  DWORD published_;
};

// Tests a flag as the service does: raised only while it holds kFlagRaised. A raised flag is
// taken: a pass begins, readWhileRaised (when given) reads what the flag asks for, then the flag
// is lowered, so that a client who sees it down knows its request has been read. True when the
// pass began and the flag went down, and the caller's pass is under way (the caller ends it);
// false otherwise, with no pass left under way and what was read to be dropped.
bool TakeRaisedFlag(HKEY dataKey, LPCWSTR flag, PublicationCounter& counter,
                    const std::function<void()>& readWhileRaised = nullptr);

}  // namespace tesmar::packet
