#include "support/immutable_file.h"

#include <filesystem>
#include <fstream>

#include "support/kernel_view.h"

namespace tesmar::testing {
namespace {

bool SetImmutable(const std::string& path, bool immutable) {
  return CommandOutput(std::string("chattr ") + (immutable ? "+i" : "-i") + " '" + path + "'")
      .has_value();
}

}  // namespace

bool ImmutableFile::Available() {
  static const bool available = [] {
    std::filesystem::path probe = std::filesystem::temp_directory_path() / "tesmar-immutable-probe";
    std::ofstream(probe) << "probe";
    bool made = SetImmutable(probe.string(), true);
    bool refused = made && !std::ofstream(probe, std::ios::app).is_open();
    if (made) SetImmutable(probe.string(), false);
    std::error_code ignored;
    std::filesystem::remove(probe, ignored);
    return refused;
  }();
  return available;
}

ImmutableFile::ImmutableFile(std::string path)
    : path_(std::move(path)), made_(SetImmutable(path_, true)) {}

ImmutableFile::~ImmutableFile() {
  if (made_) SetImmutable(path_, false);
}

}  // namespace tesmar::testing
