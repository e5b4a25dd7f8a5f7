// What the application sets on Qt before it shows a dialog: the style, its name (the title of
// its message boxes) and its icon. The tests set the same, so that they see what the program
// shows.
#pragma once

namespace tesmar::gui {

void ConfigureApplication();

}  // namespace tesmar::gui
