#include "dialog_resources.h"
#include "editor_dialog_ids.h"

namespace tesmar::gui {
namespace {

using namespace editor_dialog;
using K = ControlKind;
constexpr uint32_t Tab = WS_TABSTOP;
constexpr uint32_t ListStyle =
    LBS_SORT | LBS_EXTENDEDSEL | LBS_NOTIFY | WS_VSCROLL | WS_BORDER | Tab;

// clang-format off
constexpr ControlTemplate Controls[] = {
  {IDC_STATIC, K::Label, "&Watch These Processes:", 7, 7, 81, 8, 0},
  {IDC_WATCHED_LIST, K::ListBox, nullptr, 7, 22, 107, 65, ListStyle},
  {IDC_STATIC, K::Label, "Do &Not Watch These Processes:", 177, 7, 106, 8, 0},
  {IDC_UNWATCHED_LIST, K::ListBox, nullptr, 177, 20, 107, 70, ListStyle},
  {IDC_ADD, K::PushButton, "<< &Add <<", 121, 32, 50, 14, Tab},
  {IDC_DELETE, K::PushButton, ">> &Delete >>", 121, 58, 50, 14, Tab},
  {IDC_CONTINUE, K::DefaultPushButton, "&Continue", 293, 26, 50, 14, Tab},
  {IDC_CANCEL, K::PushButton, "Cancel", 293, 47, 50, 14, Tab},
  {IDC_EDITOR_HELP, K::PushButton, "&Help", 293, 68, 50, 14, Tab},
};
// clang-format on

constexpr DialogTemplate Template{130,     "Edit Process Watch List", "MS Sans Serif", 8, 359, 97,
                                  Controls};

}  // namespace

const DialogTemplate& EditorDialogTemplate() {
  return Template;
}

}  // namespace tesmar::gui
