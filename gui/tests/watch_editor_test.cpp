// The watch-list editor, run from the main dialog's Edit command and double click: against the
// demo backend, whose shared packet Continue changes, and against the scripted stand-in service,
// whose recorded UpdateList shows what Continue and Cancel sent.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QSysInfo>
#include <functional>

#include "DlgAddProcs.h"
#include "MyList.h"
#include "dialog_driver.h"
#include "editor_dialog_ids.h"
#include "main_dialog_ids.h"
#include "scripted_main_dialog.h"
#include "system_text.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::testing;
using tesmar::testing::BuildPacket;
using tesmar::testing::ScriptedRecord;
using tesmar::testing::TestPacket;
namespace ed = tesmar::gui::editor_dialog;
namespace md = tesmar::gui::main_dialog;

std::vector<QString> Texts(const ListBox& list) {
  std::vector<QString> texts;
  for (int p = 0; p < list.GetCount(); ++p) texts.push_back(list.GetText(p));
  return texts;
}

std::vector<DWORD> Data(const ListBox& list) {
  std::vector<DWORD> data;
  for (int p = 0; p < list.GetCount(); ++p) data.push_back(list.GetItemData(p));
  return data;
}

// The main dialog on the demo backend or, through Open, on the scripted service.
class EditorTest : public ScriptedMainDialogTest {
 protected:
  CTesmarGuiDlg& OpenDemo() {
    session_ = TesmarOpen(1);
    EXPECT_TRUE(OpenDialog(2));
    return *dialog_;
  }

  // Runs the command that opens the editor (a click on Edit unless told otherwise) with the
  // operator's actions inside it; the actions end it.
  void InEditor(const std::function<void(CDlgAddProcs&)>& act,
                const std::function<void()>& open = nullptr) {
    bool ran = WithNextModal(
        [&] {
          if (open) {
            open();
          } else {
            Click(dialog_->controls().Item(md::IDC_EDIT));
          }
        },
        [&](QWidget* modal) {
          auto* editor = qobject_cast<CDlgAddProcs*>(modal);
          ASSERT_NE(editor, nullptr);
          act(*editor);
          if (editor->isVisible()) editor->reject();  // a failed check must not hang the test
        });
    EXPECT_TRUE(ran);
  }
  static QWidget* Button(CDlgAddProcs& editor, int id) { return editor.controls().Item(id); }
};

TEST_F(EditorTest, DemoMovesBothWaysAndContinueWatchesTheLeftList) {
  CTesmarGuiDlg& dialog = OpenDemo();
  InEditor([&](CDlgAddProcs& editor) {
    EXPECT_EQ(editor.windowTitle(), "Edit Process Watch List - Demo Mode");
    SaveShot(editor, "editor-demo-nothing-watched");
    // Nothing watched: the left list empty, only Add offered.
    EXPECT_EQ(editor.watchedList().GetCount(), 0);
    EXPECT_FALSE(Button(editor, ed::IDC_DELETE)->isEnabled());
    EXPECT_TRUE(Button(editor, ed::IDC_ADD)->isEnabled());
    ASSERT_EQ(editor.unwatchedList().GetCount(), 6);
    EXPECT_EQ(editor.unwatchedList().GetText(0), "DemoProcNbr0.exe (0xb)");
    EXPECT_EQ(editor.WatchedCount, 0);
    EXPECT_EQ(editor.UnwatchedCount, 6);

    // Add with nothing selected: the hint, nothing moves.
    Click(Button(editor, ed::IDC_ADD));
    ASSERT_EQ(boxes_.calls().size(), 1u);
    EXPECT_EQ(boxes_.calls()[0].text, "First select a process.");
    EXPECT_EQ(boxes_.calls()[0].caption, "Tesmar - Online Help");
    EXPECT_EQ(boxes_.calls()[0].flags, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(boxes_.calls()[0].owner, &editor);
    EXPECT_EQ(editor.unwatchedList().GetCount(), 6);

    // Three entries apart from each other, and Add: the left list holds them sorted with their
    // own record indices, the right list lost exactly those.
    ClickEntry(&editor.unwatchedList(), 4);
    ClickEntry(&editor.unwatchedList(), 1, Qt::ControlModifier);
    ClickEntry(&editor.unwatchedList(), 3, Qt::ControlModifier);
    Click(Button(editor, ed::IDC_ADD));
    SaveShot(editor, "editor-demo-three-added");
    EXPECT_EQ(Texts(editor.watchedList()),
              (std::vector<QString>{"DemoProcNbr1.exe (0xd)", "DemoProcNbr3.exe (0x11)",
                                    "DemoProcNbr4.exe (0x13)"}));
    EXPECT_EQ(Data(editor.watchedList()), (std::vector<DWORD>{1, 3, 4}));
    EXPECT_EQ(Data(editor.unwatchedList()), (std::vector<DWORD>{0, 2, 5}));
    EXPECT_EQ(editor.WatchedCount, 3);
    EXPECT_EQ(editor.UnwatchedCount, 3);
    EXPECT_TRUE(Button(editor, ed::IDC_DELETE)->isEnabled());

    // A double click on a left entry moves that entry alone back.
    DoubleClickEntry(&editor.watchedList(), 1);
    EXPECT_EQ(Data(editor.watchedList()), (std::vector<DWORD>{1, 4}));
    EXPECT_EQ(Data(editor.unwatchedList()), (std::vector<DWORD>{0, 2, 3, 5}));
    // Delete with nothing selected on the left: the same hint.
    editor.watchedList().SetCurSel(-1);
    Click(Button(editor, ed::IDC_DELETE));
    EXPECT_EQ(boxes_.calls().size(), 2u);
    EXPECT_EQ(boxes_.calls()[1].text, "First select a process.");

    Click(Button(editor, ed::IDC_EDITOR_HELP));
    ASSERT_EQ(boxes_.calls().size(), 3u);
    EXPECT_EQ(boxes_.calls()[2].text,
              "The listbox on the left, \"Watch These Processes\", contains the list of processes "
              "that you want to change affinity. The listbox on the right contains the remaining "
              "processes. Move processes from one list to the other by selecting the process, "
              "then clicking either \"Add\" or \"Delete\".");
    EXPECT_EQ(boxes_.calls()[2].caption, "Tesmar - Online Help");
    EXPECT_EQ(boxes_.calls()[2].flags, MB_OK | MB_ICONINFORMATION);
    Click(Button(editor, ed::IDC_CONTINUE));
  });
  // Continue changed the shared demo packet; the main dialog lists the two.
  for (DWORD i = 0; i < 6; ++i) {
    EXPECT_EQ(TesmarGetWatchList(TesmarGetProcObject(session_, i)), i == 1 || i == 4) << i;
  }
  ASSERT_EQ(dialog.processList().GetCount(), 2);
  EXPECT_EQ(dialog.ProcessIndex, 1u);
  SaveShot(dialog, "main-demo-after-editor");

  // A double click on a process entry opens the editor too; moving every entry disables Add.
  InEditor(
      [&](CDlgAddProcs& editor) {
        EXPECT_EQ(Data(editor.watchedList()), (std::vector<DWORD>{1, 4}));
        editor.unwatchedList().selectAll();
        Click(Button(editor, ed::IDC_ADD));
        EXPECT_EQ(editor.unwatchedList().GetCount(), 0);
        EXPECT_FALSE(Button(editor, ed::IDC_ADD)->isEnabled());
        EXPECT_TRUE(Button(editor, ed::IDC_DELETE)->isEnabled());
        // Esc cancels: nothing is written.
        PressKey(&editor, Qt::Key_Escape);
      },
      [&] { DoubleClickEntry(&dialog.processList(), 0); });
  EXPECT_EQ(dialog.processList().GetCount(), 2);
  EXPECT_EQ(boxes_.calls().size(), 3u);
}

class ScriptedEditor : public EditorTest {
 protected:
  static ScriptedRecord Process(std::u16string name, uint32_t id, uint32_t watched) {
    ScriptedRecord record;
    record.name = std::move(name);
    record.processId = id;
    record.affinity = 0x3;
    record.threadCount = 1;
    record.threadAffinity = {0x3};
    record.watched = watched;
    return record;
  }
  // b watched, c and a not, and an unnamed record that is watched.
  static TestPacket Packet(uint32_t processors) {
    return BuildPacket(processors, {Process(u"b.exe", 0x2b, 1), Process(u"c.exe", 0x3c, 0),
                                    Process(u"", 0x10, 1), Process(u"a.exe", 0x1a, 0)});
  }
};

TEST_F(ScriptedEditor, ContinueSendsTheWatchFlagsOfTheLeftListAndCancelSendsNothing) {
  for (uint32_t processors : {2u, 24u}) {
    SCOPED_TRACE(processors);
    TestPacket packet = Packet(processors);
    CTesmarGuiDlg& dialog = Open(packet);
    const QString shot = QStringLiteral("editor-local-%1-processors").arg(processors);

    // Cancel after moves: no update, and the main dialog still fills again.
    DWORD refreshes = service_->RefreshesSeen();
    InEditor([&](CDlgAddProcs& editor) {
      EXPECT_EQ(editor.windowTitle(), "Edit Process Watch List - " + QSysInfo::machineHostName());
      // The unnamed record has no entry.
      EXPECT_EQ(Texts(editor.watchedList()), (std::vector<QString>{"b.exe (0x2b)"}));
      EXPECT_EQ(Texts(editor.unwatchedList()),
                (std::vector<QString>{"a.exe (0x1a)", "c.exe (0x3c)"}));
      SaveShot(editor, shot);
      editor.unwatchedList().selectAll();
      Click(Button(editor, ed::IDC_ADD));
      Click(Button(editor, ed::IDC_CANCEL));
    });
    EXPECT_TRUE(service_->UpdatesSeen().empty());
    EXPECT_EQ(service_->RefreshesSeen(), refreshes + 2);  // the editor's and the fill's
    // The unnamed record is watched, so the main dialog lists it beside b.exe.
    EXPECT_EQ(dialog.processList().GetCount(), 2);

    // Continue without changes: one update, every listed record keeps its flag, the unnamed
    // record loses its own; nothing else of the copy changes.
    InEditor([&](CDlgAddProcs& editor) { Click(Button(editor, ed::IDC_CONTINUE)); });
    std::vector<TestPacket> updates = service_->UpdatesSeen();
    ASSERT_EQ(updates.size(), 1u);
    TestPacket expected = packet;
    expected.Record(2).Watched = 0;
    EXPECT_EQ(updates[0], expected);

    // a to the left, b to the right, Enter in a list (Continue is the default button).
    InEditor([&](CDlgAddProcs& editor) {
      ClickEntry(&editor.unwatchedList(), 0);
      Click(Button(editor, ed::IDC_ADD));
      ClickEntry(&editor.watchedList(), 1);  // b.exe, after a.exe
      Click(Button(editor, ed::IDC_DELETE));
      EXPECT_EQ(Texts(editor.watchedList()), (std::vector<QString>{"a.exe (0x1a)"}));
      SaveShot(editor, shot + QStringLiteral("-moved"));
      // Away from Delete, which as the focused button would take Enter itself.
      ClickEntry(&editor.watchedList(), 0);
      PressKey(&editor, Qt::Key_Return);
    });
    updates = service_->UpdatesSeen();
    ASSERT_EQ(updates.size(), 2u);
    expected.Record(0).Watched = 0;
    expected.Record(3).Watched = 1;
    EXPECT_EQ(updates[1], expected);
    EXPECT_TRUE(boxes_.calls().empty());
    TearDown();
  }
}

TEST_F(ScriptedEditor, ARefreshThatFailsClosesTheEditorAndEndsTheMainDialog) {
  CTesmarGuiDlg& dialog = Open(Packet(2));
  // A ProcList of no bytes is no packet: the editor's refresh fails with ERROR_INVALID_DATA.
  service_->Answer(TestPacket(0));
  int result = ExecWith(dialog, [&] { Click(dialog.controls().Item(md::IDC_EDIT)); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(dialog.watchEditor().RefreshFailed, 1);
  EXPECT_FALSE(dialog.watchEditor().isVisible());
  ASSERT_EQ(boxes_.calls().size(), 1u);
  EXPECT_EQ(boxes_.calls()[0].text, SystemMessageText(13));
  EXPECT_EQ(boxes_.calls()[0].caption, "TesmarGui");
  EXPECT_EQ(boxes_.calls()[0].flags, MB_OK);
  EXPECT_TRUE(service_->UpdatesSeen().empty());
}

}  // namespace
