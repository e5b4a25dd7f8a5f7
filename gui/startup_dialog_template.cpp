#include "dialog_resources.h"
#include "startup_dialog_ids.h"

namespace tesmar::gui {
namespace {

using namespace startup_dialog;
using K = ControlKind;
constexpr uint32_t Tab = WS_TABSTOP;

// clang-format off
constexpr ControlTemplate Controls[] = {
  {IDC_SERVER_STATUS, K::GroupBox, "Local Tesmar Server: Not Installed", 9, 7, 169, 39, 0},
  {IDC_START, K::PushButton, "&Start", 35, 22, 50, 14, Tab},
  {IDC_STOP, K::PushButton, "S&top", 97, 22, 50, 14, Tab},
  {IDC_STATIC, K::GroupBox, "Local Tesmar Client", 9, 52, 169, 58, 0},
  {IDC_CONNECT_LOCAL, K::AutoRadioButton, "Connect to &Local Tesmar", 19, 67, 152, 10, WS_GROUP | Tab},
  {IDC_CONNECT_REMOTE, K::AutoRadioButton, "Connect to &Remote Tesmar", 19, 81, 153, 10, 0},
  {IDC_CONNECT_DEMO, K::AutoRadioButton, "Connect to &Demo Tesmar", 19, 96, 154, 10, 0},
  {IDC_OK, K::DefaultPushButton, "OK", 35, 124, 50, 14, WS_GROUP | Tab},
  {IDC_CANCEL, K::PushButton, "Cancel", 97, 124, 50, 14, Tab},
};
// clang-format on

constexpr DialogTemplate Template{129, "Tesmar - Startup", "MS Sans Serif", 8, 187, 145, Controls};

}  // namespace

const DialogTemplate& StartupDialogTemplate() {
  return Template;
}

}  // namespace tesmar::gui
