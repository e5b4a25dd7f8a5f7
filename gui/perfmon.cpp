#include "perfmon.h"

#include "TesmarGuiDlg.h"
#include "message_box.h"
#include "platform/errors.h"
#include "platform/win_exec.h"

namespace tesmar::gui {
namespace {

constexpr UINT kStarted = 31;  // WinExec answers above this on success

// GNOME, KDE Plasma (and its older monitor), Xfce, MATE, LXDE.
constexpr const char* kMonitors[] = {"gnome-system-monitor", "plasma-systemmonitor", "ksysguard",
                                     "xfce4-taskmanager",    "mate-system-monitor",  "lxtask"};

}  // namespace

std::span<const char* const> SystemMonitors() {
  return kMonitors;
}

QString PerfMonFailureText(UINT result) {
  switch (result) {
    case 0:
      return QStringLiteral("The System is out of Memory or Resources");
    case ERROR_FILE_NOT_FOUND:
      return QStringLiteral("The specified file was not found");
    case ERROR_PATH_NOT_FOUND:
      return QStringLiteral("The specified path was not found");
    case ERROR_BAD_FORMAT:
      return QStringLiteral("The .EXE file is invalid");
    default:
      return QStringLiteral("Windows NT PerfMon cannot be launched");
  }
}

void CTesmarGuiDlg::OnPerfMon() {
  UINT result = ERROR_FILE_NOT_FOUND;
  for (const char* monitor : SystemMonitors()) {
    result = WinExec(monitor, SW_SHOW);
    if (result != ERROR_FILE_NOT_FOUND) break;
  }
  if (result > kStarted) return;
  ShowMessageBox(this, PerfMonFailureText(result), QStringLiteral("Tesmar - ERROR"), MB_ICONHAND);
}

}  // namespace tesmar::gui
