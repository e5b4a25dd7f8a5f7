// The helper's side of the channel: requests read from one descriptor, each answered on a thread
// of a pool (a lock or a start may wait for long, and must not hold up the calls of other
// threads of the client), replies and change messages written whole, one at a time.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "remote/protocol/message.h"

namespace tesmar::remote_helper {

class RequestServer {
 public:
  RequestServer(int input, int output) : input_(input), output_(output) {}

  // Greets, checks the client's greeting, then serves until the input ends; the exit status.
  int Serve();
  // Writes a message whole; a client that is gone ends the program.
  void Send(const platform::remote::Message& message);

 private:
  void Run(std::function<void()> job);
  void Work();
  bool ReadGreeting(platform::remote::FrameSplitter& splitter);
  // Reads more input into the splitter; false at its end.
  bool Fill(platform::remote::FrameSplitter& splitter);

  int input_;
  int output_;
  std::mutex sendTurn_;
  std::mutex mutex_;
  std::condition_variable jobAdded_;
  std::deque<std::function<void()>> jobs_;
  size_t idle_ = 0;
  size_t threads_ = 0;
};

// The reply to one checked request: the same call on this machine.
platform::remote::Message Answer(const platform::remote::Message& request, RequestServer& server);

}  // namespace tesmar::remote_helper
