#include "remote/protocol/message.h"

#include <cstring>

namespace tesmar::platform::remote {
namespace {

constexpr size_t kHeaderBytes = 8;  // operation, call number

void Put32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint32_t Get32(const char* at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= uint32_t{static_cast<unsigned char>(at[i])} << (8 * i);
  return value;
}

class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : bytes_(bytes) {}
  bool Take(size_t count, std::string_view& out) {
    if (bytes_.size() - at_ < count) return false;
    out = bytes_.substr(at_, count);
    at_ += count;
    return true;
  }
  bool Take32(uint32_t& value) {
    std::string_view raw;
    if (!Take(4, raw)) return false;
    value = Get32(raw.data());
    return true;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
};

bool IsOperation(uint32_t code) {
  return !RequestShape(static_cast<Op>(code)).empty() || code == uint32_t(Op::Hello) ||
         code == uint32_t(Op::Reply) || code == uint32_t(Op::Changed);
}

}  // namespace

Message& Message::U32(uint32_t value) {
  fields.push_back({'u', value, std::nullopt});
  return *this;
}

Message& Message::U64(uint64_t value) {
  fields.push_back({'q', value, std::nullopt});
  return *this;
}

Message& Message::Text(const char16_t* text) {
  Field field{'t', 0, std::nullopt};
  if (text) {
    size_t units = std::char_traits<char16_t>::length(text);
    field.bytes.emplace(reinterpret_cast<const char*>(text), units * sizeof(char16_t));
  }
  fields.push_back(std::move(field));
  return *this;
}

Message& Message::Narrow(const char* text) {
  Field field{'s', 0, std::nullopt};
  if (text) field.bytes.emplace(text);
  fields.push_back(std::move(field));
  return *this;
}

Message& Message::Bytes(const void* data, size_t size) {
  fields.push_back({'b', 0, std::string(static_cast<const char*>(data), size)});
  return *this;
}

std::optional<std::u16string> Message::TextAt(size_t index) const {
  const auto& bytes = fields[index].bytes;
  if (!bytes) return std::nullopt;
  std::u16string text(bytes->size() / sizeof(char16_t), u'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes->data(), text.size() * sizeof(char16_t));
  return text;
}

// A field: its kind, then a 32-bit number, two halves of a 64-bit one, or a presence byte and,
// when present, a length and the bytes.
std::string EncodeFrame(const Message& message) {
  std::string out(4, '\0');
  Put32(out, static_cast<uint32_t>(message.op));
  Put32(out, message.call);
  for (const Field& field : message.fields) {
    out.push_back(field.kind);
    if (field.kind == 'u') {
      Put32(out, static_cast<uint32_t>(field.number));
    } else if (field.kind == 'q') {
      Put32(out, static_cast<uint32_t>(field.number));
      Put32(out, static_cast<uint32_t>(field.number >> 32));
    } else {
      out.push_back(field.bytes ? 1 : 0);
      if (field.bytes) {
        if (field.bytes->size() > kMaxFrameBytes) return {};
        Put32(out, static_cast<uint32_t>(field.bytes->size()));
        out += *field.bytes;
      }
    }
    if (out.size() - 4 > kMaxFrameBytes) return {};
  }
  uint32_t length = static_cast<uint32_t>(out.size() - 4);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  return out;
}

bool DecodeMessage(std::string_view payload, Message& message) {
  if (payload.size() < kHeaderBytes || payload.size() > kMaxFrameBytes) return false;
  Cursor cursor(payload);
  uint32_t op = 0;
  cursor.Take32(op);
  cursor.Take32(message.call);
  if (!IsOperation(op)) return false;
  message.op = static_cast<Op>(op);
  message.fields.clear();
  while (!cursor.AtEnd()) {
    if (message.fields.size() == kMaxFields) return false;
    std::string_view kind;
    cursor.Take(1, kind);
    Field field{kind[0], 0, std::nullopt};
    uint32_t low = 0, high = 0, length = 0;
    std::string_view raw;
    switch (field.kind) {
      case 'u':
        if (!cursor.Take32(low)) return false;
        field.number = low;
        break;
      case 'q':
        if (!cursor.Take32(low) || !cursor.Take32(high)) return false;
        field.number = (uint64_t{high} << 32) | low;
        break;
      case 't':
      case 's':
      case 'b':
        if (!cursor.Take(1, raw) || (raw[0] != 0 && raw[0] != 1)) return false;
        if (raw[0] == 1) {
          if (!cursor.Take32(length) || !cursor.Take(length, raw)) return false;
          if (field.kind == 't' && length % 2 != 0) return false;
          field.bytes.emplace(raw);
        } else if (field.kind == 'b') {
          return false;  // bytes are always present
        }
        break;
      default:
        return false;
    }
    message.fields.push_back(std::move(field));
  }
  return true;
}

bool HasShape(const Message& message, std::string_view shape) {
  if (message.fields.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    if (message.fields[i].kind != shape[i]) return false;
  }
  return true;
}

std::string_view RequestShape(Op op) {
  switch (op) {
    case Op::RegConnect:
      return "u";  // predefined root
    case Op::RegOpenKey:
      return "qtuu";  // key, subkey, access, create
    case Op::RegQueryValue:
      return "qtuu";  // key, name, what (0 type, 1 size, 2 data), room
    case Op::RegSetValue:
      return "qtub";  // key, name, type, data
    case Op::RegDeleteValue:
      return "qt";  // key, name
    case Op::RegDeleteKey:
      return "qt";  // key, subkey
    case Op::RegCloseKey:
      return "q";  // key
    case Op::RegLock:
      return "qu";  // key, timeout
    case Op::RegUnlock:
      return "q";  // key
    case Op::RegNotify:
      return "quuu";  // key, subtree, filter, watch number
    case Op::ScOpenManager:
      return "tu";  // database, access
    case Op::ScOpenService:
      return "qtu";  // manager, name, access
    case Op::ScCreateService:
      return "qssuuuus";  // manager, name, display, access, type,
                          // start, error control, command line
    case Op::ScChangeConfig:
      return "quuuss";  // service, type, start, error control,
                        // command line, display name
    case Op::ScDelete:
      return "q";
    case Op::ScQueryStatus:
      return "q";
    case Op::ScStart:
      return "qb";  // service, arguments each ended by a NUL
    case Op::ScControl:
      return "qu";
    case Op::ScClose:
      return "q";
    default:
      return {};
  }
}

std::string_view ReplyShape(Op op) {
  switch (op) {
    case Op::RegConnect:
    case Op::ScOpenManager:
    case Op::ScOpenService:
    case Op::ScCreateService:
      return "uq";  // error, handle
    case Op::RegOpenKey:
      return "uqu";  // error, handle, disposition
    case Op::RegQueryValue:
      return "uuub";  // error, type, size, data
    case Op::ScQueryStatus:
      return "uuuuuuuu";  // error, the seven status fields
    case Op::ScControl:
      return "uuuuuuuuu";  // error, status filled, the seven fields
    default:
      return RequestShape(op).empty() ? std::string_view{} : "u";  // error
  }
}

std::optional<std::string> FrameSplitter::Next() {
  if (broken_ || buffer_.size() - start_ < 4) return std::nullopt;
  uint32_t length = Get32(buffer_.data() + start_);
  if (length < kHeaderBytes || length > kMaxFrameBytes) {
    broken_ = true;
    return std::nullopt;
  }
  if (buffer_.size() - start_ - 4 < length) return std::nullopt;
  std::string payload = buffer_.substr(start_ + 4, length);
  start_ += 4 + length;
  // Drop what was taken once it is most of the buffer, so that it never grows without end.
  if (start_ > buffer_.size() / 2) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  return payload;
}

}  // namespace tesmar::platform::remote
