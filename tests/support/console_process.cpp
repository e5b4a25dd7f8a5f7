#include "support/console_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tesmar::testing {
namespace {

void CloseIfOpen(int& descriptor) {
  if (descriptor >= 0) close(descriptor);
  descriptor = -1;
}

std::chrono::steady_clock::time_point Deadline(std::chrono::milliseconds timeout) {
  return std::chrono::steady_clock::now() + timeout;
}

}  // namespace

ConsoleProcess::ConsoleProcess(const std::string& program,
                               const std::vector<std::string>& arguments) {
  int inputPipe[2], outputPipe[2], errorPipe[2];
  if (pipe2(inputPipe, O_CLOEXEC) != 0 || pipe2(outputPipe, O_CLOEXEC) != 0 ||
      pipe2(errorPipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("cannot make pipes for " + program);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, inputPipe[0], 0);
  posix_spawn_file_actions_adddup2(&actions, outputPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errorPipe[1], 2);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  pid_t child = -1;
  int spawnError = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(inputPipe[0]);
  close(outputPipe[1]);
  close(errorPipe[1]);
  input_ = inputPipe[1];
  output_ = outputPipe[0];
  error_ = errorPipe[0];
  if (spawnError != 0) {
    CloseIfOpen(input_);
    CloseIfOpen(output_);
    CloseIfOpen(error_);
    throw std::runtime_error("cannot start " + program);
  }
  pid_ = child;
  // A child that stops reading must not kill the test with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
}

ConsoleProcess::~ConsoleProcess() {
  if (!exitStatus_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  CloseIfOpen(input_);
  CloseIfOpen(output_);
  CloseIfOpen(error_);
}

bool ConsoleProcess::ReadMore(int descriptor, std::string& buffer,
                              std::chrono::steady_clock::time_point until) {
  if (descriptor < 0) return false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() < 0) return false;
    pollfd ready{descriptor, POLLIN, 0};
    int polled = poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) return false;
    char chunk[4096];
    ssize_t got = read(descriptor, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    buffer.append(chunk, static_cast<std::size_t>(got));
    return true;
  }
}

std::optional<std::string> ConsoleProcess::ReadLine(std::chrono::milliseconds timeout) {
  auto until = Deadline(timeout);
  for (;;) {
    std::size_t end = outputBuffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = outputBuffer_.substr(0, end);
      outputBuffer_.erase(0, end + 1);
      return line;
    }
    if (!ReadMore(output_, outputBuffer_, until)) return std::nullopt;
  }
}

std::string ConsoleProcess::ReadRemainingOutput(std::chrono::milliseconds timeout) {
  auto until = Deadline(timeout);
  while (ReadMore(output_, outputBuffer_, until)) {
  }
  std::string all;
  all.swap(outputBuffer_);
  return all;
}

std::string ConsoleProcess::ReadErrorOutput(std::chrono::milliseconds timeout) {
  auto until = Deadline(timeout);
  std::string all;
  while (ReadMore(error_, all, until)) {
  }
  return all;
}

void ConsoleProcess::Write(std::string_view text) {
  while (!text.empty() && input_ >= 0) {
    ssize_t written = write(input_, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

void ConsoleProcess::CloseInput() {
  CloseIfOpen(input_);
}

void ConsoleProcess::Kill() {
  if (pid_ > 0 && !exitStatus_) kill(pid_, SIGKILL);
}

std::optional<int> ConsoleProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (exitStatus_) return exitStatus_;
  auto until = Deadline(timeout);
  for (;;) {
    int status = 0;
    pid_t ended = waitpid(pid_, &status, WNOHANG);
    if (ended == pid_) {
      exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return exitStatus_;
    }
    if (ended < 0 || std::chrono::steady_clock::now() >= until) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace tesmar::testing
