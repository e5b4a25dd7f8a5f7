// Control ids of the about box (template 100).
#pragma once

namespace tesmar::gui::about_dialog {

inline constexpr int IDC_OK = 1;
inline constexpr int IDC_TOTAL_MEMORY = 1035;
inline constexpr int IDC_AVAILABLE_MEMORY = 1036;
// The label under the product's name, which names this build.
inline constexpr int IDC_BUILD = 1037;

}  // namespace tesmar::gui::about_dialog
