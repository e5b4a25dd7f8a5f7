#include "dialog_driver.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QListView>
#include <QTest>
#include <QTimer>

namespace tesmar::gui::testing {

bool ShowActive(QWidget& window) {
  window.show();
  window.activateWindow();
  return QTest::qWaitForWindowActive(&window);
}

void Click(QWidget* control) {
  QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, control->rect().center());
}

void DoubleClick(QWidget* control) {
  // A double click arrives as press, release, double-click press, release.
  QPoint centre = control->rect().center();
  QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, centre);
  QTest::mouseDClick(control, Qt::LeftButton, Qt::NoModifier, centre);
}

void ClickEntry(QWidget* list, int position, Qt::KeyboardModifiers modifiers) {
  auto* view = qobject_cast<QListView*>(list);
  QModelIndex index = view->model()->index(position, 0);
  view->scrollTo(index);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualRect(index).center());
}

void DoubleClickEntry(QWidget* list, int position) {
  auto* view = qobject_cast<QListView*>(list);
  QModelIndex index = view->model()->index(position, 0);
  view->scrollTo(index);
  QPoint centre = view->visualRect(index).center();
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
}

void PressKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QTest::keyClick(target, key, modifiers);
}

int ExecWith(QDialog& dialog, std::function<void()> action) {
  QTimer::singleShot(0, &dialog, std::move(action));
  return dialog.exec();
}

bool WithNextModal(const std::function<void()>& open,
                   const std::function<void(QWidget* modal)>& action) {
  bool ran = false;
  // The timer goes with the guard, so that it never fires after this call.
  QObject guard;
  QTimer::singleShot(0, &guard, [&] {
    ran = true;
    action(QApplication::activeModalWidget());
  });
  open();
  return ran;
}

void SaveShot(QWidget& widget, const QString& name) {
  QDir folder(QStringLiteral(TESMAR_GUI_SHOTS_DIR));
  folder.mkpath(QStringLiteral("."));
  widget.grab().save(folder.filePath(name + QStringLiteral(".png")));
}

}  // namespace tesmar::gui::testing
