#include "command_line.h"

#include <cctype>

namespace tesmar::service {

RunMode RunModeOf(int argc, const char* const* argv) {
  if (argc < 2) return RunMode::Service;
  const char* first = argv[1];
  if (first[0] == '-' && std::tolower(static_cast<unsigned char>(first[1])) == 'e' &&
      first[2] == '\0') {
    return RunMode::Console;
  }
  return RunMode::Exit;
}

}  // namespace tesmar::service
