// Control ids of the watch-list editor (template 130).
#pragma once

namespace tesmar::gui::editor_dialog {

inline constexpr int IDC_CONTINUE = 1;
inline constexpr int IDC_CANCEL = 2;
inline constexpr int IDC_ADD = 1004;
inline constexpr int IDC_DELETE = 1005;
inline constexpr int IDC_WATCHED_LIST = 1006;
inline constexpr int IDC_UNWATCHED_LIST = 1008;
inline constexpr int IDC_EDITOR_HELP = 1016;

}  // namespace tesmar::gui::editor_dialog
