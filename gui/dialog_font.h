// The font the dialogs are drawn in. Their templates name "MS Sans Serif" 8, which this platform
// lacks; DejaVu Sans at 11 pixels stands in for it (dialog base units 7 x 13 against the
// original's 6 x 13). Its digits and brackets are wide for their average: with letters a fifth
// of a pixel closer than the face sets them, every caption of the templates fits its rectangle,
// the headings "Affinity (P0 - P15)" with a few pixels to spare instead of one too few.
#pragma once

#include <QFont>

namespace tesmar::gui {

inline constexpr char kDialogFontFamily[] = "DejaVu Sans";
inline constexpr int kDialogFontPixelSize = 11;
inline constexpr double kDialogFontLetterSpacing = -0.2;

QFont DialogFont();

}  // namespace tesmar::gui
