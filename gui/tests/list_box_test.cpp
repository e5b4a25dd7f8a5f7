// The list box over its model: sorted insertion, item data, selection by the program without
// notification, and one notification per operator's input.
#include <gtest/gtest.h>

#include <QTest>

#include "dialog_driver.h"
#include "dialog_template.h"
#include "list_box.h"
#include "tab_stop_delegate.h"

namespace {

using namespace tesmar::gui;
using namespace tesmar::gui::testing;

TEST(ListBox, SortsWithoutRegardToCaseAndKeepsItemData) {
  ListBox list(LBS_SORT, nullptr);
  EXPECT_EQ(list.AddString("beta", 2), 0);
  EXPECT_EQ(list.AddString("Alpha", 1), 0);
  EXPECT_EQ(list.AddString("gamma", 3), 2);
  EXPECT_EQ(list.AddString("alpha", 4), 1);  // after "Alpha": case decides a tie
  EXPECT_EQ(list.GetText(1), "alpha");
  EXPECT_EQ(list.GetItemData(3), 3u);
  list.SetEntries({{"z", 9}, {"B", 8}, {"a", 7}});
  EXPECT_EQ(list.GetText(0), "a");
  EXPECT_EQ(list.GetItemData(2), 9u);

  ListBox unsorted(0, nullptr);
  unsorted.SetEntries({{"z", 0}, {"a", 1}});
  EXPECT_EQ(unsorted.GetText(0), "z");
  EXPECT_EQ(unsorted.GetCurSel(), -1);
  EXPECT_EQ(unsorted.GetCaretIndex(), -1);
}

TEST(ListBox, NotifiesTheOperatorsChangesOnly) {
  ListBox list(LBS_EXTENDEDSEL, nullptr);
  list.resize(200, 200);
  std::vector<ListEntry> entries;
  for (int i = 0; i < 5; ++i) entries.push_back({QString("Thread %1\t1").arg(i), DWORD(i)});
  list.SetEntries(entries);
  int changes = 0, doubleClicks = 0;
  QObject::connect(&list, &ListBox::SelectionChanged, [&] { ++changes; });
  QObject::connect(&list, &ListBox::DoubleClicked, [&] { ++doubleClicks; });
  ASSERT_TRUE(ShowActive(list));

  list.SetCurSel(3);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(list.GetCaretIndex(), 3);
  ClickEntry(&list, 1);
  EXPECT_EQ(changes, 1);
  ClickEntry(&list, 1);  // nothing changed
  EXPECT_EQ(changes, 1);
  ClickEntry(&list, 4, Qt::ShiftModifier);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(list.GetSelItems(), (std::vector<int>{1, 2, 3, 4}));
  PressKey(&list, Qt::Key_Up);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(list.GetCaretIndex(), 3);
  QModelIndex third = list.model()->index(2, 0);
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, Qt::NoModifier,
                     list.visualRect(third).center());
  EXPECT_EQ(doubleClicks, 1);
}

TEST(TabStopDelegate, PutsTheTextAfterTheTabAtTheStop) {
  QFontMetrics metrics(QFont("DejaVu Sans", 9));
  EXPECT_EQ(TabStopDelegate::ColumnStart(metrics, "a\tb", 100), 100);
  EXPECT_EQ(TabStopDelegate::ColumnStart(metrics, "ab", 100), 0);
  // A name longer than the stop pushes the column past it by one blank.
  QString longName(40, 'W');
  EXPECT_EQ(TabStopDelegate::ColumnStart(metrics, longName + "\tb", 100),
            metrics.horizontalAdvance(longName) + metrics.horizontalAdvance(' '));
  EXPECT_EQ(TabStopDelegate::TextWidth(metrics, "a\tbb", 100),
            100 + metrics.horizontalAdvance("bb") + 2 * TabStopDelegate::kTextMargin);
}

}  // namespace
