// Control ids of the computer browser (template 132).
#pragma once

namespace tesmar::gui::select_computer_dialog {

inline constexpr int IDC_OK = 1;
inline constexpr int IDC_CANCEL = 2;
inline constexpr int IDC_NAME = 1100;
inline constexpr int IDC_CANDIDATES = 1101;

}  // namespace tesmar::gui::select_computer_dialog
