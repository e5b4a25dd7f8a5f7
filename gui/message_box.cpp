#include "message_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <utility>

namespace tesmar::gui {
namespace {

MessageBoxHandler& CurrentHandler() {
  static MessageBoxHandler handler;
  return handler;
}

QMessageBox::Icon IconOf(UINT flags) {
  switch (flags & MB_ICONMASK) {
    case MB_ICONHAND:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
      return QMessageBox::Warning;
    case MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

int ShowQtMessageBox(const MessageBoxCall& call) {
  QMessageBox box(IconOf(call.flags), call.caption, call.text, QMessageBox::NoButton, call.owner);
  QPushButton* first = nullptr;
  QPushButton* second = nullptr;
  int firstResult = IDOK, secondResult = IDCANCEL;
  switch (call.flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
      first = box.addButton(QMessageBox::Ok);
      second = box.addButton(QMessageBox::Cancel);
      break;
    case MB_YESNO:
      first = box.addButton(QMessageBox::Yes);
      second = box.addButton(QMessageBox::No);
      firstResult = IDYES;
      secondResult = IDNO;
      break;
    default:
      first = box.addButton(QMessageBox::Ok);
      break;
  }
  box.setDefaultButton((call.flags & MB_DEFBUTTON2) && second ? second : first);
  box.setEscapeButton(second ? second : first);
  box.exec();
  return box.clickedButton() == first ? firstResult : secondResult;
}

}  // namespace

int ShowMessageBox(QWidget* owner, const QString& text, const QString& caption, UINT flags) {
  MessageBoxCall call{owner, text, caption, flags};
  const MessageBoxHandler& handler = CurrentHandler();
  return handler ? handler(call) : ShowQtMessageBox(call);
}

int ShowApplicationMessageBox(const QString& text, UINT flags) {
  return ShowMessageBox(nullptr, text, QString::fromLatin1(kApplicationTitle), flags);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  return std::exchange(CurrentHandler(), std::move(handler));
}

}  // namespace tesmar::gui
