// A second process for the service manager's tests, to ask for rights as another user:
//
//   service_helper [--as-user UID] rights NAME
//
// prints one line a step, "<step> <error>" (0 for success): opening the manager with every right
// and only to connect, opening the service with every right and with the rights to look (query
// and interrogate), and through that handle a status query, an interrogate and a stop control;
// then a stop through a handle opened with the right to stop (the error of the open when it
// cannot be had).
#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/errors.h"
#include "platform/service.h"

namespace {

void Say(const char* step, DWORD error) {
  std::printf("%s %u\n", step, error);
  std::fflush(stdout);
}

// Opens, says how it went, and closes.
void TryOpen(const char* step, SC_HANDLE handle) {
  Say(step, handle ? ERROR_SUCCESS : GetLastError());
  if (handle) CloseServiceHandle(handle);
}

DWORD Outcome(BOOL succeeded) {
  return succeeded ? ERROR_SUCCESS : GetLastError();
}

int Rights(const char* name) {
  TryOpen("manager-all", OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  Say("manager-connect", manager ? ERROR_SUCCESS : GetLastError());
  if (!manager) return 0;
  TryOpen("service-all", OpenServiceA(manager, name, SERVICE_ALL_ACCESS));
  SERVICE_STATUS status{};
  SC_HANDLE looking = OpenServiceA(manager, name, SERVICE_QUERY_STATUS | SERVICE_INTERROGATE);
  Say("service-look", looking ? ERROR_SUCCESS : GetLastError());
  if (looking) {
    Say("query-status", Outcome(QueryServiceStatus(looking, &status)));
    Say("interrogate", Outcome(ControlService(looking, SERVICE_CONTROL_INTERROGATE, &status)));
    Say("stop-without-the-right", Outcome(ControlService(looking, SERVICE_CONTROL_STOP, &status)));
    CloseServiceHandle(looking);
  }
  SC_HANDLE stopping = OpenServiceA(manager, name, SERVICE_STOP);
  Say("stop",
      stopping ? Outcome(ControlService(stopping, SERVICE_CONTROL_STOP, &status)) : GetLastError());
  if (stopping) CloseServiceHandle(stopping);
  CloseServiceHandle(manager);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--as-user") == 0) {
    auto id = static_cast<uid_t>(std::strtoul(argv[2], nullptr, 10));
    if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0) {
      std::perror("cannot become the user");
      return 2;
    }
    first = 3;
  }
  if (argc - first == 2 && std::strcmp(argv[first], "rights") == 0) return Rights(argv[first + 1]);
  std::fprintf(stderr, "usage: see the top of service_helper_main.cpp\n");
  return 2;
}
