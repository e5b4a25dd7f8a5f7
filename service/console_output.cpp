#include "console_output.h"

#include <cstdio>

namespace tesmar::service {

void PrintToConsole(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace tesmar::service
