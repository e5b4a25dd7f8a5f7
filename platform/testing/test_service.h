// Using tesmar_test_service (test_service_main.cpp) from tests: where the program is, and what
// its control handler received.
#pragma once

#include <string>
#include <vector>

#include "platform/service.h"
#include "platform/win32_types.h"

namespace tesmar::platform::testing {

// The program, in the folder of the running test executable (all binaries land in one folder).
std::string TestServiceProgram();

struct ReceivedControl {
  int processId;
  DWORD control;
};
// The controls the test service's handler received under the current machine root, in order.
std::vector<ReceivedControl> ControlsReceivedByTestService();

// The arguments the test service's main routine received, as "<first> <second> ...", by the
// last instance that started; empty before any.
std::string ArgumentsOfTestService();

// Polls QueryServiceStatus until the service is in the state (true) or ten seconds passed.
bool WaitForServiceState(SC_HANDLE service, DWORD state);

}  // namespace tesmar::platform::testing
