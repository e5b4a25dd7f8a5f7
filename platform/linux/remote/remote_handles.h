// Handles of another machine's keys and service-manager objects: a handle of this process's
// table that names the channel and the handle the helper holds on the far side.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "base/handle_table.h"
#include "remote/channel.h"

namespace tesmar::platform::remote {

class RemoteObject : public KernelObject {
 public:
  RemoteObject(std::shared_ptr<Channel> channel, uint64_t farHandle)
      : channel(std::move(channel)), farHandle(farHandle) {}
  const std::shared_ptr<Channel> channel;
  const uint64_t farHandle;
};

class RemoteKeyObject : public RemoteObject {
  using RemoteObject::RemoteObject;
};

class RemoteServiceObject : public RemoteObject {
  using RemoteObject::RemoteObject;
};

// The checked host of a machine name that is not this one, leading backslashes dropped:
// ERROR_INVALID_NAME for an empty name, a leading '-', blanks or control characters, which ssh
// would take for an option or which no host name has.
DWORD HostOfMachineName(std::u16string_view machineName, std::string& host);

// The channel to a named machine, or the error the failure to open it answers: unreachable gives
// unreachable (ERROR_BAD_NETPATH from the registry, RPC_S_SERVER_UNAVAILABLE from the service
// manager), a refused login ERROR_ACCESS_DENIED, a missing or foreign helper
// RPC_S_SERVER_UNAVAILABLE.
DWORD OpenChannel(std::u16string_view machineName, DWORD unreachable,
                  std::shared_ptr<Channel>& channel);

// A call that is no wait of its own: the channel's answer in CallTimeout(). False when the
// channel broke.
bool Ask(Channel& channel, Message request, Message& reply);

// A request that names the object's far handle first.
Message RequestFor(Op op, const RemoteObject& object);

// A call answered with its error alone; `lost` when the channel broke.
DWORD AskForError(const RemoteObject& object, Message request, DWORD lost);

}  // namespace tesmar::platform::remote
