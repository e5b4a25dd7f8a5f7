#include "DlgStartup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <chrono>

#include "dialog_resources.h"
#include "message_box.h"
#include "platform/errors.h"
#include "platform/threading.h"
#include "startup_dialog_ids.h"
#include "system_text.h"

namespace tesmar::gui {
namespace {

using namespace startup_dialog;

constexpr char kErrorCaption[] = "Tesmar";
// How long a started service may take to serve its Data key, and how often to look.
constexpr auto kLongestStartWait = std::chrono::seconds(15);
constexpr DWORD kStartPollMilliseconds = 50;

struct ModeRadio {
  int id;
  INT mode;
};
constexpr ModeRadio kModeRadios[] = {
    {IDC_CONNECT_LOCAL, kConnectLocal},
    {IDC_CONNECT_REMOTE, kConnectRemote},
    {IDC_CONNECT_DEMO, kConnectDemo},
};

void ShowFailure(const char* what, INT error) {
  ShowMessageBox(nullptr,
                 QString::fromLatin1(what) + QStringLiteral("\n\n") +
                     SystemMessageText(static_cast<DWORD>(error)),
                 QString::fromLatin1(kErrorCaption), MB_OK | MB_ICONHAND);
}

// What a connect answers while a service that was just started is not yet serving.
bool StillStarting(INT result) {
  return result == static_cast<INT>(ERROR_SERVICE_NOT_ACTIVE) ||
         result == static_cast<INT>(ERROR_FILE_NOT_FOUND);
}

}  // namespace

CDlgStartup::CDlgStartup(TesmarSession* session, QWidget* parent)
    : QDialog(parent), session_(session) {
  controls_ = BuildDialog(*this, StartupDialogTemplate());
  connect(controls_.Item<QAbstractButton>(IDC_START), &QAbstractButton::clicked, this,
          &CDlgStartup::OnStart);
  connect(controls_.Item<QAbstractButton>(IDC_STOP), &QAbstractButton::clicked, this,
          &CDlgStartup::OnStop);
  for (const ModeRadio& radio : kModeRadios) {
    auto* button = controls_.Item<QAbstractButton>(radio.id);
    connect(button, &QAbstractButton::clicked, this,
            [this, mode = radio.mode] { connectionMode_ = mode; });
    button->installEventFilter(this);
  }
  connect(controls_.Item<QAbstractButton>(IDC_OK), &QAbstractButton::clicked, this,
          [this] { done(IDOK); });
  connect(controls_.Item<QAbstractButton>(IDC_CANCEL), &QAbstractButton::clicked, this,
          &CDlgStartup::reject);
}

bool CDlgStartup::OnInitDialog() {
  INT connected = TesmarConnect(session_, nullptr);
  if (TesmarInstalled(session_)) {
    if (TesmarRunning(session_)) {
      ShowRunning();
      ChooseMode(kConnectLocal);
    } else {
      ShowNotRunning();
      ChooseMode(kConnectDemo);
    }
  } else {
    controls_.SetText(IDC_SERVER_STATUS, QStringLiteral("Local Tesmar Service: Not Installed"));
    controls_.Enable(IDC_START, false);
    controls_.Enable(IDC_STOP, false);
    controls_.Enable(IDC_CONNECT_LOCAL, false);
    ChooseMode(kConnectDemo);
  }
  // A service that is missing or stopped is what the dialog shows; any other failure would
  // leave the lists of a Local connection silently empty, so it is said.
  bool shownByState =
      connected == 0 || connected == static_cast<INT>(ERROR_SERVICE_NOT_ACTIVE) ||
      (!TesmarInstalled(session_) && connected == static_cast<INT>(ERROR_SERVICE_DOES_NOT_EXIST));
  if (!shownByState) ShowFailure("Cannot connect to the local Tesmar service.", connected);
  return true;
}

int CDlgStartup::DoModal() {
  OnInitDialog();
  return exec();
}

void CDlgStartup::ShowRunning() {
  controls_.SetText(IDC_SERVER_STATUS, QStringLiteral("Local Tesmar Service: Running"));
  controls_.Enable(IDC_START, false);
  controls_.Enable(IDC_STOP, true);
  controls_.Enable(IDC_CONNECT_LOCAL, true);
}

void CDlgStartup::ShowNotRunning() {
  controls_.SetText(IDC_SERVER_STATUS, QStringLiteral("Local Tesmar Service: Not Running"));
  controls_.Enable(IDC_STOP, false);
  controls_.Enable(IDC_CONNECT_LOCAL, false);
  controls_.Enable(IDC_START, true);
}

void CDlgStartup::ChooseMode(INT mode) {
  connectionMode_ = mode;
  for (const ModeRadio& radio : kModeRadios) controls_.Check(radio.id, radio.mode == mode);
}

INT CDlgStartup::ConnectAfterStart() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto deadline = std::chrono::steady_clock::now() + kLongestStartWait;
  INT result;
  for (;;) {
    TesmarDisconnect(session_);
    result = TesmarConnect(session_, nullptr);
    if (!StillStarting(result) || std::chrono::steady_clock::now() >= deadline) break;
    Sleep(kStartPollMilliseconds);
  }
  QApplication::restoreOverrideCursor();
  return result;
}

void CDlgStartup::OnStart() {
  INT started = TesmarStart(session_);
  if (started != 0) {
    ShowFailure("Cannot start the local Tesmar service.", started);
    return;
  }
  // The session was connected while the service was stopped and so has no Data key: connect
  // again, so that a Local connection finds the packets at once.
  INT connected = ConnectAfterStart();
  if (connected != 0) {
    ShowFailure("The local Tesmar service was started but cannot be reached.", connected);
    if (!TesmarRunning(session_)) {
      ShowNotRunning();
      return;
    }
  }
  ShowRunning();
  ChooseMode(kConnectLocal);
}

void CDlgStartup::OnStop() {
  INT stopped = TesmarStop(session_);
  if (stopped != 0) {
    ShowFailure("Cannot stop the local Tesmar service.", stopped);
    return;
  }
  ShowNotRunning();
  ChooseMode(kConnectRemote);
}

void CDlgStartup::reject() {
  done(IDCANCEL);
}

bool CDlgStartup::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    for (const ModeRadio& radio : kModeRadios) {
      auto* button = controls_.Item<QAbstractButton>(radio.id);
      if (watched == button && button->isEnabled()) {
        ChooseMode(radio.mode);
        done(IDOK);
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace tesmar::gui
