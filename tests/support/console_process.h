// A program run by a test as a real child process, with its standard input, output and error
// on pipes the test holds: the test writes what a user would type and reads what the program
// prints, line by line, as soon as the program flushes it. The child inherits the test's
// environment (so a TemporaryMachineRoot reaches it). The destructor kills a child still running.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tesmar::testing {

class ConsoleProcess {
 public:
  // Starts program with the arguments; throws std::runtime_error when it cannot be started.
  ConsoleProcess(const std::string& program, const std::vector<std::string>& arguments);
  ~ConsoleProcess();
  ConsoleProcess(const ConsoleProcess&) = delete;
  ConsoleProcess& operator=(const ConsoleProcess&) = delete;

  int pid() const { return pid_; }

  // The next line of standard output without its line break; nullopt when the output ended or
  // no whole line came within the timeout.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  // Everything the program writes to standard output until it closes it (or the timeout).
  std::string ReadRemainingOutput(std::chrono::milliseconds timeout);
  // Everything the program writes to standard error until it closes it (or the timeout).
  std::string ReadErrorOutput(std::chrono::milliseconds timeout);

  void Write(std::string_view text);
  void CloseInput();
  // Ends the program at once (SIGKILL); WaitForExit then tells the signal.
  void Kill();

  // The exit status (or 128 + the signal that ended it); nullopt while it still runs after the
  // timeout.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);

 private:
  // Reads what the descriptor holds into buffer; false at end of file or timeout.
  bool ReadMore(int descriptor, std::string& buffer, std::chrono::steady_clock::time_point until);

  int pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  int error_ = -1;
  std::string outputBuffer_;
  std::optional<int> exitStatus_;
};

}  // namespace tesmar::testing
