// Control ids of the main dialog (template 131).
#pragma once

namespace tesmar::gui::main_dialog {

inline constexpr int IDC_EXIT = 1;
inline constexpr int IDC_ABOUT = 100;
inline constexpr int IDC_SELECT_COMPUTER = 1000;
inline constexpr int IDC_PROCESS_LIST = 1003;
inline constexpr int IDC_EDIT = 1004;
inline constexpr int IDC_CLASS_VERY_HIGH = 1008;
inline constexpr int IDC_CLASS_NORMAL = 1009;
inline constexpr int IDC_CLASS_IDLE = 1010;
inline constexpr int IDC_END_PROCESS = 1011;
inline constexpr int IDC_CLASS_REAL_TIME = 1013;
inline constexpr int IDC_THREAD_LIST = 1015;
inline constexpr int IDC_HELP = 1016;
inline constexpr int IDC_AFFINITY_GROUP = 1017;
inline constexpr int IDC_REFRESH = 1018;
inline constexpr int IDC_PERFMON = 1019;
inline constexpr int IDC_THREAD_HIGHEST = 1021;
inline constexpr int IDC_THREAD_ABOVE_NORMAL = 1022;
inline constexpr int IDC_THREAD_NORMAL = 1023;
inline constexpr int IDC_THREAD_BELOW_NORMAL = 1024;
inline constexpr int IDC_THREAD_IDLE = 1025;
inline constexpr int IDC_THREAD_COUNT = 1027;
inline constexpr int IDC_THREADS_LABEL = 1028;
inline constexpr int IDC_PROCESSES_LABEL = 1066;
inline constexpr int IDC_THREAD_PRIORITY_GROUP = 1068;
inline constexpr int IDC_PROCESS_AFFINITY_HEADING = 1069;
inline constexpr int IDC_PROCESS_PRIORITY_GROUP = 1070;
inline constexpr int IDC_WATCH_GROUP = 1071;
inline constexpr int IDC_APPLY = 1076;
inline constexpr int IDC_ROUND_ROBIN_HARD = 1077;
inline constexpr int IDC_ROUND_ROBIN_PREFERRED = 1078;
inline constexpr int IDC_DISABLE_BOOST = 1079;
inline constexpr int IDC_THREAD_GROUP = 1080;
// Box P(n) is IDC_PROCESSOR_FIRST + n.
inline constexpr int IDC_PROCESSOR_FIRST = 2000;
inline constexpr int kProcessorBoxes = 16;

}  // namespace tesmar::gui::main_dialog
