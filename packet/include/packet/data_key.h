// The protocol between the service and its clients, written once for both sides: the Data key
// under HKEY_LOCAL_MACHINE, its values and flags, the service's name, and how a value is read.
//
// The service publishes the process packet in ProcList and numbers each publication in
// ProcListSerial (publication.h). A client asks for a fresh packet by raising RefreshFlag, and
// for its edited copy to be applied by writing UpdateList and raising UpdateFlag. Only the
// service lowers a flag, and a flag counts as raised only while it holds kFlagRaised.
//
// Clients take turns with UpdateList: each takes the Data key's lock (RegLockKey), waits until
// UpdateFlag is down, writes UpdateListBase and UpdateList, raises the flag, and lets go once it
// saw the flag taken. The service reads the request before it lowers the flag, so a flag that
// is down means the last request has been read and the next may be written.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "platform/registry.h"
#include "platform/win32_types.h"

namespace tesmar::packet {

// The service, under the service manager of the machine.
inline constexpr char16_t kServiceName[] = u"KaltrixTesmar";
// The same name for the 8-bit calls of the installer's library.
inline constexpr char kServiceNameNarrow[] = "KaltrixTesmar";

// The installation key, with the directory the system was installed into.
inline constexpr char kInstallationKeyPath[] = "SOFTWARE\\Kaltrix\\Tesmar\\Ver2";
inline constexpr char kInstallDirValue[] = "InstallDir";

// The Data key, below the installation key.
inline constexpr char16_t kDataKeyPath[] = u"SOFTWARE\\Kaltrix\\Tesmar\\Ver2\\Data";
inline constexpr char16_t kProcListValue[] = u"ProcList";
inline constexpr char16_t kProcListSerialValue[] = u"ProcListSerial";
// The service's own: which processes ProcList's records stood for, read by nobody else.
inline constexpr char16_t kProcListIdentityValue[] = u"ProcListIdentity";
inline constexpr char16_t kUpdateListValue[] = u"UpdateList";
// The publication a client's UpdateList came from (request_base.h).
inline constexpr char16_t kUpdateListBaseValue[] = u"UpdateListBase";
inline constexpr char16_t kUpdateFlagValue[] = u"UpdateFlag";
inline constexpr char16_t kRefreshFlagValue[] = u"RefreshFlag";

inline constexpr DWORD kFlagRaised = 1;
inline constexpr DWORD kFlagLowered = 0;

// A registry value read whole.
struct ValueBytes {
  enum class Failure { None, SizeQuery, NoMemory, Read };
  Failure failure = Failure::None;
  // The registry's result of the call that failed.
  LSTATUS status = 0;
  // Never null on success, also for an empty value.
  std::unique_ptr<std::byte[]> bytes;
  DWORD size = 0;
};

// Asks the value's size, then reads its bytes. A writer may replace the value between the two
// calls: a value that grew in between is asked for again (a few times, no more), one that shrank
// keeps the length actually read.
ValueBytes ReadWholeValue(HKEY key, LPCWSTR name);

// A 4-byte value, whatever its registry type; none when it cannot be read or is longer.
std::optional<DWORD> ReadDwordValue(HKEY key, LPCWSTR name);
LSTATUS WriteDwordValue(HKEY key, LPCWSTR name, DWORD value);

// A client's side of a flag.
inline LSTATUS RaiseFlag(HKEY dataKey, LPCWSTR flag) {
  return WriteDwordValue(dataKey, flag, kFlagRaised);
}

}  // namespace tesmar::packet
