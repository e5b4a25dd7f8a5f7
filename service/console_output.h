// What tesmarsr prints in console mode. Every text is flushed at once, so that whoever reads the
// program's output through a pipe sees each line as soon as it is printed.
#pragma once

namespace tesmar::service {

void PrintToConsole(const char* text);

}  // namespace tesmar::service
