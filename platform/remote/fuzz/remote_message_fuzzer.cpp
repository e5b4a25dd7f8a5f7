// libFuzzer target: any bytes as received on either side of the channel. They are split into
// frames, decoded, and every decoded message is read through the shapes of every operation, as
// both sides read them: nothing may read outside the bytes, crash or grow without bound.
#include <cstddef>
#include <cstdint>

#include "remote/protocol/message.h"

using namespace tesmar::platform::remote;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FrameSplitter splitter;
  // Half as one piece, the rest in small ones, as reads return them.
  size_t half = size / 2;
  splitter.Append(reinterpret_cast<const char*>(data), half);
  for (size_t at = half; at < size; at += 7) {
    splitter.Append(reinterpret_cast<const char*>(data) + at, size - at < 7 ? size - at : 7);
  }
  while (auto payload = splitter.Next()) {
    Message message;
    if (!DecodeMessage(*payload, message)) continue;
    for (uint32_t code = 0; code < 40; ++code) {
      for (std::string_view shape :
           {RequestShape(static_cast<Op>(code)), ReplyShape(static_cast<Op>(code))}) {
        if (shape.empty() || !HasShape(message, shape)) continue;
        for (size_t i = 0; i < shape.size(); ++i) {
          switch (shape[i]) {
            case 'u':
              (void)message.U32At(i);
              break;
            case 'q':
              (void)message.U64At(i);
              break;
            case 't':
              (void)message.TextAt(i);
              break;
            case 's':
              (void)message.NarrowAt(i);
              break;
            default:
              (void)message.BytesAt(i).size();
              break;
          }
        }
      }
    }
    // What was decoded encodes again to the same frame.
    std::string again = EncodeFrame(message);
    if (again.size() != payload->size() + 4 || again.compare(4, std::string::npos, *payload) != 0) {
      __builtin_trap();
    }
  }
  return 0;
}
