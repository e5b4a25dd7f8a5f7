// A file or folder made immutable (chattr +i) for the life of the object, so that a test can make
// a write of the code under test fail where nothing else would: not even root may change an
// immutable file, nor set a folder's times.
#pragma once

#include <string>

namespace tesmar::testing {

class ImmutableFile {
 public:
  // Whether this machine can make files immutable (root, and a file system that knows the flag).
  static bool Available();

  explicit ImmutableFile(std::string path);
  // Mutable again.
  ~ImmutableFile();
  ImmutableFile(const ImmutableFile&) = delete;
  ImmutableFile& operator=(const ImmutableFile&) = delete;

  bool made() const { return made_; }

 private:
  std::string path_;
  bool made_ = false;
};

}  // namespace tesmar::testing
