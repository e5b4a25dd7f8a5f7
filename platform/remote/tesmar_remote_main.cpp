// tesmar-remote: the helper a client starts on another machine through ssh
// ("ssh -T -o BatchMode=yes -- HOST tesmar-remote"). It serves the registry and service-manager
// calls of that client on this machine's TESMAR_ROOT over its standard input and output, as the
// user ssh logged in, until its input ends. Its standard error reaches the client's ssh.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "request_server.h"

int main() {
  signal(SIGPIPE, SIG_IGN);
  // The channel keeps descriptors of its own, closed in every program the helper starts (a
  // service started here must not hold the client's connection open); standard input and
  // output become /dev/null and standard error, so nothing else can write into the channel.
  int input = fcntl(0, F_DUPFD_CLOEXEC, 3);
  int output = fcntl(1, F_DUPFD_CLOEXEC, 3);
  int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (input < 0 || output < 0 || nothing < 0 || dup2(nothing, 0) < 0 || dup2(2, 1) < 0) {
    std::perror("tesmar-remote");
    return 1;
  }
  tesmar::remote_helper::RequestServer server(input, output);
  int status = server.Serve();
  std::fflush(stderr);
  // Threads may still wait on calls whose client is gone: end without running destructors.
  _exit(status);
}
