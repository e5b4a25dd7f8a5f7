// Uninstall: after the operator's confirmation, stops and removes the service KaltrixTesmar,
// renames the service program, deletes the system's registry keys and starts the platform's
// uninstaller (tesmar-uninstaller beside it), without waiting for it.
#include "operator_message.h"
#include "uninstaller.h"

int main() {
  return tesmar::install::RunUninstall(tesmar::install::ShowOperatorMessage,
                                       tesmar::install::kUninstallerProgram);
}
