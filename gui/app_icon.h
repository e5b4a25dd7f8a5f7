// The application's icon (icon resource 128): a processor chip.
#pragma once

#include <QIcon>

namespace tesmar::gui {

QIcon ApplicationIcon();

}  // namespace tesmar::gui
