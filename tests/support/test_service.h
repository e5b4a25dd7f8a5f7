// What tesmar_test_service (platform/testing/test_service_main.cpp) received, and a service
// handle's wait for a state.
#pragma once

#include <string>
#include <vector>

#include "platform/service.h"
#include "platform/win32_types.h"

namespace tesmar::testing {

struct ReceivedControl {
  int processId;
  DWORD control;
};
// The controls the test service's handler received under the current machine root, in order.
std::vector<ReceivedControl> ControlsReceivedByTestService();

// The arguments the test service's main routine received, as "<first> <second> ...", by the
// last instance that started; empty before any.
std::string ArgumentsOfTestService();

// Waits until QueryServiceStatus reports the state (true), within the generous bound.
bool WaitForServiceState(SC_HANDLE service, DWORD state);

}  // namespace tesmar::testing
