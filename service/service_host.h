// Service mode of tesmarsr: the service "KaltrixTesmar" under the service control manager. The
// service main routine starts the worker thread, reports running once the worker serves, and on
// the stop control stops the worker before it reports stopped; the control handler answers only
// that control.
#pragma once

namespace tesmar::service {

// Runs the dispatcher until the service has stopped, with the startup tune before and the
// shutdown tune after it. Returns the program's exit code: 1 when the dispatcher could not
// connect (the program was not started by the service control manager), else 0.
int RunAsService();

}  // namespace tesmar::service
