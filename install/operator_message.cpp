#include "operator_message.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "platform/files.h"

namespace tesmar::install {
namespace {

bool HasDisplay() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

bool IsQuestion(UINT flags) {
  return (flags & 0xF) == MB_YESNO;
}

int DefaultButton(UINT flags) {
  if (!IsQuestion(flags)) return IDOK;
  return flags & MB_DEFBUTTON2 ? IDNO : IDYES;
}

int ShowOnDisplay(const std::string& text, const std::string& caption, UINT flags) {
  static int argc = 1;
  static char name[] = "tesmar-install";
  static char* argv[] = {name, nullptr};
  std::unique_ptr<QApplication> application;
  if (!QApplication::instance()) application = std::make_unique<QApplication>(argc, argv);
  QMessageBox box(IsQuestion(flags) ? QMessageBox::Warning : QMessageBox::Critical,
                  QString::fromStdString(caption), QString::fromStdString(text));
  if ((flags & 0xF0) == MB_ICONEXCLAMATION) box.setIcon(QMessageBox::Warning);
  if ((flags & 0xF0) == MB_ICONSTOP) box.setIcon(QMessageBox::Critical);
  if (!IsQuestion(flags)) {
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
  }
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  box.setDefaultButton(flags & MB_DEFBUTTON2 ? QMessageBox::No : QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
}

// A question answered "y" or "yes" (any case) is Yes, an empty line the default, anything
// else No.
int AskOnTerminal(const std::string& text, const std::string& caption, UINT flags) {
  std::fprintf(stderr, "%s\n\n%s\n", caption.c_str(), text.c_str());
  if (!IsQuestion(flags)) return IDOK;
  bool yesByDefault = DefaultButton(flags) == IDYES;
  std::fprintf(stderr, "%s ", yesByDefault ? "[Y/n]" : "[y/N]");
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return DefaultButton(flags);
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (answer.empty()) return DefaultButton(flags);
  return answer == "y" || answer == "yes" ? IDYES : IDNO;
}

}  // namespace

int ShowOperatorMessage(const std::string& text, const std::string& caption, UINT flags) {
  if (HasDisplay()) return ShowOnDisplay(text, caption, flags);
  if (GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_CHAR) {
    return AskOnTerminal(text, caption, flags);
  }
  std::fprintf(stderr, "%s\n\n%s\n", caption.c_str(), text.c_str());
  if (IsQuestion(flags)) {
    std::fprintf(stderr, "(no display and no terminal to answer on: %s)\n",
                 DefaultButton(flags) == IDYES ? "Yes" : "No");
  }
  return DefaultButton(flags);
}

}  // namespace tesmar::install
