// The registry calls on another machine's keys: each travels to the helper there, which makes
// the same call on its machine and answers its result. A broken channel answers
// ERROR_BAD_NETPATH.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "remote/remote_handles.h"

namespace tesmar::platform::remote {

// The remote key behind a handle, or null for a key of this machine.
std::shared_ptr<RemoteKeyObject> FindRemoteKey(HKEY key);

DWORD ConnectRegistry(std::u16string_view machineName, HKEY root, PHKEY result);
DWORD OpenKey(const RemoteKeyObject& key, LPCWSTR subKey, REGSAM desired, bool create, PHKEY result,
              LPDWORD disposition);
DWORD QueryValue(const RemoteKeyObject& key, LPCWSTR name, LPDWORD type, LPBYTE data,
                 LPDWORD dataSize);
DWORD ReadWholeValue(const RemoteKeyObject& key, std::u16string_view name, DWORD& type,
                     std::string& bytes);
DWORD SetValue(const RemoteKeyObject& key, std::u16string_view name, DWORD type, const BYTE* data,
               DWORD size);
DWORD DeleteValue(const RemoteKeyObject& key, LPCWSTR name);
DWORD DeleteKey(const RemoteKeyObject& key, LPCWSTR subKey);
// Closes this handle whatever the far side answers.
DWORD CloseKey(HKEY key, const RemoteKeyObject& object);
DWORD LockKey(const RemoteKeyObject& key, DWORD timeoutMilliseconds);
DWORD UnlockKey(const RemoteKeyObject& key);
// With an event the call returns once the far side watches; without, it waits for the change.
DWORD NotifyChange(const RemoteKeyObject& key, BOOL watchSubtree, DWORD filter, HANDLE event,
                   BOOL asynchronous);

}  // namespace tesmar::platform::remote
