// The process list: a list box that paints its own colours, purple text on the system's window
// colour.
#pragma once

#include "list_box.h"

namespace tesmar::gui {

class MyList : public ListBox {
  Q_OBJECT

 public:
  static constexpr QRgb kTextColour = qRgb(128, 0, 128);

  MyList(uint32_t style, QWidget* parent);
};

}  // namespace tesmar::gui
