#include "control_colours.h"

#include <QPalette>
#include <QWidget>

#include "dialog_builder.h"
#include "main_dialog_ids.h"

namespace tesmar::gui {

using namespace main_dialog;

std::optional<QColor> MainDialogTextColour(int id) {
  switch (id) {
    case IDC_CLASS_VERY_HIGH:
    case IDC_CLASS_NORMAL:
    case IDC_CLASS_IDLE:
    case IDC_CLASS_REAL_TIME:
      return QColor(128, 0, 128);
    case IDC_THREAD_LIST:
    case IDC_THREAD_HIGHEST:
    case IDC_THREAD_ABOVE_NORMAL:
    case IDC_THREAD_NORMAL:
    case IDC_THREAD_BELOW_NORMAL:
    case IDC_THREAD_IDLE:
      return QColor(0, 0, 150);
    case IDC_AFFINITY_GROUP:
    case IDC_WATCH_GROUP:
      return QColor(180, 0, 0);
    case IDC_PROCESSES_LABEL:
    case IDC_PROCESS_AFFINITY_HEADING:
    case IDC_PROCESS_PRIORITY_GROUP:
      return QColor(255, 0, 0);
    case IDC_THREADS_LABEL:
    case IDC_THREAD_PRIORITY_GROUP:
    case IDC_STATIC:
      return QColor(0, 0, 255);
    case IDC_ROUND_ROBIN_HARD:
    case IDC_ROUND_ROBIN_PREFERRED:
    case IDC_DISABLE_BOOST:
      return QColor(0, 128, 0);
    default:
      return std::nullopt;
  }
}

void ApplyMainDialogColours(const DialogControls& controls) {
  for (QWidget* control : controls.all()) {
    std::optional<QColor> colour = MainDialogTextColour(control->objectName().toInt());
    if (!colour) continue;
    QPalette colours = control->palette();
    // The colour of enabled text; disabled controls keep the style's grey, as a disabled
    // control's text is grey whatever its handler sets.
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
      for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
        colours.setColor(group, role, *colour);
      }
    }
    control->setPalette(colours);
  }
}

}  // namespace tesmar::gui
