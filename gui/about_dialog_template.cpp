#include "about_dialog_ids.h"
#include "dialog_resources.h"

namespace tesmar::gui {
namespace {

using namespace about_dialog;
using K = ControlKind;

// clang-format off
constexpr ControlTemplate Controls[] = {
  {IDC_STATIC, K::Icon, nullptr, 11, 17, 18, 20, 0},
  {IDC_STATIC, K::Label, "Kaltrix Tesmar 2.00", 40, 18, 112, 13, 0},
  {IDC_BUILD, K::Label, nullptr, 40, 34, 113, 13, 0},
  {IDC_OK, K::DefaultPushButton, "OK", 178, 40, 32, 14, WS_GROUP | WS_TABSTOP},
  {IDC_STATIC, K::EtchedLine, nullptr, 38, 52, 139, 1, 0},
  {IDC_STATIC, K::Label, "Total Memory:", 40, 61, 43, 8, 0},
  {IDC_TOTAL_MEMORY, K::Label, nullptr, 91, 61, 94, 8, 0},
  {IDC_STATIC, K::Label, "Available Memory:", 40, 73, 57, 8, 0},
  {IDC_AVAILABLE_MEMORY, K::Label, nullptr, 102, 73, 79, 8, 0},
};
// clang-format on

constexpr DialogTemplate Template{100,     "About Kaltrix Tesmar", "MS Sans Serif", 8, 217, 102,
                                  Controls};

}  // namespace

const DialogTemplate& AboutDialogTemplate() {
  return Template;
}

}  // namespace tesmar::gui
