#include "request_server.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>
#include <vector>

namespace tesmar::remote_helper {
namespace {

using platform::remote::DecodeMessage;
using platform::remote::FrameSplitter;
using platform::remote::HasShape;
using platform::remote::Message;
using platform::remote::Op;
using platform::remote::RequestShape;

// Enough threads for every thread of a busy client to wait at once.
constexpr size_t kMostThreads = 64;

}  // namespace

void RequestServer::Send(const Message& message) {
  std::string frame = platform::remote::EncodeFrame(message);
  std::lock_guard turn(sendTurn_);
  size_t sent = 0;
  while (sent < frame.size()) {
    ssize_t written = write(output_, frame.data() + sent, frame.size() - sent);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) _exit(0);  // the client is gone
    sent += static_cast<size_t>(written);
  }
}

void RequestServer::Run(std::function<void()> job) {
  std::lock_guard lock(mutex_);
  jobs_.push_back(std::move(job));
  if (idle_ == 0 && threads_ < kMostThreads) {
    ++threads_;
    std::thread([this] { Work(); }).detach();
  } else {
    jobAdded_.notify_one();
  }
}

void RequestServer::Work() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      ++idle_;
      jobAdded_.wait(lock, [&] { return !jobs_.empty(); });
      --idle_;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

bool RequestServer::Fill(FrameSplitter& splitter) {
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    ssize_t got = read(input_, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    splitter.Append(buffer.data(), static_cast<size_t>(got));
    return true;
  }
}

bool RequestServer::ReadGreeting(FrameSplitter& splitter) {
  for (;;) {
    if (auto payload = splitter.Next()) {
      Message hello;
      if (!DecodeMessage(*payload, hello) || hello.op != Op::Hello || !HasShape(hello, "uu") ||
          hello.U32At(0) != platform::remote::kProtocolMagic) {
        std::fprintf(stderr, "tesmar-remote: the other side is no Tesmar client\n");
        return false;
      }
      if (hello.U32At(1) != platform::remote::kProtocolVersion) {
        std::fprintf(stderr,
                     "tesmar-remote: the client speaks protocol version %u; this helper speaks "
                     "version %u\n",
                     hello.U32At(1), platform::remote::kProtocolVersion);
        return false;
      }
      return true;
    }
    if (splitter.Broken() || !Fill(splitter)) return false;
  }
}

int RequestServer::Serve() {
  Message hello;
  hello.op = Op::Hello;
  hello.U32(platform::remote::kProtocolMagic).U32(platform::remote::kProtocolVersion);
  Send(hello);
  FrameSplitter splitter;
  if (!ReadGreeting(splitter)) return 2;
  for (;;) {
    while (auto payload = splitter.Next()) {
      auto request = std::make_shared<Message>();
      if (!DecodeMessage(*payload, *request) || RequestShape(request->op).empty() ||
          !HasShape(*request, RequestShape(request->op))) {
        std::fprintf(stderr, "tesmar-remote: a malformed request; the channel is closed\n");
        return 3;
      }
      Run([this, request] { Send(Answer(*request, *this)); });
    }
    if (splitter.Broken()) {
      std::fprintf(stderr, "tesmar-remote: a frame out of bounds; the channel is closed\n");
      return 3;
    }
    if (!Fill(splitter)) return 0;
  }
}

}  // namespace tesmar::remote_helper
