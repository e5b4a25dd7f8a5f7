#include "watched_process.h"

#include "TesmarApi.h"

namespace tesmar::gui::testing {

bool WatchProcess(DWORD processId) {
  TesmarSession* session = TesmarOpen(0);
  bool sent = false;
  if (TesmarConnect(session, nullptr) == 0 && TesmarRefresh(session) == 0) {
    for (DWORD i = 0; TesmarRecord* record = TesmarGetProcObject(session, i); ++i) {
      if (TesmarGetProcId(record) == processId) {
        TesmarSetWatchList(record, 1);
        sent = TesmarUpdate(session) == 0;
      }
    }
  }
  TesmarClose(session);
  return sent;
}

}  // namespace tesmar::gui::testing
