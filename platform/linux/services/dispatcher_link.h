// How the manager reaches a service process it started: the environment tells the process its
// name and machine; a control socket in the service's runtime folder carries the controls.
#pragma once

#include <string>

#include "platform/win32_types.h"

namespace tesmar::platform {

inline constexpr char kMachineRootVariable[] = "TESMAR_ROOT";
inline constexpr char kServiceNameVariable[] = "TESMAR_SERVICE_NAME";

// A listening socket (SOCK_SEQPACKET, one message a control) named ControlSocketName(processId)
// in the folder, or -1 with errno set. A stale socket of that name is replaced.
int ListenForControls(const std::string& directory, int processId);

struct ControlAnswer {
  bool delivered;        // false: nobody listens, or the process ended before it answered
  DWORD result;          // the dispatcher's answer: 0 once the handler returned, or a Win32 error
  bool refused = false;  // the caller may not connect to the instance's socket
};

// Sends one control to the instance running as processId and waits for the answer.
ControlAnswer SendControl(const std::string& directory, int processId, DWORD control,
                          int timeoutMilliseconds);

// The dispatcher's side of one connection: reads the control (waiting at most a second for it),
// or returns false.
bool ReceiveControl(int connection, DWORD* control);
void AnswerControl(int connection, DWORD result);

}  // namespace tesmar::platform
