// The made-up machine that the request fuzzer applies requests to, shared with the program that
// writes its seed corpus so that seeds name processes the machine has. A made-up machine, since
// random requests applied to the real processes of the box would change them.
#pragma once

#include <memory>

#include "made_up_machine.h"
#include "platform/registry.h"

namespace tesmar::service::fuzzing {

// Installs the machine as the process source and returns it.
std::shared_ptr<platform::testing::MadeUpMachine> InstallFuzzMachine();

// The Data key in the registry of $TESMAR_ROOT, created when missing; null on failure.
HKEY OpenFuzzDataKey();

}  // namespace tesmar::service::fuzzing
