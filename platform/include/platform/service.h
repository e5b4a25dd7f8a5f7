// The service control manager: definitions in the registry under
// SYSTEM\CurrentControlSet\Services\<name>, runtime status beside them in $TESMAR_ROOT.
#pragma once

#include "platform/export.h"
#include "platform/win32_types.h"

typedef struct SC_HANDLE__* SC_HANDLE;
typedef SC_HANDLE* LPSC_HANDLE;
typedef struct SERVICE_STATUS_HANDLE__* SERVICE_STATUS_HANDLE;

// Rights on the service manager.
#define SC_MANAGER_CONNECT 0x0001u
#define SC_MANAGER_CREATE_SERVICE 0x0002u
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004u
#define SC_MANAGER_LOCK 0x0008u
#define SC_MANAGER_QUERY_LOCK_STATUS 0x0010u
#define SC_MANAGER_MODIFY_BOOT_CONFIG 0x0020u
#define SC_MANAGER_ALL_ACCESS 0x000F003Fu
// Rights on a service.
#define SERVICE_QUERY_CONFIG 0x0001u
#define SERVICE_CHANGE_CONFIG 0x0002u
#define SERVICE_QUERY_STATUS 0x0004u
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008u
#define SERVICE_START 0x0010u
#define SERVICE_STOP 0x0020u
#define SERVICE_PAUSE_CONTINUE 0x0040u
#define SERVICE_INTERROGATE 0x0080u
#define SERVICE_USER_DEFINED_CONTROL 0x0100u
#define SERVICE_ALL_ACCESS 0x000F01FFu

#define SERVICE_WIN32_OWN_PROCESS 0x00000010u
#define SERVICE_AUTO_START 0x00000002u
#define SERVICE_DEMAND_START 0x00000003u
#define SERVICE_DISABLED 0x00000004u
#define SERVICE_ERROR_IGNORE 0x00000000u
#define SERVICE_ERROR_NORMAL 0x00000001u
// ChangeServiceConfig: leave this setting as it is.
#define SERVICE_NO_CHANGE 0xFFFFFFFFu

#define SERVICE_STOPPED 0x00000001u
#define SERVICE_START_PENDING 0x00000002u
#define SERVICE_STOP_PENDING 0x00000003u
#define SERVICE_RUNNING 0x00000004u
#define SERVICE_CONTINUE_PENDING 0x00000005u
#define SERVICE_PAUSE_PENDING 0x00000006u
#define SERVICE_PAUSED 0x00000007u

#define SERVICE_CONTROL_STOP 0x00000001u
#define SERVICE_CONTROL_PAUSE 0x00000002u
#define SERVICE_CONTROL_CONTINUE 0x00000003u
#define SERVICE_CONTROL_INTERROGATE 0x00000004u

#define SERVICE_ACCEPT_STOP 0x00000001u
#define SERVICE_ACCEPT_PAUSE_CONTINUE 0x00000002u

typedef struct _SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

typedef void (*LPSERVICE_MAIN_FUNCTIONW)(DWORD argc, LPWSTR* argv);
typedef void (*LPHANDLER_FUNCTION)(DWORD control);

typedef struct _SERVICE_TABLE_ENTRYW {
  LPWSTR lpServiceName;
  LPSERVICE_MAIN_FUNCTIONW lpServiceProc;
} SERVICE_TABLE_ENTRYW;

PLATFORM_EXTERN_C_BEGIN

// Manager side. Another machine's name reaches its manager through ssh and its helper
// tesmar-remote (RPC_S_SERVER_UNAVAILABLE when it cannot be reached or the channel broke).
PLATFORM_API SC_HANDLE OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName,
                                      DWORD desiredAccess) PLATFORM_NOEXCEPT;
PLATFORM_API SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName,
                                      DWORD desiredAccess) PLATFORM_NOEXCEPT;
PLATFORM_API SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName,
                                    DWORD desiredAccess) PLATFORM_NOEXCEPT;
PLATFORM_API SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR serviceName,
                                    DWORD desiredAccess) PLATFORM_NOEXCEPT;
PLATFORM_API SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                                      DWORD desiredAccess, DWORD serviceType, DWORD startType,
                                      DWORD errorControl, LPCSTR binaryPathName,
                                      LPCSTR loadOrderGroup, LPDWORD tagId, LPCSTR dependencies,
                                      LPCSTR serviceStartName, LPCSTR password) PLATFORM_NOEXCEPT;
// Start type, error control, command line and display name; SERVICE_NO_CHANGE or null keep one.
PLATFORM_API BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType,
                                       DWORD errorControl, LPCSTR binaryPathName,
                                       LPCSTR loadOrderGroup, LPDWORD tagId, LPCSTR dependencies,
                                       LPCSTR serviceStartName, LPCSTR password,
                                       LPCSTR displayName) PLATFORM_NOEXCEPT;
// Marks the service; its definition goes when the last handle closes and it is stopped.
PLATFORM_API BOOL DeleteService(SC_HANDLE service) PLATFORM_NOEXCEPT;
PLATFORM_API BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) PLATFORM_NOEXCEPT;
// Spawns the image detached, in a session of its own; ERROR_SERVICE_ALREADY_RUNNING when it runs.
PLATFORM_API BOOL StartServiceW(SC_HANDLE service, DWORD argc, LPCWSTR* argv) PLATFORM_NOEXCEPT;
PLATFORM_API BOOL StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR* argv) PLATFORM_NOEXCEPT;
PLATFORM_API BOOL ControlService(SC_HANDLE service, DWORD control,
                                 LPSERVICE_STATUS status) PLATFORM_NOEXCEPT;
PLATFORM_API BOOL CloseServiceHandle(SC_HANDLE handle) PLATFORM_NOEXCEPT;

// Service side. Only a process the manager started may connect the dispatcher
// (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT otherwise).
PLATFORM_API BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table) PLATFORM_NOEXCEPT;
PLATFORM_API SERVICE_STATUS_HANDLE
RegisterServiceCtrlHandlerW(LPCWSTR serviceName, LPHANDLER_FUNCTION handler) PLATFORM_NOEXCEPT;
PLATFORM_API BOOL SetServiceStatus(SERVICE_STATUS_HANDLE statusHandle,
                                   LPSERVICE_STATUS status) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END
