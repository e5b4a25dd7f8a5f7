// main of every GUI test: GoogleTest inside a QApplication on the offscreen platform (unless the
// environment names another), set up as the program sets itself up.
#include <gtest/gtest.h>

#include <QApplication>

#include "application_setup.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  tesmar::gui::ConfigureApplication();
  return RUN_ALL_TESTS();
}
