#include "remote/remote_registry.h"

#include <cstring>

#include "base/event_object.h"
#include "base/handle_table.h"
#include "platform/errors.h"

namespace tesmar::platform::remote {
namespace {

constexpr DWORD kLost = ERROR_BAD_NETPATH;
// A lock wait of the far side is given this much more than its own timeout.
constexpr std::chrono::milliseconds kLockWaitMargin{15000};

enum QueryWhat : uint32_t { kTypeOnly = 0, kSizeOnly = 1, kData = 2 };

Message Request(Op op, const RemoteKeyObject& key) {
  return RequestFor(op, key);
}

DWORD Simple(const RemoteKeyObject& key, Message request) {
  return AskForError(key, std::move(request), kLost);
}

HKEY NewRemoteKey(const std::shared_ptr<Channel>& channel, uint64_t farHandle) {
  return reinterpret_cast<HKEY>(
      HandleTable::Instance().Insert(std::make_shared<RemoteKeyObject>(channel, farHandle)));
}

std::u16string Terminated(std::u16string_view text) {
  return std::u16string(text);
}

}  // namespace

std::shared_ptr<RemoteKeyObject> FindRemoteKey(HKEY key) {
  return HandleTable::Instance().Find<RemoteKeyObject>(reinterpret_cast<HANDLE>(key));
}

DWORD ConnectRegistry(std::u16string_view machineName, HKEY root, PHKEY result) {
  std::shared_ptr<Channel> channel;
  if (DWORD error = OpenChannel(machineName, kLost, channel)) return error;
  Message request;
  request.op = Op::RegConnect;
  request.U32(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(root)));
  Message reply;
  if (!Ask(*channel, std::move(request), reply)) return kLost;
  if (DWORD error = reply.U32At(0)) return error;
  *result = NewRemoteKey(channel, reply.U64At(1));
  return ERROR_SUCCESS;
}

DWORD OpenKey(const RemoteKeyObject& key, LPCWSTR subKey, REGSAM desired, bool create, PHKEY result,
              LPDWORD disposition) {
  Message request = Request(Op::RegOpenKey, key);
  request.Text(subKey).U32(desired).U32(create ? 1 : 0);
  Message reply;
  if (!Ask(*key.channel, std::move(request), reply)) return kLost;
  if (DWORD error = reply.U32At(0)) return error;
  *result = NewRemoteKey(key.channel, reply.U64At(1));
  if (disposition) *disposition = reply.U32At(2);
  return ERROR_SUCCESS;
}

DWORD QueryValue(const RemoteKeyObject& key, LPCWSTR name, LPDWORD type, LPBYTE data,
                 LPDWORD dataSize) {
  uint32_t what = data ? kData : dataSize ? kSizeOnly : kTypeOnly;
  Message request = Request(Op::RegQueryValue, key);
  request.Text(name).U32(what).U32(data ? *dataSize : 0);
  Message reply;
  if (!Ask(*key.channel, std::move(request), reply)) return kLost;
  DWORD error = reply.U32At(0);
  if (error != ERROR_SUCCESS && error != ERROR_MORE_DATA) return error;
  const std::string& bytes = reply.BytesAt(3);
  if (error == ERROR_SUCCESS && data) {
    // The far side sends no more than the room it was told of; anything else breaks no buffer.
    if (bytes.size() > *dataSize || bytes.size() != reply.U32At(2)) return kLost;
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  }
  if (type) *type = reply.U32At(1);
  if (dataSize) *dataSize = reply.U32At(2);
  return error;
}

DWORD ReadWholeValue(const RemoteKeyObject& key, std::u16string_view name, DWORD& type,
                     std::string& bytes) {
  std::u16string text = Terminated(name);
  // The value may grow between the size and the read; asking again finds the new size.
  for (;;) {
    DWORD size = 0;
    DWORD error = QueryValue(key, text.c_str(), &type, nullptr, &size);
    if (error != ERROR_SUCCESS) return error;
    bytes.assign(size, '\0');
    error = QueryValue(key, text.c_str(), &type, reinterpret_cast<LPBYTE>(bytes.data()) + 0, &size);
    if (error == ERROR_MORE_DATA) continue;
    if (error == ERROR_SUCCESS) bytes.resize(size);
    return error;
  }
}

DWORD SetValue(const RemoteKeyObject& key, std::u16string_view name, DWORD type, const BYTE* data,
               DWORD size) {
  std::u16string text = Terminated(name);
  Message request = Request(Op::RegSetValue, key);
  request.Text(text.c_str()).U32(type).Bytes(data, size);
  return Simple(key, std::move(request));
}

DWORD DeleteValue(const RemoteKeyObject& key, LPCWSTR name) {
  Message request = Request(Op::RegDeleteValue, key);
  request.Text(name);
  return Simple(key, std::move(request));
}

DWORD DeleteKey(const RemoteKeyObject& key, LPCWSTR subKey) {
  Message request = Request(Op::RegDeleteKey, key);
  request.Text(subKey);
  return Simple(key, std::move(request));
}

DWORD CloseKey(HKEY key, const RemoteKeyObject& object) {
  // A broken channel took the far handle with it; this one goes all the same.
  Simple(object, Request(Op::RegCloseKey, object));
  HandleTable::Instance().Close(reinterpret_cast<HANDLE>(key));
  return ERROR_SUCCESS;
}

DWORD LockKey(const RemoteKeyObject& key, DWORD timeoutMilliseconds) {
  Message request = Request(Op::RegLock, key);
  request.U32(timeoutMilliseconds);
  auto timeout = timeoutMilliseconds == INFINITE
                     ? std::chrono::milliseconds(-1)
                     : std::chrono::milliseconds(timeoutMilliseconds) + kLockWaitMargin;
  Message reply;
  if (!key.channel->Call(std::move(request), reply, timeout)) return kLost;
  return reply.U32At(0);
}

DWORD UnlockKey(const RemoteKeyObject& key) {
  return Simple(key, Request(Op::RegUnlock, key));
}

DWORD NotifyChange(const RemoteKeyObject& key, BOOL watchSubtree, DWORD filter, HANDLE event,
                   BOOL asynchronous) {
  std::shared_ptr<EventObject> signalled;
  if (asynchronous) {
    if (!event) return ERROR_INVALID_PARAMETER;
    signalled = HandleTable::Instance().Get<EventObject>(event);
    if (!signalled) return ERROR_INVALID_HANDLE;
  } else {
    signalled = std::make_shared<EventObject>(false, false);
  }
  uint32_t watch = key.channel->AddWatch(signalled);
  if (watch == 0) return kLost;
  Message request = Request(Op::RegNotify, key);
  request.U32(watchSubtree ? 1 : 0).U32(filter).U32(watch);
  Message reply;
  if (!Ask(*key.channel, std::move(request), reply)) return kLost;
  if (DWORD error = reply.U32At(0)) {
    key.channel->DropWatch(watch);
    return error;
  }
  if (asynchronous) return ERROR_SUCCESS;
  signalled->Wait(INFINITE);
  return key.channel->dead() ? kLost : ERROR_SUCCESS;
}

}  // namespace tesmar::platform::remote
