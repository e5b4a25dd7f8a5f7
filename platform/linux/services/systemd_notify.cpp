#include "services/systemd_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "services/systemd_unit.h"

namespace tesmar::platform {

void NotifySystemd(std::string_view state) {
  // A socket inherited from elsewhere (a caller's unit) is not ours to tell.
  const char* manager = std::getenv(kServiceManagerVariable);
  const char* socketName = std::getenv("NOTIFY_SOCKET");
  if (!manager || std::string_view(manager) != "systemd" || !socketName) return;
  std::string_view name(socketName);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.empty() || name.size() >= sizeof address.sun_path ||
      (name[0] != '/' && name[0] != '@')) {
    return;
  }
  std::memcpy(address.sun_path, name.data(), name.size());
  if (name[0] == '@') address.sun_path[0] = '\0';  // an abstract name
  socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
  int datagram = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (datagram < 0) return;
  [[maybe_unused]] ssize_t sent = sendto(datagram, state.data(), state.size(), MSG_NOSIGNAL,
                                         reinterpret_cast<const sockaddr*>(&address), length);
  close(datagram);
}

}  // namespace tesmar::platform
