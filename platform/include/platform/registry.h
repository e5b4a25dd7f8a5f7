// The registry: one SQLite database per machine at $TESMAR_ROOT/registry.db (default
// /var/lib/tesmar). Key and value names compare without regard to case and keep their case.
// Who may write is the database file's permission.
#pragma once

#include "platform/export.h"
#include "platform/win32_types.h"

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)

// Value types.
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u

// Key access rights.
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_READ 0x00020019u
#define KEY_WRITE 0x00020006u
#define KEY_ALL_ACCESS 0x000F003Fu

// RegCreateKeyEx options and dispositions.
#define REG_OPTION_NON_VOLATILE 0x00000000u
#define REG_OPTION_VOLATILE 0x00000001u
#define REG_CREATED_NEW_KEY 0x00000001u
#define REG_OPENED_EXISTING_KEY 0x00000002u

// RegNotifyChangeKeyValue filters.
#define REG_NOTIFY_CHANGE_NAME 0x00000001u
#define REG_NOTIFY_CHANGE_ATTRIBUTES 0x00000002u
#define REG_NOTIFY_CHANGE_LAST_SET 0x00000004u
#define REG_NOTIFY_CHANGE_SECURITY 0x00000008u

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

PLATFORM_EXTERN_C_BEGIN

// No name, an empty name, ".", "localhost" or this computer's own name: the local machine.
// Another name reaches that machine through ssh and its helper tesmar-remote; every call on its
// keys travels there (ERROR_BAD_NETPATH when it cannot be reached or the channel broke).
PLATFORM_API LSTATUS RegConnectRegistryW(LPCWSTR machineName, HKEY key,
                                         PHKEY result) PLATFORM_NOEXCEPT;
PLATFORM_API LSTATUS RegConnectRegistryA(LPCSTR machineName, HKEY key,
                                         PHKEY result) PLATFORM_NOEXCEPT;

PLATFORM_API LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                     DWORD options, REGSAM desired, LPSECURITY_ATTRIBUTES security,
                                     PHKEY result, LPDWORD disposition) PLATFORM_NOEXCEPT;
PLATFORM_API LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                                     DWORD options, REGSAM desired, LPSECURITY_ATTRIBUTES security,
                                     PHKEY result, LPDWORD disposition) PLATFORM_NOEXCEPT;

PLATFORM_API LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired,
                                   PHKEY result) PLATFORM_NOEXCEPT;
PLATFORM_API LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired,
                                   PHKEY result) PLATFORM_NOEXCEPT;

// With data null: the size in *dataSize. A buffer too short: ERROR_MORE_DATA and the size.
PLATFORM_API LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                                      LPBYTE data, LPDWORD dataSize) PLATFORM_NOEXCEPT;
PLATFORM_API LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                      LPBYTE data, LPDWORD dataSize) PLATFORM_NOEXCEPT;

// Replaces the value whole, in one transaction.
PLATFORM_API LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                                    const BYTE* data, DWORD dataSize) PLATFORM_NOEXCEPT;
PLATFORM_API LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                                    const BYTE* data, DWORD dataSize) PLATFORM_NOEXCEPT;

// The name of the subkey at index (0, 1, ... until ERROR_NO_MORE_ITEMS), in the order of the
// names without regard to case; needs KEY_ENUMERATE_SUB_KEYS. *nameChars holds the room in
// characters, the terminator included, and becomes the name's length without it;
// ERROR_MORE_DATA when the name does not fit. Keys have no class (an empty one is given) and no
// write time is kept (zero is given). Only this machine's keys: ERROR_NOT_SUPPORTED for
// another's.
PLATFORM_API LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars,
                                   LPDWORD reserved, LPWSTR keyClass, LPDWORD classChars,
                                   PFILETIME lastWriteTime) PLATFORM_NOEXCEPT;

// Refuses a key that has subkeys, as Windows NT does.
PLATFORM_API LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) PLATFORM_NOEXCEPT;
PLATFORM_API LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) PLATFORM_NOEXCEPT;
PLATFORM_API LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) PLATFORM_NOEXCEPT;

// Also lets go of the key's lock the handle holds.
PLATFORM_API LSTATUS RegCloseKey(HKEY key) PLATFORM_NOEXCEPT;

// Not Win32 calls: the key's lock on its machine, for writers that must take turns (the clients
// of one Data key take it to write UpdateList and raise UpdateFlag). RegLockKey waits at most
// timeoutMilliseconds (INFINITE: without limit) and answers ERROR_TIMEOUT when the lock did not
// come; it needs an opened key (not a predefined root) with KEY_SET_VALUE, ERROR_ACCESS_DENIED
// otherwise. The handle holds the lock until RegUnlockKey, RegCloseKey or the end of the process
// that holds it, whichever comes first: a holder that is killed blocks nobody. Another handle
// waits for it, in the same process too; a handle that holds it already answers ERROR_SUCCESS
// at once, and ERROR_BUSY while another thread's RegLockKey on it still waits. RegUnlockKey
// answers ERROR_NOT_LOCKED for a handle that does not hold it.
PLATFORM_API LSTATUS RegLockKey(HKEY key, DWORD timeoutMilliseconds) PLATFORM_NOEXCEPT;
PLATFORM_API LSTATUS RegUnlockKey(HKEY key) PLATFORM_NOEXCEPT;

// Waits until a value under the key (and its subkeys when watchSubtree) is set by any process
// after the call began. Synchronous without an event; with an event (asynchronous) it returns at
// once and signals the event at the change.
PLATFORM_API LSTATUS RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD notifyFilter,
                                             HANDLE event, BOOL asynchronous) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END
