// tesmar_setup_command: runs Scmkit's installer entry point from a shell, as an installer calls
// it: "install PATH" installs KaltrixTesmar with PATH as its program, starts it and waits until
// it runs; "remove" stops and removes it; "record-directory DIR" stores InstallDir. A failure
// prints the system's text for the error and exits 1.
//
// The init script's passes over every service that starts automatically: "start-automatic" at
// boot, "stop-automatic" at shutdown, "status-automatic" (exit 0 when all run, 3 when one does
// not). The machine is the one TESMAR_ROOT names.
#include <cstdio>
#include <cstring>

#include "Scmkit.h"
#include "automatic_services.h"
#include "platform/errors.h"

namespace {

using tesmar::scmkit::AutomaticPass;

int Usage() {
  std::fprintf(stderr,
               "usage: tesmar_setup_command install PATH | remove | record-directory DIR\n"
               "       tesmar_setup_command start-automatic | stop-automatic | "
               "status-automatic\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const char* argument = argc > 2 ? argv[2] : nullptr;
  if (argc == 2) {
    if (std::strcmp(argv[1], "start-automatic") == 0) {
      return RunAutomaticPass(AutomaticPass::kStart, stdout);
    }
    if (std::strcmp(argv[1], "stop-automatic") == 0) {
      return RunAutomaticPass(AutomaticPass::kStop, stdout);
    }
    if (std::strcmp(argv[1], "status-automatic") == 0) {
      return RunAutomaticPass(AutomaticPass::kStatus, stdout);
    }
  }
  DWORD command;
  if (std::strcmp(argv[1], "install") == 0 && argument) {
    command = SERSETUP_CMD_INSTALL;
  } else if (std::strcmp(argv[1], "remove") == 0) {
    command = SERSETUP_CMD_REMOVE;
  } else if (std::strcmp(argv[1], "record-directory") == 0 && argument) {
    command = SERSETUP_CMD_RECORD_DIRECTORY;
  } else {
    return Usage();
  }
  DWORD error = SerSetupCmd(nullptr, &command, argument);
  if (error != ERROR_SUCCESS) {
    const char* text = tesmar::platform::Win32ErrorMessage(error);
    std::fprintf(stderr, "tesmar_setup_command %s: error %u: %s\n", argv[1], error,
                 text ? text : "no text for this error");
    return 1;
  }
  return 0;
}
