#include "dialog_resources.h"
#include "main_dialog_ids.h"

namespace tesmar::gui {
namespace {

using namespace main_dialog;
using K = ControlKind;
constexpr uint32_t Tab = WS_TABSTOP;
constexpr uint32_t ProcessListStyle =
    LBS_SORT | LBS_USETABSTOPS | LBS_NOTIFY | WS_VSCROLL | WS_HSCROLL | WS_BORDER | Tab;
constexpr uint32_t ThreadListStyle =
    LBS_EXTENDEDSEL | LBS_USETABSTOPS | LBS_NOTIFY | WS_VSCROLL | WS_HSCROLL | WS_BORDER | Tab;
constexpr uint32_t Box = BS_LEFTTEXT | Tab;

// clang-format off
constexpr ControlTemplate Controls[] = {
  {IDC_WATCH_GROUP, K::GroupBox, "Watch these processes", 3, 2, 323, 81, 0},
  {IDC_PROCESSES_LABEL, K::Label, "&Processes (PID)", 20, 13, 52, 8, 0},
  {IDC_PROCESS_AFFINITY_HEADING, K::Label, "Affinity (P0 - P15)", 129, 13, 55, 8, 0},
  {IDC_PROCESS_LIST, K::ListBox, nullptr, 9, 25, 238, 46, ProcessListStyle},
  {IDC_ROUND_ROBIN_HARD, K::AutoCheckBox, "Round-Robin Hard", 9, 72, 75, 10, Tab},
  {IDC_ROUND_ROBIN_PREFERRED, K::AutoCheckBox, "Round-Robin Preferred", 86, 72, 86, 10, Tab},
  {IDC_DISABLE_BOOST, K::AutoCheckBox, "Disable Priority Boost", 175, 72, 81, 10, Tab},
  {IDC_PROCESS_PRIORITY_GROUP, K::GroupBox, "Process Priority", 259, 15, 64, 67, 0},
  {IDC_CLASS_REAL_TIME, K::AutoRadioButton, "Rea&l Time", 261, 29, 48, 10, WS_GROUP | Tab},
  {IDC_CLASS_VERY_HIGH, K::AutoRadioButton, "Ver&y High", 261, 41, 46, 10, 0},
  {IDC_CLASS_NORMAL, K::AutoRadioButton, "&Normal", 261, 53, 38, 10, 0},
  {IDC_CLASS_IDLE, K::AutoRadioButton, "&Idle", 261, 64, 27, 10, 0},
  {IDC_THREAD_GROUP, K::GroupBox, nullptr, 3, 87, 323, 76, 0},
  {IDC_THREADS_LABEL, K::Label, "&Threads", 21, 97, 27, 8, 0},
  {IDC_THREAD_COUNT, K::Label, nullptr, 56, 97, 17, 8, 0},
  {IDC_STATIC, K::Label, "Affinity (P0 - P15)", 130, 97, 54, 8, 0},
  {IDC_THREAD_LIST, K::ListBox, nullptr, 9, 109, 237, 52, ThreadListStyle},
  {IDC_THREAD_PRIORITY_GROUP, K::GroupBox, "Thread Priority", 257, 93, 66, 69, 0},
  {IDC_THREAD_HIGHEST, K::RadioButton, "Hi&ghest", 259, 104, 39, 10, WS_GROUP | Tab},
  {IDC_THREAD_ABOVE_NORMAL, K::RadioButton, "Abo&ve Normal", 259, 116, 61, 10, 0},
  {IDC_THREAD_NORMAL, K::RadioButton, "N&ormal", 259, 128, 38, 10, 0},
  {IDC_THREAD_BELOW_NORMAL, K::RadioButton, "Belo&w Normal", 259, 139, 59, 10, 0},
  {IDC_THREAD_IDLE, K::RadioButton, "I&dle", 259, 150, 37, 10, 0},
  {IDC_AFFINITY_GROUP, K::GroupBox, "Affinity", 3, 166, 323, 50, 0},
  {IDC_PROCESSOR_FIRST + 0, K::AutoCheckBox, "P&0", 48, 183, 23, 10, Box | WS_GROUP},
  {IDC_PROCESSOR_FIRST + 1, K::AutoCheckBox, "P1", 78, 183, 23, 10, Box},
  {IDC_PROCESSOR_FIRST + 2, K::AutoCheckBox, "P2", 107, 183, 24, 10, Box},
  {IDC_PROCESSOR_FIRST + 3, K::AutoCheckBox, "P3", 137, 183, 24, 10, Box},
  {IDC_PROCESSOR_FIRST + 4, K::AutoCheckBox, "P4", 168, 183, 23, 10, Box},
  {IDC_PROCESSOR_FIRST + 5, K::AutoCheckBox, "P5", 196, 183, 25, 10, Box},
  {IDC_PROCESSOR_FIRST + 6, K::AutoCheckBox, "P6", 228, 183, 23, 10, Box},
  {IDC_PROCESSOR_FIRST + 7, K::AutoCheckBox, "P7 ", 257, 183, 24, 10, Box},
  {IDC_PROCESSOR_FIRST + 8, K::AutoCheckBox, "P&8", 48, 196, 23, 10, Box},
  {IDC_PROCESSOR_FIRST + 9, K::AutoCheckBox, "P9", 78, 196, 23, 10, Box},
  {IDC_PROCESSOR_FIRST + 10, K::AutoCheckBox, "P10", 105, 196, 26, 10, Box},
  {IDC_PROCESSOR_FIRST + 11, K::AutoCheckBox, "P11", 135, 196, 26, 10, Box},
  {IDC_PROCESSOR_FIRST + 12, K::AutoCheckBox, "P12", 165, 196, 26, 10, Box},
  {IDC_PROCESSOR_FIRST + 13, K::AutoCheckBox, "P13", 195, 196, 26, 10, Box},
  {IDC_PROCESSOR_FIRST + 14, K::AutoCheckBox, "P14", 225, 196, 26, 10, Box},
  {IDC_PROCESSOR_FIRST + 15, K::AutoCheckBox, "P15", 255, 196, 26, 10, Box},
  {IDC_APPLY, K::PushButton, "&Apply", 3, 225, 60, 14, WS_GROUP | Tab},
  {IDC_EDIT, K::PushButton, "&Edit", 65, 225, 60, 14, Tab},
  {IDC_REFRESH, K::PushButton, "&Refresh", 127, 225, 60, 14, Tab},
  {IDC_SELECT_COMPUTER, K::PushButton, "Select &Computer", 3, 252, 60, 14, Tab},
  {IDC_END_PROCESS, K::PushButton, "End Proces&s", 65, 252, 60, 14, Tab},
  {IDC_PERFMON, K::PushButton, "Perf&Mon", 127, 252, 60, 14, Tab},
  {IDC_HELP, K::PushButton, "&Help", 276, 219, 50, 14, Tab},
  {IDC_ABOUT, K::PushButton, "A&bout", 276, 236, 50, 14, Tab},
  {IDC_EXIT, K::DefaultPushButton, "E&xit", 276, 252, 50, 14, Tab},
};
// clang-format on

constexpr DialogTemplate Template{131, "Kaltrix Tesmar", "MS Sans Serif", 8, 328, 276, Controls};

}  // namespace

const DialogTemplate& MainDialogTemplate() {
  return Template;
}

}  // namespace tesmar::gui
