// What tesmarsr's command line asks for.
#pragma once

namespace tesmar::service {

enum class RunMode {
  Service,  // no argument
  Console,  // "-e", in either letter case
  Exit,     // anything else: exit at once, without output
};

RunMode RunModeOf(int argc, const char* const* argv);

}  // namespace tesmar::service
