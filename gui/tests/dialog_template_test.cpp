// The builder against the dialogs' templates: geometry by the dialog-unit rule, ids, tab order,
// mnemonics, radio groups with the Win32 rules, and every caption inside its rectangle.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <vector>

#include "dialog_builder.h"
#include "dialog_driver.h"
#include "dialog_font.h"
#include "dialog_resources.h"
#include "main_dialog_ids.h"
#include "radio_button.h"
#include "startup_dialog_ids.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::testing;

// The templates of every dialog the program shows.
std::vector<const DialogTemplate*> AllTemplates() {
  return {&StartupDialogTemplate(), &EditorDialogTemplate(), &MainDialogTemplate(),
          &AboutDialogTemplate(), &SelectComputerDialogTemplate()};
}

TEST(DialogUnits, FollowTheWindowsRule) {
  DialogUnits units(6, 13);  // MS Sans Serif 8 on a 96-dpi screen
  EXPECT_EQ(units.ToPixels(9, 7, 169, 39), QRect(14, 11, 254, 63));
  EXPECT_EQ(units.ToPixelsX(187), 281);  // 280.5 rounds up
  EXPECT_EQ(units.ToPixelsY(145), 236);

  QFont font = DialogFont();
  EXPECT_EQ(QFontInfo(font).family(), kDialogFontFamily) << "the stand-in font is not installed";
  DialogUnits fromFont(font);
  QFontMetrics metrics(font);
  EXPECT_EQ(fromFont.baseY(), metrics.height());
  int average = metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(fromFont.baseX(), (average / 26 + 1) / 2);
}

TEST(DialogBuilder, PlacesEveryControlOfTheTemplate) {
  for (const DialogTemplate* dialogTemplate : AllTemplates()) {
    QDialog dialog;
    DialogControls controls = BuildDialog(dialog, *dialogTemplate);
    DialogUnits units = UnitsOf(dialog);
    EXPECT_EQ(dialog.windowTitle(), dialogTemplate->title);
    EXPECT_EQ(dialog.size(),
              QSize(units.ToPixelsX(dialogTemplate->cx), units.ToPixelsY(dialogTemplate->cy)));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    ASSERT_EQ(controls.all().size(), dialogTemplate->controls.size());
    for (size_t i = 0; i < controls.all().size(); ++i) {
      const ControlTemplate& control = dialogTemplate->controls[i];
      QWidget* widget = controls.all()[i];
      EXPECT_EQ(widget->objectName(), QString::number(control.id));
      EXPECT_EQ(widget->geometry(), units.ToPixels(control.x, control.y, control.cx, control.cy));
      // Group boxes frame, they do not parent.
      EXPECT_EQ(widget->parentWidget(), &dialog);
    }
  }
}

// Each caption fits the rectangle its template gives it, in the dialog font: the ink of its text,
// with the check mark or radio circle and its spacing where the control has one.
TEST(DialogBuilder, EveryCaptionFitsItsRectangle) {
  for (const DialogTemplate* dialogTemplate : AllTemplates()) {
    QDialog dialog;
    DialogControls controls = BuildDialog(dialog, *dialogTemplate);
    for (QWidget* widget : controls.all()) {
      QString text;
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text();
      if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
      if (auto* box = qobject_cast<QGroupBox*>(widget)) text = box->title();
      if (text.isEmpty()) continue;
      SCOPED_TRACE(text.toStdString());
      QFontMetrics metrics = widget->fontMetrics();
      QStyle* style = widget->style();
      // The ink of the text, from where it starts: what would be cut off at the right edge.
      int width = metrics.tightBoundingRect(QString(text).remove('&')).right() + 1;
      if (qobject_cast<QCheckBox*>(widget)) {
        width += style->pixelMetric(QStyle::PM_IndicatorWidth) +
                 style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
      } else if (qobject_cast<QRadioButton*>(widget)) {
        width += style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                 style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
      }
      int room = widget->width();
      if (auto* button = qobject_cast<QPushButton*>(widget)) {
        // A button draws its caption centred inside its frame, with a margin on either side.
        QStyleOptionButton option;
        option.initFrom(button);
        room = style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width() -
               style->pixelMetric(QStyle::PM_ButtonMargin);
      }
      EXPECT_LE(width, room);
      EXPECT_LE(metrics.height(), widget->height());
    }
  }
}

QWidget* NextTabStop(QWidget* widget) {
  do {
    widget = widget->nextInFocusChain();
  } while (!(widget->focusPolicy() & Qt::TabFocus));
  return widget;
}

TEST(DialogBuilder, TabOrderIsTemplateOrderAndLabelsLendTheirMnemonic) {
  QDialog dialog;
  DialogControls controls = BuildDialog(dialog, MainDialogTemplate());
  using namespace main_dialog;
  EXPECT_EQ(NextTabStop(controls.Item(IDC_PROCESS_LIST)), controls.Item(IDC_ROUND_ROBIN_HARD));
  EXPECT_EQ(NextTabStop(controls.Item(IDC_CLASS_IDLE)), controls.Item(IDC_THREAD_LIST));
  EXPECT_EQ(NextTabStop(controls.Item(IDC_PERFMON)), controls.Item(IDC_HELP));
  EXPECT_EQ(controls.Item<QLabel>(IDC_PROCESSES_LABEL)->buddy(), controls.Item(IDC_PROCESS_LIST));
  EXPECT_EQ(controls.Item<QLabel>(IDC_THREADS_LABEL)->buddy(), controls.Item(IDC_THREAD_LIST));
  // Boxes P0 to P15 carry their text left of the box.
  EXPECT_EQ(controls.Item(IDC_PROCESSOR_FIRST)->layoutDirection(), Qt::RightToLeft);
  EXPECT_EQ(controls.Text(IDC_PROCESSOR_FIRST + 7), "P7 ");
  EXPECT_EQ(controls.Items(IDC_STATIC).size(), 1u);

  ASSERT_TRUE(ShowActive(dialog));
  PressKey(&dialog, Qt::Key_T, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), controls.Item(IDC_THREAD_LIST));
  PressKey(&dialog, Qt::Key_P, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), controls.Item(IDC_PROCESS_LIST));
}

TEST(RadioButtons, KeepTheirGroupsByWin32Rules) {
  QDialog dialog;
  DialogControls controls = BuildDialog(dialog, MainDialogTemplate());
  ASSERT_TRUE(ShowActive(dialog));
  using namespace main_dialog;
  // Automatic: a click checks the button and clears the rest of its group only.
  controls.Check(IDC_THREAD_IDLE, true);
  Click(controls.Item(IDC_CLASS_NORMAL));
  Click(controls.Item(IDC_CLASS_IDLE));
  EXPECT_TRUE(controls.IsChecked(IDC_CLASS_IDLE));
  EXPECT_FALSE(controls.IsChecked(IDC_CLASS_NORMAL));
  EXPECT_TRUE(controls.IsChecked(IDC_THREAD_IDLE));
  Click(controls.Item(IDC_CLASS_IDLE));  // a second click keeps it checked
  EXPECT_TRUE(controls.IsChecked(IDC_CLASS_IDLE));
  // The program may clear every button of a group.
  controls.Check(IDC_CLASS_IDLE, false);
  EXPECT_FALSE(controls.IsChecked(IDC_CLASS_IDLE));

  // Plain: a click changes nothing by itself, but is reported.
  int clicks = 0;
  QObject::connect(controls.Item<QAbstractButton>(IDC_THREAD_HIGHEST), &QAbstractButton::clicked,
                   [&] { ++clicks; });
  Click(controls.Item(IDC_THREAD_HIGHEST));
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(controls.IsChecked(IDC_THREAD_HIGHEST));
  EXPECT_TRUE(controls.IsChecked(IDC_THREAD_IDLE));
}

}  // namespace
