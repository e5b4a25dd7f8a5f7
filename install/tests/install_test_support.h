// What the Setup and Uninstall tests share: a folder of a test's own with a copy of a program
// and a stand-in for the program it starts, which records its arguments and its pid, and stays
// until the test releases it, its folder goes or two minutes pass, then exits with a chosen code.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "operator_message.h"

namespace tesmar::install::testing {

class StandInFolder {
 public:
  // A fresh folder below the machine root (made by the caller's TemporaryMachineRoot).
  explicit StandInFolder(const std::string& machineRoot);

  const std::filesystem::path& path() const { return path_; }
  // Copies the program into the folder under its own name; the copy's path.
  std::string CopyProgram(const std::string& program) const;
  // Writes the stand-in under that name; it exits with exitCode once released.
  std::string WriteStandIn(const std::string& name, int exitCode) const;

  // The stand-in's arguments, one a line, once it started; none before.
  std::optional<std::vector<std::string>> StandInArguments() const;
  bool StandInStarted() const { return StandInArguments().has_value(); }
  // True while the started stand-in's process is alive.
  bool StandInRunning() const;
  void ReleaseStandIn() const;

 private:
  std::filesystem::path path_;
};

// A message the steps showed.
struct ShownMessage {
  std::string text;
  std::string caption;
  UINT flags;
};

// Records every message and answers with the button given.
class MessageRecorder {
 public:
  explicit MessageRecorder(int answer = IDOK) : answer_(answer) {}
  OperatorMessage Show() {
    return [this](const std::string& text, const std::string& caption, UINT flags) {
      shown.push_back({text, caption, flags});
      return answer_;
    };
  }
  std::vector<ShownMessage> shown;

 private:
  int answer_;
};

// No display for the programs a test starts, so that they ask on the terminal or not at all.
void WithoutDisplay();

}  // namespace tesmar::install::testing
