// The channel to another machine: one ssh child process running tesmar-remote there, its
// standard input and output a socket of ours. Calls from any thread of the process travel over
// it at once, each waiting for the reply of its own number; a reader thread hands replies to their
// callers and change messages to the events of their watches.
//
// A channel that breaks (ssh ends, a malformed frame, a call without answer in its time) is
// dead for good: every waiting and later call fails at once, every watch's event is signalled,
// and the next connect to the machine starts a fresh channel.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/event_object.h"
#include "remote/protocol/message.h"

namespace tesmar::platform::remote {

// Why a channel could not be opened, or why it broke.
enum class ChannelFailure {
  None,
  Unreachable,  // ssh found no machine, or the connection broke
  Refused,      // authentication or the host key was refused
  NoHelper,     // the helper is missing on the other side or speaks another protocol
};

class Channel {
 public:
  explicit Channel(std::string host) : host_(std::move(host)) {}
  ~Channel();
  Channel(const Channel&) = delete;
  Channel& operator=(const Channel&) = delete;

  // Starts ssh and exchanges greetings; None once the helper answered.
  ChannelFailure Open();

  // Sends the request and waits for its reply, at most timeout (a longer wait breaks the
  // channel); false when the channel is dead or broke meanwhile, or the reply has not the
  // operation's shape.
  bool Call(Message request, Message& reply, std::chrono::milliseconds timeout);

  // A watch: its event is signalled when the other side reports the change, or when the channel
  // dies. Returns the watch's number for the request.
  uint32_t AddWatch(std::shared_ptr<EventObject> event);
  void DropWatch(uint32_t watch);

  bool dead();
  const std::string& host() const { return host_; }

 private:
  void ReadLoop();
  void Deliver(Message message);
  void Die(ChannelFailure failure);
  bool Send(const std::string& frame);
  ChannelFailure FailureOfEndedSsh();

  const std::string host_;
  pid_t ssh_ = -1;
  int socket_ = -1;
  int errors_ = -1;  // ssh's standard error
  std::thread reader_;

  std::mutex sendTurn_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool dead_ = false;
  bool greeted_ = false;
  bool ended_ = false;  // the reader has reaped ssh
  ChannelFailure failure_ = ChannelFailure::None;
  std::string errorText_;
  uint32_t nextCall_ = 1;
  std::map<uint32_t, std::unique_ptr<Message>> replies_;  // null while awaited
  uint32_t nextWatch_ = 1;
  std::map<uint32_t, std::weak_ptr<EventObject>> watches_;
};

// How long a call that does not wait on purpose may take before the channel counts as broken;
// TESMAR_REMOTE_CALL_TIMEOUT (milliseconds) sets another.
std::chrono::milliseconds CallTimeout();

// The channel to the machine named host (checked already), opened at the first use and shared by
// every handle of that machine in the process; a dead channel is replaced by a fresh one.
std::shared_ptr<Channel> ChannelTo(const std::string& host, ChannelFailure& failure);

}  // namespace tesmar::platform::remote
