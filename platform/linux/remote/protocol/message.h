// The messages between a client and tesmar-remote, the helper on another machine: a frame is a
// 32-bit little-endian length and that many bytes; the bytes are an operation, a call number and
// typed fields. Everything read is untrusted on both sides: lengths are bounded, kinds checked,
// and every call's fields are checked against the shape its operation has (Shape) before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tesmar::platform::remote {

inline constexpr uint32_t kProtocolMagic = 0x524d5354u;  // "TSMR"
inline constexpr uint32_t kProtocolVersion = 1;
// ProcList and UpdateList may reach 64 MiB; a frame holds one of them and a little more.
inline constexpr uint32_t kMaxFrameBytes = 64u * 1024 * 1024 + 64 * 1024;
inline constexpr size_t kMaxFields = 16;
// The name of the helper program on the other machine's PATH.
inline constexpr char kHelperProgram[] = "tesmar-remote";

enum class Op : uint32_t {
  Hello = 1,    // both ways first: magic, version
  Reply = 2,    // the answer to the call of the same number
  Changed = 3,  // a watched key changed: the watch number (call number 0)
  RegConnect = 10,
  RegOpenKey,
  RegQueryValue,
  RegSetValue,
  RegDeleteValue,
  RegDeleteKey,
  RegCloseKey,
  RegLock,
  RegUnlock,
  RegNotify,
  ScOpenManager = 30,
  ScOpenService,
  ScCreateService,
  ScChangeConfig,
  ScDelete,
  ScQueryStatus,
  ScStart,
  ScControl,
  ScClose,
};

// Field kinds: 'u' 32-bit number, 'q' 64-bit number, 't' UTF-16 text or none, 's' UTF-8 text
// or none, 'b' bytes.
struct Field {
  char kind = 'u';
  uint64_t number = 0;
  std::optional<std::string> bytes;
};

struct Message {
  Op op = Op::Hello;
  uint32_t call = 0;
  std::vector<Field> fields;

  Message& U32(uint32_t value);
  Message& U64(uint64_t value);
  Message& Text(const char16_t* text);  // null: none
  Message& Narrow(const char* text);    // null: none
  Message& Bytes(const void* data, size_t size);

  // Readers for a message whose shape was checked.
  uint32_t U32At(size_t index) const { return static_cast<uint32_t>(fields[index].number); }
  uint64_t U64At(size_t index) const { return fields[index].number; }
  std::optional<std::u16string> TextAt(size_t index) const;
  const std::optional<std::string>& NarrowAt(size_t index) const { return fields[index].bytes; }
  const std::string& BytesAt(size_t index) const { return *fields[index].bytes; }
};

// The frame of a message, length first; empty when it would exceed kMaxFrameBytes.
std::string EncodeFrame(const Message& message);
// The message in a frame's bytes (without the length); false for anything malformed.
bool DecodeMessage(std::string_view payload, Message& message);
// True when the fields have exactly the kinds the shape lists ("qtuu").
bool HasShape(const Message& message, std::string_view shape);

// The shapes of each operation's request and of its reply; empty for a code that is no request.
std::string_view RequestShape(Op op);
std::string_view ReplyShape(Op op);

// Splits frames off the front of received bytes. Next answers a whole frame's payload, nothing
// while more bytes are needed, and Broken() once a length is out of bounds.
class FrameSplitter {
 public:
  void Append(const char* data, size_t size) { buffer_.append(data, size); }
  std::optional<std::string> Next();
  bool Broken() const { return broken_; }

 private:
  std::string buffer_;
  size_t start_ = 0;
  bool broken_ = false;
};

}  // namespace tesmar::platform::remote
