// The made-up machine that the request fuzzer applies requests to, and the layout of one fuzz
// input, shared with the program that writes its seed corpus so that seeds name processes the
// machine has. A made-up machine, since random requests applied to the real processes of the
// box would change them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "made_up_machine.h"
#include "platform/registry.h"

namespace tesmar::service::fuzzing {

// Installs the machine as the process source and returns it.
std::shared_ptr<platform::testing::MadeUpMachine> InstallFuzzMachine();

// The Data key in the registry of $TESMAR_ROOT, created when missing; null on failure.
HKEY OpenFuzzDataKey();

// What one input asks of its request pass, beside its two values. The base bits are tried in
// this order; none: UpdateListBase is deleted, as a client that does not know it leaves it.
enum Choice : uint8_t {
  kNameLatestPublication = 1,    // UpdateListBase names the latest publication, for these bytes
  kNameUnknownPublication = 2,   // it names one the service never made
  kBrokenBase = 4,               // it is no base at all (7 bytes)
  kTakeAsTheService = 8,         // UpdateFlag raised and taken as the worker takes it
  kRefreshAfter = 16,            // a refresh follows
  kNameEarlierPublication = 32,  // it names the publication before the latest
  kOtherBytesBase = 64,          // it names the latest, but describes other bytes
};

// One input: a byte of choices, two bytes (little-endian) of ProcList's length, that many bytes
// of ProcList (none: ProcList stays the publication the pass begins with), and the rest as
// UpdateList.
struct FuzzInput {
  uint8_t choices = 0;
  std::span<const uint8_t> procList;
  std::span<const uint8_t> updateList;
};
FuzzInput SplitFuzzInput(const uint8_t* data, size_t size);
std::vector<uint8_t> JoinFuzzInput(uint8_t choices, std::span<const uint8_t> procList,
                                   std::span<const uint8_t> updateList);

}  // namespace tesmar::service::fuzzing
