#include "remote/channel.h"
#include "base/command_line.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace tesmar::platform::remote {
namespace {

using Clock = std::chrono::steady_clock;

// ssh gives up on a machine that does not answer after ConnectTimeout; the greeting is awaited a
// little longer, so that ssh's own answer comes first.
constexpr int kSshConnectTimeoutSeconds = 15;
constexpr std::chrono::seconds kGreetingTimeout{25};
constexpr std::chrono::milliseconds kDefaultCallTimeout{45000};
// How long an ended ssh is given to say why and exit before it is killed.
constexpr int kSshEndMilliseconds = 5000;
constexpr size_t kKeptErrorText = 4096;
constexpr char kSshConfigVariable[] = "TESMAR_SSH_CONFIG";

std::vector<std::string> SshArguments(const std::string& host) {
  std::vector<std::string> arguments{
      "ssh", "-T", "-o", "BatchMode=yes", "-o",
      "ConnectTimeout=" + std::to_string(kSshConnectTimeoutSeconds), "-o",
      // A machine that stops answering breaks the channel after about 15 seconds.
      "ServerAliveInterval=5", "-o", "ServerAliveCountMax=3"};
  if (const char* config = std::getenv(kSshConfigVariable); config && *config) {
    arguments.insert(arguments.end(), {"-F", config});
  }
  arguments.insert(arguments.end(), {"--", host, kHelperProgram});
  return arguments;
}

// Waits for the process to end, at most the time; true when it was reaped.
bool ReapWithin(pid_t process, int milliseconds, int& status) {
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, process, 0));
  if (pidfd >= 0) {
    pollfd ended{pidfd, POLLIN, 0};
    while (poll(&ended, 1, milliseconds) < 0 && errno == EINTR) {
    }
    close(pidfd);
  }
  pid_t reaped;
  while ((reaped = waitpid(process, &status, WNOHANG)) < 0 && errno == EINTR) {
  }
  return reaped == process;
}

}  // namespace

std::chrono::milliseconds CallTimeout() {
  if (const char* text = std::getenv("TESMAR_REMOTE_CALL_TIMEOUT")) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && value > 0) return std::chrono::milliseconds(value);
  }
  return kDefaultCallTimeout;
}

Channel::~Channel() {
  Die(ChannelFailure::Unreachable);
  if (reader_.joinable()) reader_.join();
  if (socket_ >= 0) close(socket_);
  if (errors_ >= 0) close(errors_);
}

ChannelFailure Channel::Open() {
  int sockets[2];
  int errorPipe[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
    return ChannelFailure::Unreachable;
  }
  if (pipe2(errorPipe, O_CLOEXEC) != 0) {
    close(sockets[0]);
    close(sockets[1]);
    return ChannelFailure::Unreachable;
  }
  std::vector<std::string> arguments = SshArguments(host_);
  std::vector<char*> argv = ExecVector(arguments);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, sockets[1], 0);
  posix_spawn_file_actions_adddup2(&actions, sockets[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errorPipe[1], 2);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  int spawned = posix_spawnp(&ssh_, "ssh", &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(sockets[1]);
  close(errorPipe[1]);
  socket_ = sockets[0];
  errors_ = errorPipe[0];
  if (spawned != 0) {
    ssh_ = -1;
    std::fprintf(stderr, "tesmar: cannot start ssh for %s\n", host_.c_str());
    return ChannelFailure::Unreachable;
  }
  reader_ = std::thread([this] { ReadLoop(); });

  Message hello;
  hello.op = Op::Hello;
  hello.U32(kProtocolMagic).U32(kProtocolVersion);
  Send(EncodeFrame(hello));
  std::unique_lock lock(mutex_);
  bool answered = changed_.wait_for(lock, kGreetingTimeout, [&] { return greeted_ || dead_; });
  if (!answered) {
    lock.unlock();
    Die(ChannelFailure::Unreachable);
    lock.lock();
  }
  if (!dead_) return ChannelFailure::None;
  std::string text = errorText_;
  ChannelFailure failure = failure_;
  lock.unlock();
  while (!text.empty() && text.back() == '\n') text.pop_back();
  std::fprintf(stderr, "tesmar: %s cannot be reached through ssh%s%s\n", host_.c_str(),
               text.empty() ? "" : ": ", text.c_str());
  return failure;
}

bool Channel::dead() {
  std::lock_guard lock(mutex_);
  return dead_;
}

bool Channel::Send(const std::string& frame) {
  if (frame.empty()) return false;
  std::lock_guard turn(sendTurn_);
  size_t sent = 0;
  while (sent < frame.size()) {
    ssize_t written =
        send(socket_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (written > 0) {
      sent += static_cast<size_t>(written);
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // A full socket: wait for room, but never longer than a call may take.
      pollfd room{socket_, POLLOUT, 0};
      int ready;
      while ((ready = poll(&room, 1, static_cast<int>(CallTimeout().count()))) < 0 &&
             errno == EINTR) {
      }
      if (ready == 1 && !(room.revents & (POLLERR | POLLHUP))) continue;
    }
    return false;
  }
  return true;
}

bool Channel::Call(Message request, Message& reply, std::chrono::milliseconds timeout) {
  uint32_t call;
  {
    std::lock_guard lock(mutex_);
    if (dead_) return false;
    call = nextCall_++;
    replies_[call] = nullptr;
  }
  request.call = call;
  if (!Send(EncodeFrame(request))) {
    Die(ChannelFailure::Unreachable);
  }
  std::unique_lock lock(mutex_);
  auto arrived = [&] { return dead_ || replies_[call] != nullptr; };
  bool answered = timeout.count() < 0 ? (changed_.wait(lock, arrived), true)
                                      : changed_.wait_for(lock, timeout, arrived);
  std::unique_ptr<Message> answer = std::move(replies_[call]);
  replies_.erase(call);
  lock.unlock();
  if (!answer) {
    if (!answered) Die(ChannelFailure::Unreachable);  // no answer in time: the far side hangs
    return false;
  }
  if (answer->op != Op::Reply || !HasShape(*answer, ReplyShape(request.op))) {
    Die(ChannelFailure::Unreachable);
    return false;
  }
  reply = std::move(*answer);
  return true;
}

uint32_t Channel::AddWatch(std::shared_ptr<EventObject> event) {
  std::lock_guard lock(mutex_);
  if (dead_) {
    event->Set();
    return 0;
  }
  uint32_t watch = nextWatch_++;
  watches_[watch] = event;
  return watch;
}

void Channel::DropWatch(uint32_t watch) {
  std::lock_guard lock(mutex_);
  watches_.erase(watch);
}

void Channel::Deliver(Message message) {
  std::lock_guard lock(mutex_);
  switch (message.op) {
    case Op::Hello:
      if (!HasShape(message, "uu") || message.U32At(0) != kProtocolMagic) {
        failure_ = ChannelFailure::NoHelper;
        dead_ = true;
      } else if (message.U32At(1) != kProtocolVersion) {
        std::fprintf(stderr,
                     "tesmar: %s's %s speaks protocol version %u; this program speaks version "
                     "%u\n",
                     host_.c_str(), kHelperProgram, message.U32At(1), kProtocolVersion);
        failure_ = ChannelFailure::NoHelper;
        dead_ = true;
      } else {
        greeted_ = true;
      }
      break;
    case Op::Reply:
      if (auto waiting = replies_.find(message.call);
          waiting != replies_.end() && !waiting->second) {
        waiting->second = std::make_unique<Message>(std::move(message));
      }
      break;
    case Op::Changed:
      if (HasShape(message, "u")) {
        if (auto watch = watches_.find(message.U32At(0)); watch != watches_.end()) {
          if (auto event = watch->second.lock()) event->Set();
          watches_.erase(watch);
        }
      }
      break;
    default:
      break;  // requests do not travel this way
  }
  changed_.notify_all();
}

void Channel::ReadLoop() {
  FrameSplitter splitter;
  std::vector<char> buffer(64 * 1024);
  pollfd fds[2] = {{socket_, POLLIN, 0}, {errors_, POLLIN, 0}};
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (dead_) break;
    }
    int ready = poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents) {
      ssize_t got = read(errors_, buffer.data(), buffer.size());
      if (got <= 0) {
        fds[1].fd = -1;
      } else {
        std::lock_guard lock(mutex_);
        errorText_.append(buffer.data(), static_cast<size_t>(got));
        if (errorText_.size() > kKeptErrorText) {
          errorText_.erase(0, errorText_.size() - kKeptErrorText);
        }
      }
    }
    if (fds[0].revents) {
      ssize_t got = read(socket_, buffer.data(), buffer.size());
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      splitter.Append(buffer.data(), static_cast<size_t>(got));
      bool malformed = false;
      while (auto payload = splitter.Next()) {
        Message message;
        if (!DecodeMessage(*payload, message)) {
          malformed = true;
          break;
        }
        Deliver(std::move(message));
      }
      if (malformed || splitter.Broken()) break;
    }
  }
  ChannelFailure failure;
  {
    std::lock_guard lock(mutex_);
    failure = greeted_ || failure_ != ChannelFailure::None ? failure_ : ChannelFailure::None;
  }
  if (failure == ChannelFailure::None) {
    failure = greeted_ ? ChannelFailure::Unreachable : FailureOfEndedSsh();
  }
  Die(failure);
  {
    std::lock_guard lock(mutex_);
    if (!ended_) kill(ssh_, SIGKILL);
  }
  int status = 0;
  if (!ended_) {
    while (waitpid(ssh_, &status, 0) < 0 && errno == EINTR) {
    }
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
}

// ssh ended before the helper greeted: its exit status and its last words tell why. 255 is
// ssh's own failure; anything else came from the other side (no helper there, or one that
// refused the greeting).
ChannelFailure Channel::FailureOfEndedSsh() {
  std::vector<char> buffer(4096);
  auto until = Clock::now() + std::chrono::milliseconds(kSshEndMilliseconds);
  pollfd errors{errors_, POLLIN, 0};
  while (Clock::now() < until) {
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count());
    if (poll(&errors, 1, left) <= 0) break;
    ssize_t got = read(errors_, buffer.data(), buffer.size());
    if (got <= 0) break;
    std::lock_guard lock(mutex_);
    errorText_.append(buffer.data(), static_cast<size_t>(got));
    if (errorText_.size() > kKeptErrorText) errorText_.erase(0, errorText_.size() - kKeptErrorText);
  }
  int status = 0;
  bool reaped = ReapWithin(ssh_, kSshEndMilliseconds, status);
  std::lock_guard lock(mutex_);
  if (reaped) ended_ = true;
  bool refused = errorText_.find("Permission denied") != std::string::npos ||
                 errorText_.find("Host key verification failed") != std::string::npos ||
                 errorText_.find("Too many authentication failures") != std::string::npos;
  if (refused) return ChannelFailure::Refused;
  if (!reaped || !WIFEXITED(status) || WEXITSTATUS(status) == 255) {
    return ChannelFailure::Unreachable;
  }
  return ChannelFailure::NoHelper;
}

void Channel::Die(ChannelFailure failure) {
  std::vector<std::shared_ptr<EventObject>> woken;
  {
    std::lock_guard lock(mutex_);
    if (dead_ && failure_ != ChannelFailure::None) return;
    if (failure_ == ChannelFailure::None) failure_ = failure;
    bool wasDead = dead_;
    dead_ = true;
    for (auto& [number, event] : watches_) {
      if (auto alive = event.lock()) woken.push_back(std::move(alive));
    }
    watches_.clear();
    if (!wasDead && socket_ >= 0) shutdown(socket_, SHUT_RDWR);
  }
  for (auto& event : woken) event->Set();
  changed_.notify_all();
}

std::shared_ptr<Channel> ChannelTo(const std::string& host, ChannelFailure& failure) {
  // Never destroyed: channels end with the process, whose exit closes their sockets.
  static auto* mutex = new std::mutex;
  static auto* channels = new std::map<std::string, std::shared_ptr<Channel>>;
  std::lock_guard lock(*mutex);
  auto& slot = (*channels)[host];
  if (slot && !slot->dead()) {
    failure = ChannelFailure::None;
    return slot;
  }
  slot.reset();
  auto channel = std::make_shared<Channel>(host);
  failure = channel->Open();
  if (failure != ChannelFailure::None) return nullptr;
  slot = channel;
  return channel;
}

}  // namespace tesmar::platform::remote
