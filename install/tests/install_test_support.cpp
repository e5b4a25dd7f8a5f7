#include "install_test_support.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tesmar::install::testing {

namespace fs = std::filesystem;

StandInFolder::StandInFolder(const std::string& machineRoot) {
  static std::atomic<int> counter{0};
  path_ = fs::path(machineRoot) / ("stand-in-" + std::to_string(counter++));
  fs::create_directories(path_);
}

std::string StandInFolder::CopyProgram(const std::string& program) const {
  fs::path copy = path_ / fs::path(program).filename();
  fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
  return copy.string();
}

std::string StandInFolder::WriteStandIn(const std::string& name, int exitCode) const {
  fs::path script = path_ / name;
  std::ofstream(script)
      << "#!/bin/sh\n"
      << "folder='" << path_.string()
      << "'\n"
      // Its output is not the test's: a test runner waits until the test's output closes.
      << "exec </dev/null >/dev/null 2>&1\n"
      << "echo $$ > \"$folder/stand-in.pid\"\n"
      << ": > \"$folder/arguments.new\"\n"
      << "for a in \"$@\"; do printf '%s\\n' \"$a\" >> \"$folder/arguments.new\"; done\n"
      << "mv \"$folder/arguments.new\" \"$folder/arguments\"\n"
      << "i=0\n"
      << "while [ -d \"$folder\" ] && [ ! -e \"$folder/release\" ] && [ $i -lt 1200 ]; do\n"
      << "  sleep 0.1; i=$((i + 1))\n"
      << "done\n"
      << "exit " << exitCode << "\n";
  fs::permissions(script, fs::perms::owner_all);
  return script.string();
}

std::optional<std::vector<std::string>> StandInFolder::StandInArguments() const {
  std::ifstream file(path_ / "arguments");
  if (!file) return std::nullopt;
  std::vector<std::string> arguments;
  for (std::string line; std::getline(file, line);) arguments.push_back(line);
  return arguments;
}

bool StandInFolder::StandInRunning() const {
  std::ifstream file(path_ / "stand-in.pid");
  int pid = 0;
  if (!(file >> pid) || pid <= 0) return false;
  // A zombie is an ended process too.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z' &&
         kill(pid, 0) == 0;
}

void StandInFolder::ReleaseStandIn() const {
  std::ofstream(path_ / "release") << "go\n";
}

void WithoutDisplay() {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
}

}  // namespace tesmar::install::testing
