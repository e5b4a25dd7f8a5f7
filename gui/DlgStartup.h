// The startup dialog: the state of the local service, Start and Stop, and the choice of how to
// connect (ConnectionMode 0 Local, 1 Remote, 2 Demo). It uses the session it is lent and never
// opens or closes one.
#pragma once

#include <QDialog>

#include "TesmarApi.h"
#include "dialog_builder.h"

namespace tesmar::gui {

inline constexpr INT kConnectLocal = 0;
inline constexpr INT kConnectRemote = 1;
inline constexpr INT kConnectDemo = 2;

class CDlgStartup : public QDialog {
  Q_OBJECT

 public:
  explicit CDlgStartup(TesmarSession* session, QWidget* parent = nullptr);

  // Connects the session to the local machine and shows what the connect found.
  bool OnInitDialog();
  // OnInitDialog, then the dialog modally: IDOK or IDCANCEL.
  int DoModal();

  INT connectionMode() const { return connectionMode_; }
  const DialogControls& controls() const { return controls_; }

  void OnStart();
  void OnStop();

 protected:
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowRunning();
  void ShowNotRunning();
  void ChooseMode(INT mode);
  // Connects again after a start until the service serves its Data key, or a bounded wait ends.
  INT ConnectAfterStart();

  TesmarSession* session_;
  INT connectionMode_ = kConnectDemo;
  DialogControls controls_;
};

}  // namespace tesmar::gui
