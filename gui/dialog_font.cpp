#include "dialog_font.h"

namespace tesmar::gui {

QFont DialogFont() {
  QFont font(QString::fromLatin1(kDialogFontFamily));
  font.setPixelSize(kDialogFontPixelSize);
  font.setStyleHint(QFont::SansSerif);
  font.setLetterSpacing(QFont::AbsoluteSpacing, kDialogFontLetterSpacing);
  return font;
}

}  // namespace tesmar::gui
