// The service-manager calls on another machine: each travels to the helper there, which makes
// the same call on its machine and answers its result. A broken channel answers
// RPC_S_SERVER_UNAVAILABLE. Each answers a Win32 error, ERROR_SUCCESS for success.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/service.h"
#include "remote/remote_handles.h"

namespace tesmar::platform::remote {

// The remote object behind a handle, or null for one of this machine.
std::shared_ptr<RemoteServiceObject> FindRemoteService(SC_HANDLE handle);

DWORD OpenManager(std::u16string_view machineName, LPCWSTR databaseName, DWORD access,
                  SC_HANDLE& result);
DWORD OpenService(const RemoteServiceObject& manager, LPCWSTR name, DWORD access,
                  SC_HANDLE& result);
DWORD CreateService(const RemoteServiceObject& manager, LPCSTR name, LPCSTR displayName,
                    DWORD access, DWORD type, DWORD start, DWORD errorControl,
                    LPCSTR binaryPathName, SC_HANDLE& result);
DWORD ChangeConfig(const RemoteServiceObject& service, DWORD type, DWORD start, DWORD errorControl,
                   LPCSTR binaryPathName, LPCSTR displayName);
DWORD Delete(const RemoteServiceObject& service);
DWORD QueryStatus(const RemoteServiceObject& service, LPSERVICE_STATUS status);
DWORD Start(const RemoteServiceObject& service, const std::vector<std::string>& arguments);
DWORD Control(const RemoteServiceObject& service, DWORD control, LPSERVICE_STATUS status);
// Closes this handle whatever the far side answers.
DWORD Close(SC_HANDLE handle, const RemoteServiceObject& object);

}  // namespace tesmar::platform::remote
