#include "help_text.h"

namespace tesmar::gui {

// clang-format off
const char kMainHelpText[] =
    "Select Process and\n"
    "\n"
    "Select appropriate affinity mask, by checking/unckecking active CPUs\n"
    "\n"
    "Check/Uncheck the check box \"Round-Robin Hard\" to specify/remove single \n"
    "CPU hard affinity for all threads of a selected process\n"
    "\n"
    "Check the check box \"Round-Robin Preferred\" to specify the preferred CPU\n"
    "for all threads of a slected process in a round-robin way. Unckecking this\n"
    "will specify no preferred processor\n"
    "\n"
    "Check/Uncheck the check box \"Disable Priority Boost\" to disable/restore \n"
    "Windows NT's temporarily boosting capability for a process\n"
    "\n"
    "Select Thread(s) and\n"
    "\n"
    "Select appropriate affinity mask, by checking/unckecking active CPUs\n"
    "\n"
    "\n"
    "After making either one, more or all of the above changes, click on \"Apply\" button to make \n"
    "all changes effective\n"
    "\n"
    "\n"
    "To make priority changes, select process and/or thread(s) and just click \n"
    "appropriate radio buttons to make changes effective.";
// clang-format on

}  // namespace tesmar::gui
