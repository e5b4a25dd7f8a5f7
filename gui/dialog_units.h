// Dialog units to pixels by the Windows rule: the horizontal base unit is the average width of
// "A".."Z""a".."z" in the dialog's font, the vertical one the font's height; x dialog units are
// x * base / 4 pixels, y units y * base / 8, each rounded.
#pragma once

#include <QFont>
#include <QRect>

namespace tesmar::gui {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  DialogUnits(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}

  int baseX() const { return baseX_; }
  int baseY() const { return baseY_; }
  int ToPixelsX(int x) const;
  int ToPixelsY(int y) const;
  QRect ToPixels(int x, int y, int cx, int cy) const;

 private:
  int baseX_;
  int baseY_;
};

}  // namespace tesmar::gui
