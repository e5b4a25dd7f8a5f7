// Each request made as the same call on this machine, as the SSH user: the machine's own
// permissions decide, and the call's Win32 result travels back. Handles from the client are only
// numbers here; the calls check them against this process's table as they check any handle.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/threading.h"
#include "request_server.h"

namespace tesmar::remote_helper {
namespace {

using platform::remote::Message;
using platform::remote::Op;

Message Reply(const Message& request) {
  Message reply;
  reply.op = Op::Reply;
  reply.call = request.call;
  return reply;
}

Message Error(const Message& request, DWORD error) {
  return Reply(request).U32(error);
}

HKEY KeyAt(const Message& request, size_t index) {
  return reinterpret_cast<HKEY>(static_cast<uintptr_t>(request.U64At(index)));
}

SC_HANDLE ServiceAt(const Message& request, size_t index) {
  return reinterpret_cast<SC_HANDLE>(static_cast<uintptr_t>(request.U64At(index)));
}

// A text field as a call takes it: null for none.
struct TextArgument {
  explicit TextArgument(std::optional<std::u16string> value) : text(std::move(value)) {}
  LPCWSTR get() const { return text ? text->c_str() : nullptr; }
  std::optional<std::u16string> text;
};

LPCSTR NarrowOf(const std::optional<std::string>& text) {
  return text ? text->c_str() : nullptr;
}

Message KeyReply(const Message& request, LSTATUS error, HKEY key, DWORD disposition) {
  Message reply = Reply(request).U32(static_cast<DWORD>(error));
  reply.U64(error == ERROR_SUCCESS ? reinterpret_cast<uintptr_t>(key) : 0);
  return reply.U32(disposition);
}

Message HandleReply(const Message& request, SC_HANDLE handle) {
  DWORD error = handle ? ERROR_SUCCESS : GetLastError();
  if (!handle && error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
  return Reply(request).U32(error).U64(reinterpret_cast<uintptr_t>(handle));
}

Message BoolReply(const Message& request, BOOL done) {
  DWORD error = done ? ERROR_SUCCESS : GetLastError();
  if (!done && error == ERROR_SUCCESS) error = ERROR_GEN_FAILURE;
  return Error(request, error);
}

void PutStatus(Message& reply, const SERVICE_STATUS& status) {
  reply.U32(status.dwServiceType).U32(status.dwCurrentState).U32(status.dwControlsAccepted);
  reply.U32(status.dwWin32ExitCode).U32(status.dwServiceSpecificExitCode);
  reply.U32(status.dwCheckPoint).U32(status.dwWaitHint);
}

Message QueryValue(const Message& request) {
  TextArgument name(request.TextAt(1));
  uint32_t what = request.U32At(2);
  DWORD type = REG_NONE;
  DWORD size = 0;
  std::string data;
  LSTATUS error = RegQueryValueExW(KeyAt(request, 0), name.get(), nullptr, &type, nullptr,
                                   what == 0 ? nullptr : &size);
  if (error == ERROR_SUCCESS && what == 2) {
    if (size > request.U32At(3)) {
      error = ERROR_MORE_DATA;
    } else {
      data.assign(size, '\0');
      error = RegQueryValueExW(KeyAt(request, 0), name.get(), nullptr, &type,
                               reinterpret_cast<LPBYTE>(data.data()), &size);
      data.resize(error == ERROR_SUCCESS ? size : 0);
    }
  }
  Message reply = Reply(request).U32(static_cast<DWORD>(error)).U32(type).U32(size);
  return reply.Bytes(data.data(), data.size());
}

// The change travels as a message of its own once it comes; closing the key ends the watch
// too, as its event is signalled then.
Message Notify(const Message& request, RequestServer& server) {
  HANDLE changed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!changed) return Error(request, GetLastError());
  LSTATUS error = RegNotifyChangeKeyValue(KeyAt(request, 0), request.U32At(1) != 0,
                                          request.U32At(2), changed, TRUE);
  if (error != ERROR_SUCCESS) {
    CloseHandle(changed);
    return Error(request, static_cast<DWORD>(error));
  }
  uint32_t watch = request.U32At(3);
  std::thread([&server, changed, watch] {
    WaitForSingleObject(changed, INFINITE);
    CloseHandle(changed);
    Message message;
    message.op = Op::Changed;
    message.U32(watch);
    server.Send(message);
  }).detach();
  return Error(request, ERROR_SUCCESS);
}

Message Start(const Message& request) {
  std::vector<std::string> arguments;
  const std::string& joined = request.BytesAt(1);
  size_t begin = 0;
  for (size_t end; (end = joined.find('\0', begin)) != std::string::npos; begin = end + 1) {
    arguments.push_back(joined.substr(begin, end - begin));
  }
  std::vector<LPCSTR> argv;
  for (const auto& argument : arguments) argv.push_back(argument.c_str());
  return BoolReply(request, StartServiceA(ServiceAt(request, 0), static_cast<DWORD>(argv.size()),
                                          argv.empty() ? nullptr : argv.data()));
}

// Windows fills the status in for some answers only; which, tells a status preset to a pattern.
Message Control(const Message& request) {
  SERVICE_STATUS status;
  std::memset(&status, 0xFF, sizeof status);
  BOOL done = ControlService(ServiceAt(request, 0), request.U32At(1), &status);
  DWORD error = done ? ERROR_SUCCESS : GetLastError();
  SERVICE_STATUS untouched;
  std::memset(&untouched, 0xFF, sizeof untouched);
  bool filled = std::memcmp(&status, &untouched, sizeof status) != 0;
  Message reply = Reply(request).U32(error).U32(filled ? 1 : 0);
  PutStatus(reply, filled ? status : SERVICE_STATUS{});
  return reply;
}

}  // namespace

Message Answer(const Message& request, RequestServer& server) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  switch (request.op) {
    case Op::RegConnect: {
      auto root = reinterpret_cast<HKEY>(static_cast<uintptr_t>(request.U32At(0)));
      LSTATUS error = RegConnectRegistryW(nullptr, root, &key);
      Message reply = Reply(request).U32(static_cast<DWORD>(error));
      return reply.U64(error == ERROR_SUCCESS ? reinterpret_cast<uintptr_t>(key) : 0);
    }
    case Op::RegOpenKey: {
      TextArgument subKey(request.TextAt(1));
      LSTATUS error =
          request.U32At(3)
              ? RegCreateKeyExW(KeyAt(request, 0), subKey.get(), 0, nullptr, 0, request.U32At(2),
                                nullptr, &key, &disposition)
              : RegOpenKeyExW(KeyAt(request, 0), subKey.get(), 0, request.U32At(2), &key);
      return KeyReply(request, error, key, disposition);
    }
    case Op::RegQueryValue:
      return QueryValue(request);
    case Op::RegSetValue: {
      TextArgument name(request.TextAt(1));
      const std::string& data = request.BytesAt(3);
      return Error(request, RegSetValueExW(KeyAt(request, 0), name.get(), 0, request.U32At(2),
                                           reinterpret_cast<const BYTE*>(data.data()),
                                           static_cast<DWORD>(data.size())));
    }
    case Op::RegDeleteValue: {
      TextArgument name(request.TextAt(1));
      return Error(request, RegDeleteValueW(KeyAt(request, 0), name.get()));
    }
    case Op::RegDeleteKey: {
      TextArgument subKey(request.TextAt(1));
      return Error(request, RegDeleteKeyW(KeyAt(request, 0), subKey.get()));
    }
    case Op::RegCloseKey:
      return Error(request, RegCloseKey(KeyAt(request, 0)));
    case Op::RegLock:
      return Error(request, RegLockKey(KeyAt(request, 0), request.U32At(1)));
    case Op::RegUnlock:
      return Error(request, RegUnlockKey(KeyAt(request, 0)));
    case Op::RegNotify:
      return Notify(request, server);
    case Op::ScOpenManager: {
      TextArgument database(request.TextAt(0));
      return HandleReply(request, OpenSCManagerW(nullptr, database.get(), request.U32At(1)));
    }
    case Op::ScOpenService: {
      TextArgument name(request.TextAt(1));
      return HandleReply(request,
                         OpenServiceW(ServiceAt(request, 0), name.get(), request.U32At(2)));
    }
    case Op::ScCreateService:
      return HandleReply(
          request, CreateServiceA(ServiceAt(request, 0), NarrowOf(request.NarrowAt(1)),
                                  NarrowOf(request.NarrowAt(2)), request.U32At(3), request.U32At(4),
                                  request.U32At(5), request.U32At(6), NarrowOf(request.NarrowAt(7)),
                                  nullptr, nullptr, nullptr, nullptr, nullptr));
    case Op::ScChangeConfig:
      return BoolReply(
          request,
          ChangeServiceConfigA(ServiceAt(request, 0), request.U32At(1), request.U32At(2),
                               request.U32At(3), NarrowOf(request.NarrowAt(4)), nullptr, nullptr,
                               nullptr, nullptr, nullptr, NarrowOf(request.NarrowAt(5))));
    case Op::ScDelete:
      return BoolReply(request, DeleteService(ServiceAt(request, 0)));
    case Op::ScQueryStatus: {
      SERVICE_STATUS status{};
      BOOL done = QueryServiceStatus(ServiceAt(request, 0), &status);
      Message reply = Reply(request).U32(done ? ERROR_SUCCESS : GetLastError());
      PutStatus(reply, status);
      return reply;
    }
    case Op::ScStart:
      return Start(request);
    case Op::ScControl:
      return Control(request);
    case Op::ScClose:
      return BoolReply(request, CloseServiceHandle(ServiceAt(request, 0)));
    default:
      return Error(request, ERROR_NOT_SUPPORTED);
  }
}

}  // namespace tesmar::remote_helper
