// The main dialog's help text, its about box (button, context menu, window-menu command) with
// this machine's memory, and the ways the dialog ends: Exit and Enter at once, Esc and the close
// box after "Exit Application?". On the demo backend, which needs no service.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTimer>
#include <fstream>
#include <string>

#include "DlgAbout.h"
#include "MyList.h"
#include "about_dialog_ids.h"
#include "dialog_driver.h"
#include "main_dialog_fixture.h"
#include "main_dialog_ids.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::main_dialog;
using namespace tesmar::gui::testing;

// A "Name:  1234 kB" line of /proc/meminfo.
uint64_t MeminfoKib(const std::string& name) {
  std::ifstream file("/proc/meminfo");
  std::string key;
  uint64_t value = 0;
  std::string unit;
  while (file >> key >> value >> unit) {
    if (key == name + ":") return value;
  }
  return 0;
}

uint64_t KibOf(const QString& text) {
  return text.chopped(2).toULongLong();
}

class DemoDialogCommands : public OpenDemoMainDialogTest {
 protected:
  QWidget* Item(int id) { return dialog_->controls().Item(id); }

  // Runs the command and reads the about box it opens; false when none opened.
  bool AboutBoxOf(const std::function<void()>& command, QString* total = nullptr,
                  QString* available = nullptr) {
    return WithNextModal(command, [&](QWidget* modal) {
      auto* about = qobject_cast<CDlgAbout*>(modal);
      ASSERT_NE(about, nullptr);
      if (total) *total = about->controls().Text(about_dialog::IDC_TOTAL_MEMORY);
      if (available) *available = about->controls().Text(about_dialog::IDC_AVAILABLE_MEMORY);
      PressKey(about, Qt::Key_Return);  // OK is its default button
    });
  }
};

TEST_F(DemoDialogCommands, HelpShowsItsTextByteForByte) {
  // Line by line as the operator reads it, blanks at four line ends included.
  const char* const lines[] = {
      "Select Process and",
      "",
      "Select appropriate affinity mask, by checking/unckecking active CPUs",
      "",
      "Check/Uncheck the check box \"Round-Robin Hard\" to specify/remove single ",
      "CPU hard affinity for all threads of a selected process",
      "",
      "Check the check box \"Round-Robin Preferred\" to specify the preferred CPU",
      "for all threads of a slected process in a round-robin way. Unckecking this",
      "will specify no preferred processor",
      "",
      "Check/Uncheck the check box \"Disable Priority Boost\" to disable/restore ",
      "Windows NT's temporarily boosting capability for a process",
      "",
      "Select Thread(s) and",
      "",
      "Select appropriate affinity mask, by checking/unckecking active CPUs",
      "",
      "",
      ("After making either one, more or all of the above changes, click on \"Apply\" button "
       "to make "),
      "all changes effective",
      "",
      "",
      "To make priority changes, select process and/or thread(s) and just click ",
      "appropriate radio buttons to make changes effective.",
  };
  std::string expected;
  for (const char* line : lines) expected += std::string(line) + "\n";
  expected.pop_back();  // no line break after the last line
  ASSERT_EQ(std::size(lines), 25u);

  Click(Item(IDC_HELP));
  ASSERT_EQ(boxes_.calls().size(), 1u);
  const MessageBoxCall& help = boxes_.calls()[0];
  EXPECT_EQ(help.text.toUtf8().toStdString(), expected);
  EXPECT_EQ(help.caption, "Tesmar - Online Help");
  EXPECT_EQ(help.owner, dialog_.get());
  EXPECT_EQ(help.flags, MB_OK | MB_ICONINFORMATION);
}

TEST_F(DemoDialogCommands, AboutShowsThisMachinesMemoryAndThisBuild) {
  uint64_t availableBefore = MeminfoKib("MemAvailable");
  QString total, available;
  ASSERT_TRUE(WithNextModal(
      [&] { Click(Item(IDC_ABOUT)); },
      [&](QWidget* modal) {
        auto* about = qobject_cast<CDlgAbout*>(modal);
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->windowTitle(), "About Kaltrix Tesmar");
        EXPECT_EQ(about->parentWidget(), nullptr);
        total = about->controls().Text(about_dialog::IDC_TOTAL_MEMORY);
        available = about->controls().Text(about_dialog::IDC_AVAILABLE_MEMORY);
        QString build = about->controls().Text(about_dialog::IDC_BUILD);
        EXPECT_TRUE(QRegularExpression(
                        QStringLiteral("^Build 2\\.0\\.0, commit ([0-9a-f]{7,}\\+?|unknown)$"))
                        .match(build)
                        .hasMatch())
            << build.toStdString();
        // Kaltrix Tesmar 2.00 is the second control of the template.
        EXPECT_EQ(qobject_cast<QLabel*>(about->controls().all()[1])->text(), "Kaltrix Tesmar 2.00");
        SaveShot(*about, "about-box");
        PressKey(about, Qt::Key_Return);
      }));
  uint64_t availableAfter = MeminfoKib("MemAvailable");
  EXPECT_EQ(total, QString::number(MeminfoKib("MemTotal")) + " K");
  ASSERT_TRUE(available.endsWith(" K")) << available.toStdString();
  // Other programs change what is available while the box opens: within what the kernel
  // reported just before and just after, give or take 64 MiB.
  uint64_t shown = KibOf(available);
  EXPECT_GE(shown + 65536, std::min(availableBefore, availableAfter));
  EXPECT_LE(shown, std::max(availableBefore, availableAfter) + 65536);
  EXPECT_LT(shown, KibOf(total));
  EXPECT_TRUE(boxes_.calls().empty());
  EXPECT_TRUE(dialog_->isVisible());
}

TEST_F(DemoDialogCommands, TheContextMenuAndWindowMenuCommand16OpenTheAboutBox) {
  bool aboutShown = false;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), "&About Kaltrix Tesmar");
    // Runs once the menu has closed and the about box is modal.
    QTimer::singleShot(0, [&] {
      auto* about = qobject_cast<CDlgAbout*>(QApplication::activeModalWidget());
      ASSERT_NE(about, nullptr);
      aboutShown = true;
      PressKey(about, Qt::Key_Return);
    });
    PressKey(menu, Qt::Key_Down);
    PressKey(menu, Qt::Key_Return);
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                          dialog_->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(dialog_.get(), &event);
  EXPECT_TRUE(aboutShown);

  EXPECT_TRUE(AboutBoxOf([&] { dialog_->OnSysCommand(0x13); }));  // 16, low bits set
  EXPECT_FALSE(AboutBoxOf([&] { dialog_->OnSysCommand(0xF060); }));
}

TEST(AboutBox, ShowsKilobytesRoundedDownPast4GiBAndFreshAtEachOpening) {
  EXPECT_EQ(MemoryText(64ull << 20), "65536 K");
  EXPECT_EQ(MemoryText(1048575), "1023 K");
  EXPECT_EQ(MemoryText(24ull << 30), "25165824 K");

  uint64_t available = 3000ull << 20;
  int reads = 0;
  auto reader = [&](LPMEMORYSTATUS status) {
    ++reads;
    EXPECT_EQ(status->dwLength, sizeof(MEMORYSTATUS));
    status->dwTotalPhys = (24ull << 30) + 1023;
    status->dwAvailPhys = available;
  };
  // One box opened twice, as the operator opens it: each opening reads anew.
  CDlgAbout about(reader);
  for (uint64_t shown : {3000ull << 20, 2000ull << 20}) {
    available = shown;
    EXPECT_TRUE(WithNextModal(
        [&] { about.DoModal(); },
        [&](QWidget* modal) {
          EXPECT_EQ(modal, &about);
          EXPECT_EQ(about.controls().Text(about_dialog::IDC_TOTAL_MEMORY), "25165824 K");
          EXPECT_EQ(about.controls().Text(about_dialog::IDC_AVAILABLE_MEMORY), MemoryText(shown));
          PressKey(&about, Qt::Key_Escape);
        }));
  }
  EXPECT_EQ(reads, 2);
}

TEST_F(DemoDialogCommands, ExitAndEnterEndAtOnceEscAndTheCloseBoxAskFirst) {
  EXPECT_EQ(ExecWith(*dialog_, [&] { Click(Item(IDC_EXIT)); }), IDOK);
  EXPECT_TRUE(boxes_.calls().empty());
  // Enter in the process list acts as the default button.
  EXPECT_EQ(ExecWith(*dialog_,
                     [&] {
                       dialog_->processList().setFocus();
                       PressKey(&dialog_->processList(), Qt::Key_Return);
                     }),
            IDOK);
  // And on a check box, with a watched process shown.
  TesmarSetWatchList(TesmarGetProcObject(session_, 1), 1);
  dialog_->FillFromCopy();
  QWidget* box = Item(IDC_PROCESSOR_FIRST);
  ASSERT_TRUE(box->isEnabled());
  EXPECT_EQ(ExecWith(*dialog_,
                     [&] {
                       box->setFocus();
                       PressKey(box, Qt::Key_Return);
                     }),
            IDOK);
  EXPECT_TRUE(boxes_.calls().empty());

  // Esc answered Cancel: the dialog stays, until Exit.
  boxes_.Answer(IDCANCEL);
  EXPECT_EQ(ExecWith(*dialog_,
                     [&] {
                       PressKey(dialog_.get(), Qt::Key_Escape);
                       EXPECT_TRUE(dialog_->isVisible());
                       Click(Item(IDC_EXIT));
                     }),
            IDOK);
  ASSERT_EQ(boxes_.calls().size(), 1u);
  const MessageBoxCall& question = boxes_.calls()[0];
  EXPECT_EQ(question.text, "Exit Application?");
  EXPECT_EQ(question.caption, "TesmarGui");
  EXPECT_EQ(question.owner, nullptr);
  EXPECT_EQ(question.flags, 0x21u);

  // Esc answered OK, and the close box answered OK: the dialog is cancelled.
  EXPECT_EQ(ExecWith(*dialog_, [&] { PressKey(dialog_.get(), Qt::Key_Escape); }), IDCANCEL);
  EXPECT_EQ(ExecWith(*dialog_, [&] { dialog_->close(); }), IDCANCEL);
  EXPECT_EQ(boxes_.texts(),
            (std::vector<QString>{"Exit Application?", "Exit Application?", "Exit Application?"}));
}

}  // namespace
