// The one way tesmarsr reports a failed operation: with the platform's last error number and the
// operation's name, printed only where someone can read it (console mode).
#pragma once

namespace tesmar::service {

// Reads the last error first, so nothing done here can change the number reported. Prints
// "Error Code <number> when calling <operation>" when print is nonzero, else nothing.
void ReportError(const char16_t* operationName, int print);

}  // namespace tesmar::service
