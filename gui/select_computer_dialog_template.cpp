#include "dialog_resources.h"
#include "select_computer_dialog_ids.h"

namespace tesmar::gui {
namespace {

using namespace select_computer_dialog;
using K = ControlKind;
constexpr uint32_t Tab = WS_TABSTOP;

// clang-format off
constexpr ControlTemplate Controls[] = {
  {IDC_STATIC, K::Label, "&Computer:", 7, 9, 36, 8, 0},
  {IDC_NAME, K::EditText, nullptr, 46, 7, 145, 12, WS_BORDER | Tab},
  {IDC_STATIC, K::Label, "&Known computers:", 7, 26, 70, 8, 0},
  {IDC_CANDIDATES, K::ListBox, nullptr, 7, 37, 184, 84, LBS_NOTIFY | WS_VSCROLL | WS_BORDER | Tab},
  {IDC_OK, K::DefaultPushButton, "OK", 198, 7, 50, 14, WS_GROUP | Tab},
  {IDC_CANCEL, K::PushButton, "Cancel", 198, 25, 50, 14, Tab},
};
// clang-format on

constexpr DialogTemplate Template{132, "Select Computer", "MS Sans Serif", 8, 255, 128, Controls};

}  // namespace

const DialogTemplate& SelectComputerDialogTemplate() {
  return Template;
}

}  // namespace tesmar::gui
