#include "support/ssh_machine.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "support/programs.h"
#include "support/wait_until.h"

extern char** environ;

namespace tesmar::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kConfigVariable[] = "TESMAR_SSH_CONFIG";

// Ports nobody listens on now, all different: each is held until all are chosen.
std::vector<int> FreePorts(int count) {
  std::vector<int> ports, probes;
  for (int i = 0; i < count; ++i) {
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      ports.push_back(ntohs(address.sin_port));
    } else {
      ports.push_back(0);
    }
    probes.push_back(probe);
  }
  for (int probe : probes) close(probe);
  return ports;
}

bool Listening(int port) {
  int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool connected = connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(probe);
  return connected;
}

std::string Output(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    std::array<char, 4096> buffer;
    size_t got;
    while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
      output.append(buffer.data(), got);
    pclose(pipe);
  }
  return output;
}

bool Run(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}

// /etc/passwd as the machine sees it: nobody gets a shell, so that it may run the helper.
std::string PasswdWithShellForNobody() {
  std::istringstream lines(Slurp("/etc/passwd"));
  std::string line, out;
  while (std::getline(lines, line)) {
    if (line.rfind("nobody:", 0) == 0) line = line.substr(0, line.rfind(':') + 1) + "/bin/sh";
    out += line + "\n";
  }
  return out;
}

// The build's tesmar-remote processes that run inside the PID namespace of the process init.
std::vector<pid_t> HelperProcesses(pid_t init) {
  std::vector<pid_t> found;
  std::string helper = fs::weakly_canonical(BuildProgram("tesmar-remote")).string();
  std::error_code failure;
  fs::path machine = fs::read_symlink("/proc/" + std::to_string(init) + "/ns/pid", failure);
  if (failure) return found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    fs::path exe = fs::read_symlink(entry.path() / "exe", failure);
    if (failure || exe.string() != helper) continue;
    fs::path space = fs::read_symlink(entry.path() / "ns" / "pid", failure);
    if (!failure && space == machine) found.push_back(std::stoi(name));
  }
  return found;
}

}  // namespace

SshMachine::SshMachine() {
  if (geteuid() != 0) {
    skipReason_ = "needs root: the test's sshd logs users in";
  } else if (access("/usr/sbin/sshd", X_OK) != 0 || Output("command -v ssh").empty()) {
    skipReason_ = "needs openssh-server and openssh-client (scripts/install-dependencies.sh)";
  } else if (Output("command -v unshare").empty() || Output("command -v nsenter").empty()) {
    skipReason_ = "needs unshare and nsenter (util-linux)";
  } else if (!Start() && failure_.empty()) {
    failure_ = "the test's ssh machine could not be set up";
  }
}

bool SshMachine::Start() {
  char pattern[] = "/tmp/tesmar-ssh-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  folder_ = pattern;
  chmod(folder_.c_str(), 0755);  // nobody, too, enters the far machine's root
  root_ = folder_ + "/machine";
  mkdir(root_.c_str(), 0755);
  const std::string& d = folder_;
  for (const char* key : {"host_key", "id", "other_id"}) {
    if (!Run("ssh-keygen -q -t ed25519 -N '' -f " + d + "/" + key + " </dev/null")) return false;
  }
  fs::copy_file(d + "/id.pub", d + "/authorized_keys");
  Write(d + "/passwd", PasswdWithShellForNobody());
  std::vector<int> ports = FreePorts(4);
  int port = ports[0], noHelperPort = ports[1], oldHelperPort = ports[2], closedPort = ports[3];
  // A helper of another protocol version: it greets with version 99 and waits.
  mkdir((d + "/old").c_str(), 0755);
  Write(d + "/old/tesmar-remote",
        "#!/bin/sh\nprintf '\\022\\000\\000\\000\\001\\000\\000\\000\\000\\000\\000\\000"
        "uTSMRu\\143\\000\\000\\000'\nexec cat >/dev/null\n");
  chmod((d + "/old/tesmar-remote").c_str(), 0755);
  std::string binaries = fs::path(BuildProgram("tesmar-remote")).parent_path().string();
  std::string hostKey = Slurp(d + "/host_key.pub");
  hostKey = hostKey.substr(0, hostKey.find_last_of(' '));
  Write(d + "/known_hosts", "[127.0.0.1]:" + std::to_string(port) + " " + hostKey +
                                "\n[127.0.0.1]:" + std::to_string(noHelperPort) + " " + hostKey +
                                "\n[127.0.0.1]:" + std::to_string(oldHelperPort) + " " + hostKey +
                                "\n");
  Write(d + "/sshd_config",
        "ListenAddress 127.0.0.1\nPort " + std::to_string(port) + "\nPort " +
            std::to_string(noHelperPort) + "\nPort " + std::to_string(oldHelperPort) +
            "\nHostKey " + d + "/host_key\nAuthorizedKeysFile " + d + "/authorized_keys\nPidFile " +
            d + "/sshd.pid\nStrictModes no\nUsePAM no\n" +
            "PasswordAuthentication no\nKbdInteractiveAuthentication no\nPermitRootLogin yes\n" +
            "PrintMotd no\nLogLevel ERROR\n" + "Match LocalPort " + std::to_string(port) +
            "\n  SetEnv TESMAR_ROOT=" + root_ + " PATH=" + binaries + ":/usr/bin:/bin\n" +
            "Match LocalPort " + std::to_string(noHelperPort) + "\n  SetEnv TESMAR_ROOT=" + root_ +
            " PATH=/usr/bin:/bin\n" + "Match LocalPort " + std::to_string(oldHelperPort) +
            "\n  SetEnv TESMAR_ROOT=" + root_ + " PATH=" + d + "/old:/usr/bin:/bin\n");
  auto host = [&](const std::string& alias, int onPort, const std::string& user,
                  const std::string& key) {
    return "Host " + alias + "\n  HostName 127.0.0.1\n  Port " + std::to_string(onPort) +
           "\n  User " + user + "\n  IdentityFile " + d + "/" + key +
           "\n  IdentitiesOnly yes\n  UserKnownHostsFile " + d +
           "/known_hosts\n  StrictHostKeyChecking yes\n  LogLevel ERROR\n";
  };
  // A name that no resolver knows (.invalid is reserved for that).
  std::string unknown = host("tesmar-far-unknown", port, "root", "id");
  unknown.replace(unknown.find("127.0.0.1"), 9, "no-such-machine.invalid");
  Write(d + "/ssh_config", host("tesmar-far", port, "root", "id") +
                               host("tesmar-far-again", port, "root", "id") +
                               host("tesmar-far-nobody", port, "nobody", "id") +
                               host("tesmar-far-nohelper", noHelperPort, "root", "id") +
                               host("tesmar-far-oldhelper", oldHelperPort, "root", "id") +
                               host("tesmar-far-refused", port, "root", "other_id") +
                               host("tesmar-far-closed", closedPort, "root", "id") + unknown);
  Write(d + "/start.sh", "mkdir -p /run/sshd\nmount --bind " + d + "/passwd /etc/passwd\n" +
                             "exec /usr/sbin/sshd -D -e -f " + d + "/sshd_config 2>>" + d +
                             "/sshd.log\n");
  chmod((d + "/id").c_str(), 0600);
  chmod((d + "/other_id").c_str(), 0600);

  std::vector<std::string> arguments{"unshare",      "--pid",   "--fork",       "--mount-proc",
                                     "--kill-child", "/bin/sh", d + "/start.sh"};
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  if (posix_spawnp(&unshare_, "unshare", nullptr, nullptr, argv.data(), environ) != 0) {
    unshare_ = -1;
    failure_ = "unshare cannot be started";
    return false;
  }
  if (!WaitUntil(
          [&] { return Listening(port) && Listening(noHelperPort) && Listening(oldHelperPort); })) {
    failure_ = "the test's sshd did not start: " + Slurp(d + "/sshd.log");
    return false;
  }
  std::string children = Slurp("/proc/" + std::to_string(unshare_) + "/task/" +
                               std::to_string(unshare_) + "/children");
  init_ = std::atoi(children.c_str());

  if (const char* previous = std::getenv(kConfigVariable)) {
    hadConfig_ = true;
    previousConfig_ = previous;
  }
  setenv(kConfigVariable, (d + "/ssh_config").c_str(), 1);
  return true;
}

SshMachine::~SshMachine() {
  if (hadConfig_) {
    setenv(kConfigVariable, previousConfig_.c_str(), 1);
  } else {
    unsetenv(kConfigVariable);
  }
  if (unshare_ > 0) {
    // unshare ignores SIGTERM while it waits; --kill-child then ends the namespace and
    // everything in it.
    kill(unshare_, SIGKILL);
    int status;
    waitpid(unshare_, &status, 0);
  }
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
}

std::string SshMachine::RunInside(const std::string& command) const {
  return Output("nsenter -t " + std::to_string(init_) + " -p -m -- /bin/sh -c '" + command + "'");
}

SshMachine::Process::~Process() {
  if (input_ >= 0) close(input_);
  if (pid_ > 0) {
    int status;
    waitpid(pid_, &status, 0);
  }
}

SshMachine::Process::Process(Process&& other) noexcept
    : pid_(other.pid_), input_(other.input_), firstLine_(std::move(other.firstLine_)) {
  other.pid_ = -1;
  other.input_ = -1;
}

SshMachine::Process SshMachine::StartInside(const std::vector<std::string>& command) const {
  Process process;
  int input[2], output[2];
  if (pipe2(input, O_CLOEXEC) != 0) return process;
  if (pipe2(output, O_CLOEXEC) != 0) {
    close(input[0]);
    close(input[1]);
    return process;
  }
  std::vector<std::string> arguments{"nsenter", "-t", std::to_string(init_), "-p", "-m", "--"};
  arguments.insert(arguments.end(), command.begin(), command.end());
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  if (posix_spawnp(&process.pid_, "nsenter", &actions, nullptr, argv.data(), environ) != 0) {
    process.pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  close(output[1]);
  process.input_ = input[1];
  char c;
  while (read(output[0], &c, 1) == 1 && c != '\n') process.firstLine_.push_back(c);
  close(output[0]);
  return process;
}

void SshMachine::KillHelpers() const {
  SignalHelpers(SIGKILL);
}

void SshMachine::SignalHelpers(int signal) const {
  for (pid_t helper : HelperProcesses(init_)) kill(helper, signal);
}

int SshMachine::HelperCount() const {
  return static_cast<int>(HelperProcesses(init_).size());
}

}  // namespace tesmar::testing
