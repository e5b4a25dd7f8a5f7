// libScmkit: installs, removes, starts and stops a service through the service control manager,
// and records the directory the system was installed into. SerSetupCmd gathers the install-time
// procedures for the system's own service, KaltrixTesmar, into one call for an installer.
//
// Results: 0 success, 1 a bad argument or a missing handle (answered without any platform call),
// any other value the platform's error number taken right after the call that failed; so too
// for SerSetupCmd, whose procedure answers the step that failed. Every text is an 8-bit string.
#pragma once

#include "platform/service.h"
#include "platform/win32_types.h"

#define SCMKIT_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define SCMKIT_EXTERN_C_BEGIN extern "C" {
#define SCMKIT_EXTERN_C_END }
#define SCMKIT_NOEXCEPT noexcept
#else
#define SCMKIT_EXTERN_C_BEGIN
#define SCMKIT_EXTERN_C_END
#define SCMKIT_NOEXCEPT
#endif

// A service control context: the service control manager of one machine, and at most one
// service opened or created through it.
typedef struct SerSetupContext {
  SC_HANDLE ScmHandle;
  SC_HANDLE ServiceHandle;
} SerSetupContext;

// SerSetupServiceControl commands.
#define SERSETUP_CONTROL_STOP 0u
#define SERSETUP_CONTROL_START 1u

// SerSetupCmd command codes.
#define SERSETUP_CMD_REMOVE 0u
#define SERSETUP_CMD_INSTALL 1u
#define SERSETUP_CMD_RECORD_DIRECTORY 2u

SCMKIT_EXTERN_C_BEGIN

// Opens the service control manager of machineName (null: this machine) into a new context,
// stored in *context only on success.
SCMKIT_API DWORD SerSetupOpen(SerSetupContext** context, LPCSTR machineName) SCMKIT_NOEXCEPT;
// Closes the context's service, then its manager; the context is freed only when the manager
// handle closed.
SCMKIT_API DWORD SerSetupClose(SerSetupContext* context) SCMKIT_NOEXCEPT;

// Opens the named service, with all access, as the context's service.
SCMKIT_API DWORD SerSetupServiceOpen(SerSetupContext* context, LPCSTR serviceName) SCMKIT_NOEXCEPT;
SCMKIT_API DWORD SerSetupServiceClose(SerSetupContext* context) SCMKIT_NOEXCEPT;
// Creates a service in a process of its own under the local system account, its display name
// its name, and keeps it as the context's service.
SCMKIT_API DWORD SerSetupServiceInstall(SerSetupContext* context, DWORD startType,
                                        LPCSTR serviceName, LPCSTR executablePath) SCMKIT_NOEXCEPT;
// Marks the context's service for deletion and closes it.
SCMKIT_API DWORD SerSetupServiceRemove(SerSetupContext* context) SCMKIT_NOEXCEPT;
// Queries the service's status, then sends the stop control (SERSETUP_CONTROL_STOP) or starts
// it (SERSETUP_CONTROL_START), without waiting for it to get there.
SCMKIT_API DWORD SerSetupServiceControl(SerSetupContext* context, DWORD command) SCMKIT_NOEXCEPT;

// The installer's entry point: SERSETUP_CMD_REMOVE stops KaltrixTesmar, waits (within its
// wait hints) until it stopped, and removes it (nothing installed is no failure);
// SERSETUP_CMD_INSTALL installs it with argument as its executable path, to start with the
// machine, and starts it and waits until it runs: an older installation is stopped and changed
// in place, never removed; SERSETUP_CMD_RECORD_DIRECTORY stores argument as InstallDir under
// HKEY_LOCAL_MACHINE\SOFTWARE\Kaltrix\Tesmar\Ver2. A null or empty argument answers 1 before
// anything is touched. Any other code, or a null commandCode, does nothing and answers 0. The
// window is not used.
SCMKIT_API DWORD SerSetupCmd(HANDLE window, const DWORD* commandCode,
                             LPCSTR argument) SCMKIT_NOEXCEPT;

SCMKIT_EXTERN_C_END
