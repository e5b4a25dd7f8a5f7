// The one way tesmarsr reports a failed operation: with the platform's last error number and the
// operation's name, "Error Code <number> when calling <operation>", where someone can read it.
#pragma once

#include "platform/win32_types.h"

namespace tesmar::service {

enum class ReportTarget {
  // Before the program knows whether it runs as a service: it exits without a word.
  Nowhere,
  // Console mode: standard output, where the operator reads it.
  Console,
  // Service mode: standard error, which the service manager keeps in the service's errors.log.
  ErrorLog,
};

// Reads the last error first, so nothing done here can change the number reported.
void ReportError(const char16_t* operationName, ReportTarget target);

// The same for a registry call, which answers its error instead of setting the last error.
void ReportRegistryError(LSTATUS status, const char16_t* operationName, ReportTarget target);

}  // namespace tesmar::service
