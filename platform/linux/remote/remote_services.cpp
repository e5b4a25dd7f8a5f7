#include "remote/remote_services.h"

#include "base/handle_table.h"
#include "platform/errors.h"

namespace tesmar::platform::remote {
namespace {

constexpr DWORD kLost = RPC_S_SERVER_UNAVAILABLE;

Message Request(Op op, const RemoteServiceObject& object) {
  return RequestFor(op, object);
}

DWORD Simple(const RemoteServiceObject& object, Message request) {
  return AskForError(object, std::move(request), kLost);
}

DWORD NewHandle(const std::shared_ptr<Channel>& channel, Message request, SC_HANDLE& result) {
  Message reply;
  if (!Ask(*channel, std::move(request), reply)) return kLost;
  if (DWORD error = reply.U32At(0)) return error;
  result = reinterpret_cast<SC_HANDLE>(HandleTable::Instance().Insert(
      std::make_shared<RemoteServiceObject>(channel, reply.U64At(1))));
  return ERROR_SUCCESS;
}

void ReadStatus(const Message& reply, size_t first, LPSERVICE_STATUS status) {
  status->dwServiceType = reply.U32At(first);
  status->dwCurrentState = reply.U32At(first + 1);
  status->dwControlsAccepted = reply.U32At(first + 2);
  status->dwWin32ExitCode = reply.U32At(first + 3);
  status->dwServiceSpecificExitCode = reply.U32At(first + 4);
  status->dwCheckPoint = reply.U32At(first + 5);
  status->dwWaitHint = reply.U32At(first + 6);
}

}  // namespace

std::shared_ptr<RemoteServiceObject> FindRemoteService(SC_HANDLE handle) {
  return HandleTable::Instance().Find<RemoteServiceObject>(reinterpret_cast<HANDLE>(handle));
}

DWORD OpenManager(std::u16string_view machineName, LPCWSTR databaseName, DWORD access,
                  SC_HANDLE& result) {
  std::shared_ptr<Channel> channel;
  if (DWORD error = OpenChannel(machineName, kLost, channel)) return error;
  Message request;
  request.op = Op::ScOpenManager;
  request.Text(databaseName).U32(access);
  return NewHandle(channel, std::move(request), result);
}

DWORD OpenService(const RemoteServiceObject& manager, LPCWSTR name, DWORD access,
                  SC_HANDLE& result) {
  Message request = Request(Op::ScOpenService, manager);
  request.Text(name).U32(access);
  return NewHandle(manager.channel, std::move(request), result);
}

DWORD CreateService(const RemoteServiceObject& manager, LPCSTR name, LPCSTR displayName,
                    DWORD access, DWORD type, DWORD start, DWORD errorControl,
                    LPCSTR binaryPathName, SC_HANDLE& result) {
  Message request = Request(Op::ScCreateService, manager);
  request.Narrow(name).Narrow(displayName).U32(access).U32(type).U32(start).U32(errorControl);
  request.Narrow(binaryPathName);
  return NewHandle(manager.channel, std::move(request), result);
}

DWORD ChangeConfig(const RemoteServiceObject& service, DWORD type, DWORD start, DWORD errorControl,
                   LPCSTR binaryPathName, LPCSTR displayName) {
  Message request = Request(Op::ScChangeConfig, service);
  request.U32(type).U32(start).U32(errorControl).Narrow(binaryPathName).Narrow(displayName);
  return Simple(service, std::move(request));
}

DWORD Delete(const RemoteServiceObject& service) {
  return Simple(service, Request(Op::ScDelete, service));
}

DWORD QueryStatus(const RemoteServiceObject& service, LPSERVICE_STATUS status) {
  if (!status) return ERROR_INVALID_PARAMETER;
  Message reply;
  if (!Ask(*service.channel, Request(Op::ScQueryStatus, service), reply)) return kLost;
  if (DWORD error = reply.U32At(0)) return error;
  ReadStatus(reply, 1, status);
  return ERROR_SUCCESS;
}

DWORD Start(const RemoteServiceObject& service, const std::vector<std::string>& arguments) {
  std::string joined;
  for (const auto& argument : arguments) {
    joined += argument;
    joined.push_back('\0');
  }
  Message request = Request(Op::ScStart, service);
  request.Bytes(joined.data(), joined.size());
  return Simple(service, std::move(request));
}

DWORD Control(const RemoteServiceObject& service, DWORD control, LPSERVICE_STATUS status) {
  Message request = Request(Op::ScControl, service);
  request.U32(control);
  Message reply;
  if (!Ask(*service.channel, std::move(request), reply)) return kLost;
  if (status && reply.U32At(1)) ReadStatus(reply, 2, status);
  return reply.U32At(0);
}

DWORD Close(SC_HANDLE handle, const RemoteServiceObject& object) {
  Simple(object, Request(Op::ScClose, object));
  HandleTable::Instance().Close(reinterpret_cast<HANDLE>(handle));
  return ERROR_SUCCESS;
}

}  // namespace tesmar::platform::remote
