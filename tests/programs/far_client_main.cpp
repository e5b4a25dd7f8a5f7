// tesmar_far_client PID COUNT: an operator on the machine itself, for the remote machine tests.
// Connects to the service of its own TESMAR_ROOT, refreshes once, and sends COUNT requests for
// the process PID, its masks alternating between processor 1 and processor 0 (the last request
// sets processor 0). Prints "done <requests refused>", or "failed <step> <result>".
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "TesmarApi.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("failed usage 0\n");
    return 2;
  }
  DWORD pid = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10));
  int count = std::atoi(argv[2]);
  TesmarSession* session = TesmarOpen(0);
  INT result = TesmarConnect(session, nullptr);
  if (result == 0) result = TesmarRefresh(session);
  if (result != 0) {
    std::printf("failed connect %d\n", result);
    return 1;
  }
  int refused = 0;
  for (int n = 0; n < count; ++n) {
    TesmarRecord* record = nullptr;
    for (DWORD i = 0; i < TesmarGetProcessCount(session) && !record; ++i) {
      TesmarRecord* candidate = TesmarGetProcObject(session, i);
      if (candidate && TesmarGetProcId(candidate) == pid) record = candidate;
    }
    if (!record) {
      std::printf("failed record %d\n", n);
      return 1;
    }
    DWORD mask = (count - 1 - n) % 2 == 0 ? 0x1 : 0x2;
    TesmarSetWatchList(record, 1);
    TesmarSetProcAffin(record, mask);
    TesmarSetThreadAffin(record, 0, mask);
    if (TesmarUpdate(session) != 0) ++refused;
  }
  std::printf("done %d\n", refused);
  TesmarClose(session);
  return 0;
}
