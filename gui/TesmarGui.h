// The application object: it owns the client session and runs the dialogs one after another,
// startup dialog then main dialog, and again from a fresh session while the main dialog is
// cancelled.
#pragma once

#include <functional>

#include "TesmarApi.h"

class QDialog;

namespace tesmar::gui {

class CTesmarGuiApp {
 public:
  // The client calls the application makes to open and close its sessions, and what runs just
  // before each dialog goes modal. The defaults are TesmarOpen, TesmarClose and nothing; a
  // test passes its own to watch the order of the calls and to act on the dialogs.
  struct Hooks {
    std::function<TesmarSession*(INT demo)> open = TesmarOpen;
    std::function<INT(TesmarSession*)> close = TesmarClose;
    std::function<void(QDialog&)> beforeModal;
  };

  CTesmarGuiApp() = default;
  explicit CTesmarGuiApp(Hooks hooks) : hooks_(std::move(hooks)) {}

  // Runs the dialogs until the program is to end.
  void InitInstance();

  TesmarSession* session() const { return session_; }

 private:
  // One round: a live session, the startup dialog, the main dialog. True to go round again.
  bool RunOnce();
  void CloseSession();

  Hooks hooks_;
  TesmarSession* session_ = nullptr;
};

}  // namespace tesmar::gui
