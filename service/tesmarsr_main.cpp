// tesmarsr: publishes every process of this machine as a process packet in the registry's Data
// key and applies the settings clients send back. Without arguments it runs as the service
// "KaltrixTesmar" under the service control manager; with "-e" as a console program until Enter
// is pressed.
#include <cstdio>
#include <cstdlib>

#include "command_line.h"
#include "console_output.h"
#include "error_report.h"
#include "service_host.h"
#include "worker_thread.h"

namespace {

int RunAsConsoleProgram() {
  using namespace tesmar::service;
  PrintToConsole("Running as Exe...\n");
  if (!StartupServiceThread(ReportTarget::Console)) {
    ReportError(u"StartupServiceThread", ReportTarget::Console);
    return 1;
  }
  PrintToConsole("Service Thread Running...\n");
  PrintToConsole("Press Enter to stop.\n");
  std::getchar();
  return 0;
}

int Run(int argc, char** argv) {
  switch (tesmar::service::RunModeOf(argc, argv)) {
    case tesmar::service::RunMode::Service:
      return tesmar::service::RunAsService();
    case tesmar::service::RunMode::Console:
      return RunAsConsoleProgram();
    case tesmar::service::RunMode::Exit:
      break;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int exitCode = Run(argc, argv);
  // The worker is never told to stop; it ends with the process. quick_exit leaves the static
  // objects it may still be using in place instead of destroying them under it.
  std::fflush(stdout);
  std::quick_exit(exitCode);
}
