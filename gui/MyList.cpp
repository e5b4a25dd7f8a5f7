#include "MyList.h"

#include <QApplication>
#include <QPalette>

namespace tesmar::gui {

MyList::MyList(uint32_t style, QWidget* parent) : ListBox(style, parent) {
  QPalette colours = palette();
  // The window colour of the system (COLOR_WINDOW), read once, as the brush is made once.
  colours.setColor(QPalette::Base, QApplication::palette().color(QPalette::Base));
  for (auto group : {QPalette::Active, QPalette::Inactive}) {
    colours.setColor(group, QPalette::Text, QColor(kTextColour));
  }
  setPalette(colours);
}

}  // namespace tesmar::gui
