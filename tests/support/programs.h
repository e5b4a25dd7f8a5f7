// The programs of the build that tests run: every binary lands in one folder, beside the running
// test executable.
#pragma once

#include <string>

namespace tesmar::testing {

// The program of that name in the build's binary folder.
std::string BuildProgram(const std::string& name);

inline std::string TesmarsrProgram() {
  return BuildProgram("tesmarsr");
}
// A small real service for tests (platform/testing/test_service_main.cpp).
inline std::string TestServiceProgram() {
  return BuildProgram("tesmar_test_service");
}

}  // namespace tesmar::testing
