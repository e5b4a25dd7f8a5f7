// The worker thread of tesmarsr: the only thread that touches the registry and the processes.
// It opens (or creates) the Data key, publishes a first packet or replays the last request, and
// then serves every flag a client raises, until the process ends.
#pragma once

namespace tesmar::service {

// Starts the worker; consoleFlag 1 makes its error reports print. Returns 1 when the thread
// runs, 0 (after reporting "CreateThread") when it could not be created.
int StartupServiceThread(int consoleFlag);

}  // namespace tesmar::service
