// The text colours of the main dialog's controls, by id, as its control-colour handler gives
// them; controls it does not name keep the style's colours.
#pragma once

#include <QColor>
#include <optional>

namespace tesmar::gui {

std::optional<QColor> MainDialogTextColour(int controlId);

class DialogControls;
// Sets the colours of the table on every control of the dialog.
void ApplyMainDialogColours(const DialogControls& controls);

}  // namespace tesmar::gui
