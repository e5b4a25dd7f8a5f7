#include "application_setup.h"

#include <QApplication>
#include <QStyleFactory>

#include "app_icon.h"
#include "message_box.h"

namespace tesmar::gui {

void ConfigureApplication() {
  // One style everywhere, so that a dialog looks the same on every desktop and in the tests.
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QApplication::setWindowIcon(ApplicationIcon());
}

}  // namespace tesmar::gui
