// Control ids of the startup dialog (template 129).
#pragma once

namespace tesmar::gui::startup_dialog {

inline constexpr int IDC_OK = 1;
inline constexpr int IDC_CANCEL = 2;
inline constexpr int IDC_CONNECT_LOCAL = 1000;
inline constexpr int IDC_CONNECT_REMOTE = 1001;
inline constexpr int IDC_START = 1002;
inline constexpr int IDC_STOP = 1003;
inline constexpr int IDC_CONNECT_DEMO = 1005;
inline constexpr int IDC_SERVER_STATUS = 1006;

}  // namespace tesmar::gui::startup_dialog
