#include "worker_thread.h"

#include <cstdint>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/threading.h"
#include "error_report.h"
#include "packet_engine.h"
#include "raised_flag_waiter.h"

namespace tesmar::service {
namespace {

constexpr char16_t kDataKeyPath[] = u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data";

// Registry calls answer their error instead of setting the last error; it is set here so that
// the report shows the registry's own number.
void ReportRegistryError(LSTATUS status, const char16_t* operationName, int print) {
  SetLastError(static_cast<DWORD>(status));
  ReportError(operationName, print);
}

void PublishFirstPacket(HKEY dataKey, int consoleFlag) {
  LivePacket* packet = ServerPacketOpen(dataKey);
  if (!packet) ReportError(u"ServerPacketOpen()", consoleFlag);
  ServerPacketWrite(packet);
  ServerPacketClose(packet);
}

DWORD WorkerThread(LPVOID parameter) {
  const int consoleFlag = static_cast<int>(reinterpret_cast<intptr_t>(parameter));

  HKEY machine = nullptr;
  LSTATUS status = RegConnectRegistryW(nullptr, HKEY_LOCAL_MACHINE, &machine);
  if (status != ERROR_SUCCESS) {
    ReportRegistryError(status, u"RegConnectRegistry", consoleFlag);
    return 0;
  }

  HKEY dataKey = nullptr;
  DWORD disposition = 0;
  status = RegCreateKeyExW(machine, kDataKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &dataKey, &disposition);
  if (status != ERROR_SUCCESS) {
    ReportRegistryError(status, u"RegCreateKey: PROCDATA", consoleFlag);
    RegCloseKey(machine);
    return 0;
  }

  // A key that already existed may hold a request left from before the service stopped.
  if (disposition == REG_CREATED_NEW_KEY) {
    PublishFirstPacket(dataKey, consoleFlag);
  } else {
    ApplyUpdateList(dataKey);
  }

  RaisedFlagWaiter waiter;
  for (;;) {
    switch (waiter.WaitForRaisedFlag(dataKey)) {
      case RaisedFlag::Update:
        ApplyUpdateList(dataKey);
        break;
      case RaisedFlag::Refresh:
        RefreshProcList(dataKey);
        break;
    }
  }
}

}  // namespace

int StartupServiceThread(int consoleFlag) {
  DWORD threadId = 0;
  HANDLE thread =
      CreateThread(nullptr, 0, WorkerThread,
                   reinterpret_cast<LPVOID>(static_cast<intptr_t>(consoleFlag)), 0, &threadId);
  if (!thread) {
    ReportError(u"CreateThread", consoleFlag);
    return 0;
  }
  // The worker is never waited for: it ends with the process.
  CloseHandle(thread);
  return 1;
}

}  // namespace tesmar::service
