#include "services/dispatcher_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/descriptor.h"
#include "base/machine_root.h"
#include "services/runtime.h"

namespace tesmar::platform {
namespace {

// A socket path may hold only 107 bytes, a machine root may be longer: the folder is reached
// through an open descriptor of it instead, which keeps the path short whatever the root.
class SocketAddress {
 public:
  SocketAddress(const std::string& directory, int processId)
      : folder_(open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {
    address_.sun_family = AF_UNIX;
    std::string path = "/proc/self/fd/" + std::to_string(folder_.get()) + "/" +
                       ServiceRuntime::ControlSocketName(processId);
    std::strncpy(address_.sun_path, path.c_str(), sizeof address_.sun_path - 1);
  }
  bool valid() const { return static_cast<bool>(folder_); }
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address_); }
  socklen_t size() const { return sizeof address_; }
  const char* path() const { return address_.sun_path; }

 private:
  OwnedDescriptor folder_;
  sockaddr_un address_{};
};

bool WaitReadable(int descriptor, int timeoutMilliseconds) {
  pollfd readable{descriptor, POLLIN, 0};
  int polled;
  while ((polled = poll(&readable, 1, timeoutMilliseconds)) < 0 && errno == EINTR) {
  }
  return polled == 1;
}

}  // namespace

int ListenForControls(const std::string& directory, int processId) {
  SocketAddress address(directory, processId);
  if (!address.valid()) return -1;
  int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (listener < 0) return -1;
  unlink(address.path());
  // Who may control the service is who may connect: the machine's files say who that is.
  if (bind(listener, address.get(), address.size()) != 0 ||
      chmod(address.path(), MachineFileMode(MachineRoot())) != 0 || listen(listener, 8) != 0) {
    int error = errno;
    close(listener);
    errno = error;
    return -1;
  }
  return listener;
}

ControlAnswer SendControl(const std::string& directory, int processId, DWORD control,
                          int timeoutMilliseconds) {
  SocketAddress address(directory, processId);
  if (!address.valid()) return {false, 0, errno == EACCES};
  int connection = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (connection < 0) return {false, 0};
  ControlAnswer answer{false, 0};
  if (connect(connection, address.get(), address.size()) != 0) {
    answer.refused = errno == EACCES || errno == EPERM;
  } else if (send(connection, &control, sizeof control, MSG_NOSIGNAL) == ssize_t(sizeof control) &&
             WaitReadable(connection, timeoutMilliseconds)) {
    DWORD result = 0;
    if (recv(connection, &result, sizeof result, 0) == ssize_t(sizeof result)) {
      answer = {true, result};
    }
  }
  close(connection);
  return answer;
}

bool ReceiveControl(int connection, DWORD* control) {
  return WaitReadable(connection, 1000) &&
         recv(connection, control, sizeof *control, 0) == ssize_t(sizeof *control);
}

void AnswerControl(int connection, DWORD result) {
  [[maybe_unused]] ssize_t sent = send(connection, &result, sizeof result, MSG_NOSIGNAL);
}

}  // namespace tesmar::platform
