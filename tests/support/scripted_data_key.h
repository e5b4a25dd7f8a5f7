// The service's side of the Data key, played by a thread of the test process. It takes every
// raised flag exactly as the service does (packet/publication.h: a numbered pass begins, the
// flag goes down, the pass ends with the next number) and answers with the packet the test chose,
// so that a test can give sessions packets no real service would build (bad signatures, short
// values, odd thread counts) and decide what happens while a pass is under way.
//
// What a pass does is decided only once it has taken its flag: an answer chosen, and a flag
// raised after it, are always served together. UpdateList is read, as the service reads it,
// before UpdateFlag goes down, and every UpdateList a pass took is kept for the test.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "packet/publication.h"
#include "platform/owned_handle.h"
#include "support/test_packet.h"

namespace tesmar::testing {

class ScriptedDataKey {
 public:
  struct Answer {
    // What the pass publishes; none: the pass ends without a publication (a request it refused,
    // a packet it could not build).
    std::optional<TestPacket> publish;
    // The pass stays under way, its flag taken, until the test releases it.
    bool hold = false;
  };

  // Decides a pass from elsewhere than the test's own calls (a stand-in service process reads
  // the test's choice from the registry): called once the pass has taken its flag, with the
  // UpdateList it took (null for a refresh), under the lock; its answer is the pass's.
  using PassScript = std::function<Answer(const TestPacket* updateListTaken)>;

  // Serves the Data key of the current machine root, which must exist.
  ScriptedDataKey();
  explicit ScriptedDataKey(PassScript script);
  // A pass held at the end is let go first.
  ~ScriptedDataKey();
  ScriptedDataKey(const ScriptedDataKey&) = delete;
  ScriptedDataKey& operator=(const ScriptedDataKey&) = delete;

  // Publishes at once, in a pass of its own, as the service does at start.
  void Publish(const TestPacket& packet);
  // Every pass from now on answers so, once the answers queued for the next passes are used.
  void AnswerWith(Answer answer);
  // The next pass answers so.
  void QueueAnswer(Answer answer);
  // Flags are left raised, as by a stopped service.
  void StopAnswering();

  // Waits until a pass is held that was not released yet; false when none is within the
  // generous bound.
  bool WaitUntilHeld();
  // Lets the held pass go on.
  void Release();
  // Waits until that many passes have ended in all.
  bool WaitUntilPassesEnded(int count);

  // The UpdateList of every pass that took UpdateFlag, in the order of the passes.
  std::vector<TestPacket> UpdateListsTaken();
  int PassesEnded();

 private:
  void Run();
  // Takes a raised flag and serves it: false when no flag was raised (or nobody answers).
  bool TakeAndServe();
  Answer NextAnswer();

  PassScript script_;
  platform::OwnedKey key_;
  platform::OwnedHandle changed_;
  packet::PublicationCounter counter_;

  std::mutex mutex_;
  std::condition_variable stateChanged_;
  bool answering_ = true;
  Answer standing_;
  std::deque<Answer> queued_;
  // Holds are counted: a hold is under way while more have begun than were released.
  int holdsBegun_ = 0;
  int holdsReleased_ = 0;
  bool done_ = false;
  int passesEnded_ = 0;
  std::vector<TestPacket> updateListsTaken_;
  std::thread thread_;
};

}  // namespace tesmar::testing
