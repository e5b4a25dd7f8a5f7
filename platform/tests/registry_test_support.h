// Shared by the registry's tests: wide names, reading values back, and the helper program run
// as a second process.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/registry.h"

extern char** environ;

namespace registry_test {

inline HKEY CreateKey(HKEY parent, const char16_t* path, DWORD* disposition = nullptr) {
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, &key, disposition);
  if (result != ERROR_SUCCESS)
    throw std::runtime_error("RegCreateKeyExW " + std::to_string(result));
  return key;
}

inline LONG SetDword(HKEY key, const char16_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}

inline std::vector<BYTE> ReadBytes(HKEY key, const char16_t* name, LONG& result) {
  DWORD size = 0;
  result = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size);
  std::vector<BYTE> data(size);
  if (result == ERROR_SUCCESS) {
    result = RegQueryValueExW(key, name, nullptr, nullptr, data.data(), &size);
    data.resize(size);
  }
  return data;
}

// The helper program beside the test binary, with its standard output on a pipe.
class Helper {
 public:
  explicit Helper(const std::vector<std::string>& arguments) {
    std::string program =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "registry_helper")
            .string();
    int pipe_[2];
    if (pipe2(pipe_, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_[1], 1);
    std::vector<char*> argv{program.data()};
    std::vector<std::string> copies = arguments;
    for (auto& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int failed = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_[1]);
    output_ = pipe_[0];
    if (failed) throw std::runtime_error("cannot start " + program);
  }
  ~Helper() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
    close(output_);
  }
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;

  // The next line without its break; nullopt at the end of output or after the timeout.
  std::optional<std::string> ReadLine(
      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = buffer_.substr(0, end);
        buffer_.erase(0, end + 1);
        return line;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd descriptor{output_, POLLIN, 0};
      if (poll(&descriptor, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[4096];
      ssize_t length = read(output_, chunk, sizeof chunk);
      if (length <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<size_t>(length));
    }
  }

  void Kill() { kill(pid_, SIGKILL); }
  // The exit status, or 128 + the signal.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string buffer_;
};

}  // namespace registry_test
