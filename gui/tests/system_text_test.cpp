// The texts the GUI takes from the platform.
#include <gtest/gtest.h>

#include "qstring_printer.h"

#include <QSysInfo>

#include "system_text.h"

namespace {

using namespace tesmar::gui;

TEST(SystemMessageText, GivesTheSystemTextOrOneThatNamesTheNumber) {
  EXPECT_EQ(SystemMessageText(1), "Incorrect function.");
  EXPECT_EQ(SystemMessageText(1062), "The service has not been started.");
  QString unknown = SystemMessageText(123456);
  EXPECT_TRUE(unknown.contains("123456")) << unknown.toStdString();
  EXPECT_TRUE(unknown.contains("0x1e240")) << unknown.toStdString();
}

TEST(LocalComputerName, IsThisHostsName) {
  EXPECT_EQ(LocalComputerName(), QSysInfo::machineHostName());
}

}  // namespace
