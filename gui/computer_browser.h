// BrowseForComputer: the operator chooses a computer. The default browser is CDlgSelectComputer
// over the known computers; a test puts its own in place (SetComputerBrowser), as it answers
// message boxes.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tesmar::gui {

// Nonzero when a computer was chosen; name then holds it after two backslashes ("\\far-host"),
// as long as the operator gave it (never cut). 0 when the operator cancelled.
int BrowseForComputer(QWidget* owner, QString& name);

using ComputerBrowser = std::function<int(QWidget* owner, QString& name)>;
// Replaces the browser; an empty one puts the dialog back. Returns the one that was in place.
ComputerBrowser SetComputerBrowser(ComputerBrowser browser);

}  // namespace tesmar::gui
