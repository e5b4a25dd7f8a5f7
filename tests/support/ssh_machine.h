// A second machine for tests, reached through a real sshd: the sshd runs on a loopback port of
// its own, with a host key, keys and configuration made for the test in a folder of its own, in
// a PID and mount namespace of its own (unshare), so that its processes are another machine's.
// Its sessions get TESMAR_ROOT (the machine's own root, a folder beside) and a PATH that holds
// the build's tesmar-remote. Inside, the user nobody has a shell, so that a user without write
// access can log in too. The client side reaches it through the ssh configuration file
// TESMAR_SSH_CONFIG names, which the object sets for its life.
//
// Aliases: kMachine (root, the helper on its PATH), kMachineAsNobody, kMachineWithoutHelper
// (another port, whose sessions find no helper), kMachineWithOldHelper (one more, whose helper
// greets with another protocol version), kMachineWithRefusedKey (a key the sshd does
// not know), kMachineNotListening (a port nobody listens on), kMachineUnknown (a host name no
// resolver knows).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tesmar::testing {

class SshMachine {
 public:
  static constexpr char16_t kMachine[] = u"tesmar-far";
  static constexpr char kMachineNarrow[] = "tesmar-far";
  // The same machine under another name: a channel of its own, as a second operator's.
  static constexpr char16_t kMachineAgain[] = u"tesmar-far-again";
  static constexpr char16_t kMachineAsNobody[] = u"tesmar-far-nobody";
  static constexpr char16_t kMachineWithoutHelper[] = u"tesmar-far-nohelper";
  static constexpr char16_t kMachineWithOldHelper[] = u"tesmar-far-oldhelper";
  static constexpr char16_t kMachineWithRefusedKey[] = u"tesmar-far-refused";
  static constexpr char16_t kMachineNotListening[] = u"tesmar-far-closed";
  static constexpr char16_t kMachineUnknown[] = u"tesmar-far-unknown";

  // Starts the machine; skipReason() tells why it could not (not root, no sshd or unshare).
  SshMachine();
  ~SshMachine();
  SshMachine(const SshMachine&) = delete;
  SshMachine& operator=(const SshMachine&) = delete;

  const std::string& skipReason() const { return skipReason_; }
  // Why the machine could not be set up although it should have been; empty when it runs.
  const std::string& failure() const { return failure_; }
  // The far machine's TESMAR_ROOT, on this file system.
  const std::string& root() const { return root_; }

  // Runs a shell command inside the machine's namespaces; its standard output.
  std::string RunInside(const std::string& command) const;
  // A process started inside the machine, its standard input and output pipes of the test:
  // the first line it printed, and its end when the object goes (stdin closed, reaped).
  class Process {
   public:
    Process() = default;
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&&) = delete;
    const std::string& firstLine() const { return firstLine_; }

   private:
    friend class SshMachine;
    pid_t pid_ = -1;
    int input_ = -1;
    std::string firstLine_;
  };
  Process StartInside(const std::vector<std::string>& command) const;

  // Kills every tesmar-remote process of the build inside this machine (the far side of each
  // channel to it; other tests' machines are left alone).
  void KillHelpers() const;
  // Stops (SIGSTOP) or resumes (SIGCONT) them.
  void SignalHelpers(int signal) const;
  // The number of tesmar-remote processes of the build running inside this machine now.
  int HelperCount() const;

 private:
  bool Start();

  std::string skipReason_;
  std::string failure_;
  std::string folder_;
  std::string root_;
  std::string previousConfig_;
  bool hadConfig_ = false;
  pid_t unshare_ = -1;
  pid_t init_ = -1;  // the namespace's first process, as this machine numbers it
};

}  // namespace tesmar::testing
