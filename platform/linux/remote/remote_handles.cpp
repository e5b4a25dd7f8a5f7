#include "remote/remote_handles.h"

#include "base/text_conversion.h"
#include "platform/errors.h"

namespace tesmar::platform::remote {

DWORD HostOfMachineName(std::u16string_view machineName, std::string& host) {
  while (!machineName.empty() && machineName.front() == u'\\') machineName.remove_prefix(1);
  if (machineName.empty() || machineName.front() == u'-') return ERROR_INVALID_NAME;
  for (char16_t unit : machineName) {
    if (unit <= u' ' || unit == 0x7F) return ERROR_INVALID_NAME;
  }
  host = Utf16ToUtf8(machineName);
  return ERROR_SUCCESS;
}

DWORD OpenChannel(std::u16string_view machineName, DWORD unreachable,
                  std::shared_ptr<Channel>& channel) {
  std::string host;
  if (DWORD error = HostOfMachineName(machineName, host)) return error;
  ChannelFailure failure = ChannelFailure::None;
  channel = ChannelTo(host, failure);
  switch (failure) {
    case ChannelFailure::None:
      return ERROR_SUCCESS;
    case ChannelFailure::Refused:
      return ERROR_ACCESS_DENIED;
    case ChannelFailure::NoHelper:
      return RPC_S_SERVER_UNAVAILABLE;
    case ChannelFailure::Unreachable:
      break;
  }
  return unreachable;
}

bool Ask(Channel& channel, Message request, Message& reply) {
  return channel.Call(std::move(request), reply, CallTimeout());
}

Message RequestFor(Op op, const RemoteObject& object) {
  Message message;
  message.op = op;
  message.U64(object.farHandle);
  return message;
}

DWORD AskForError(const RemoteObject& object, Message request, DWORD lost) {
  Message reply;
  if (!Ask(*object.channel, std::move(request), reply)) return lost;
  return reply.U32At(0);
}

}  // namespace tesmar::platform::remote
