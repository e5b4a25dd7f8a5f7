#include "app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace tesmar::gui {
namespace {

QPixmap ChipPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  double unit = size / 16.0;
  // Pins on every side, then the package, then a die split into four processors.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(128, 128, 128));
  for (int i = 0; i < 4; ++i) {
    double at = (3.5 + 2.5 * i) * unit;
    painter.drawRect(QRectF(at, 0.5 * unit, unit, 2 * unit));
    painter.drawRect(QRectF(at, 13.5 * unit, unit, 2 * unit));
    painter.drawRect(QRectF(0.5 * unit, at, 2 * unit, unit));
    painter.drawRect(QRectF(13.5 * unit, at, 2 * unit, unit));
  }
  painter.setBrush(QColor(40, 40, 48));
  painter.drawRoundedRect(QRectF(2.5 * unit, 2.5 * unit, 11 * unit, 11 * unit), unit, unit);
  const QColor cores[] = {QColor(180, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255),
                          QColor(128, 0, 128)};
  for (int i = 0; i < 4; ++i) {
    painter.setBrush(cores[i]);
    painter.drawRect(
        QRectF((4 + 4.25 * (i % 2)) * unit, (4 + 4.25 * (i / 2)) * unit, 3.75 * unit, 3.75 * unit));
  }
  return pixmap;
}

}  // namespace

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addPixmap(ChipPixmap(size));
  return icon;
}

}  // namespace tesmar::gui
