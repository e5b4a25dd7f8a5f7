#include "computer_browser.h"

#include <QApplication>
#include <utility>

#include "DlgSelectComputer.h"
#include "computer_candidates.h"

namespace tesmar::gui {
namespace {

ComputerBrowser& CurrentBrowser() {
  static ComputerBrowser browser;
  return browser;
}

int RunBrowserDialog(QWidget* owner, QString& name) {
  // The wait cursor while the candidates are gathered (avahi-browse may take its 2 s).
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QStringList candidates = ComputerCandidates();
  QApplication::restoreOverrideCursor();
  CDlgSelectComputer browser(std::move(candidates), owner);
  if (browser.exec() != QDialog::Accepted) return 0;
  name = browser.chosen();
  if (!name.startsWith(QStringLiteral("\\\\"))) name.prepend(QStringLiteral("\\\\"));
  return 1;
}

}  // namespace

int BrowseForComputer(QWidget* owner, QString& name) {
  const ComputerBrowser& browser = CurrentBrowser();
  return browser ? browser(owner, name) : RunBrowserDialog(owner, name);
}

ComputerBrowser SetComputerBrowser(ComputerBrowser browser) {
  return std::exchange(CurrentBrowser(), std::move(browser));
}

}  // namespace tesmar::gui
