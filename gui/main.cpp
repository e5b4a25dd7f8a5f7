// TesmarGui: the operator's dialogs over the affinity service of a machine.
#include <QApplication>

#include "TesmarGui.h"
#include "application_setup.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  tesmar::gui::ConfigureApplication();
  tesmar::gui::CTesmarGuiApp app;
  app.InitInstance();
  return 0;
}
