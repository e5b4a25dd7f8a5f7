// Processes and threads: the system process list and the scheduling calls of kernel32 and ntdll.
//
// On Linux a process's affinity is the union of its threads' masks and setting it sets every
// thread; priority classes and thread priorities map onto nice values and scheduling policies by
// one table (README.md); the ideal processor is a hint the layer keeps per thread. Handles carry
// the identity of what they opened: once that process or thread has exited, or its id belongs to
// a newcomer, every call on the handle fails and nothing touches the newcomer.
#pragma once

#include "platform/export.h"
#include "platform/win32_types.h"

// Process access rights.
#define PROCESS_TERMINATE 0x0001u
#define PROCESS_SET_INFORMATION 0x0200u
#define PROCESS_QUERY_INFORMATION 0x0400u
#define PROCESS_ALL_ACCESS 0x001F0FFFu
// Thread access rights.
#define THREAD_SET_INFORMATION 0x0020u
#define THREAD_QUERY_INFORMATION 0x0040u
#define THREAD_ALL_ACCESS 0x001F03FFu

// Priority classes.
#define IDLE_PRIORITY_CLASS 0x00000040u
#define NORMAL_PRIORITY_CLASS 0x00000020u
#define HIGH_PRIORITY_CLASS 0x00000080u
#define REALTIME_PRIORITY_CLASS 0x00000100u

// Thread priority levels.
#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

// SetThreadIdealProcessor with this number only reports the current ideal processor.
#define MAXIMUM_PROCESSORS 32u

// NtQuerySystemInformation classes.
#define SystemProcessInformation 5u
// NtQueryInformationThread classes.
#define ThreadBasicInformation 0u

// The process list of NtQuerySystemInformation(SystemProcessInformation) is a chain of
// variable-length entries with the byte layout of Windows NT 4.0 (little-endian):
//   0  u32  distance in bytes to the next entry, 0 in the last
//   4  u32  number of threads
//  32  i64  creation time, in 100 ns units since 1601 as on Windows (the boot's time, read once
//           a process, plus the start the kernel counts): a later process with the same id
//           has a later one
//  56  u16  name length in bytes, 58 u16 its capacity
//  60  u32  where NT keeps a pointer to the image name: here the name's byte offset from the
//           start of the entry, 0 for no name (ProcessEntryImageName turns it into a pointer)
//  64  i32  base priority level
//  68  u32  process id
//  72  u32  parent process id
// 136  the thread entries, 64 bytes each, in the order of /proc/<pid>/task
// A thread entry: 32 u32 process id, 36 u32 thread id, 44 i32 base priority (the process's).
// The first entry is the idle process: id 0, no name, one thread per processor. Every name is
// a NUL-terminated UTF-16 copy inside the buffer, after the entry's threads.
#define PROCESS_ENTRY_NEXT_OFFSET 0u
#define PROCESS_ENTRY_THREAD_COUNT 4u
#define PROCESS_ENTRY_CREATE_TIME 32u
#define PROCESS_ENTRY_NAME_LENGTH 56u
#define PROCESS_ENTRY_NAME 60u
#define PROCESS_ENTRY_BASE_PRIORITY 64u
#define PROCESS_ENTRY_PROCESS_ID 68u
#define PROCESS_ENTRY_PARENT_ID 72u
#define PROCESS_ENTRY_THREADS 136u
#define THREAD_ENTRY_SIZE 64u
#define THREAD_ENTRY_PROCESS_ID 32u
#define THREAD_ENTRY_THREAD_ID 36u
#define THREAD_ENTRY_PRIORITY 40u
#define THREAD_ENTRY_BASE_PRIORITY 44u

typedef struct _CLIENT_ID {
  HANDLE UniqueProcess;
  HANDLE UniqueThread;
} CLIENT_ID, *PCLIENT_ID;

typedef struct _UNICODE_STRING {
  USHORT Length;
  USHORT MaximumLength;
  LPWSTR Buffer;
} UNICODE_STRING, *PUNICODE_STRING;

typedef struct _OBJECT_ATTRIBUTES {
  ULONG Length;
  HANDLE RootDirectory;
  PUNICODE_STRING ObjectName;
  ULONG Attributes;
  PVOID SecurityDescriptor;
  PVOID SecurityQualityOfService;
} OBJECT_ATTRIBUTES, *POBJECT_ATTRIBUTES;

// The 28-byte ThreadBasicInformation record of 32-bit Windows NT; the affinity mask at byte 16.
typedef struct _THREAD_BASIC_INFORMATION {
  NTSTATUS ExitStatus;
  ULONG TebBaseAddress;
  ULONG UniqueProcess;
  ULONG UniqueThread;
  ULONG AffinityMask;
  LONG Priority;
  LONG BasePriority;
} THREAD_BASIC_INFORMATION;

typedef struct _SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
} SYSTEM_INFO, *LPSYSTEM_INFO;

PLATFORM_EXTERN_C_BEGIN

// NtQuerySystemInformation: SystemProcessInformation only. A buffer too small gives
// STATUS_INFO_LENGTH_MISMATCH and, in *returnLength, the length that would have fit then; the
// same thread's next call with a larger buffer is answered from that same list (so the length
// reported fits it) instead of listing the machine again.
PLATFORM_API NTSTATUS NtQuerySystemInformation(ULONG informationClass, PVOID buffer, ULONG length,
                                               PULONG returnLength) PLATFORM_NOEXCEPT;

// The image name of a process entry of the list above, or null for an entry without a name.
PLATFORM_API LPCWSTR ProcessEntryImageName(const void* entry) PLATFORM_NOEXCEPT;

typedef HANDLE HMODULE;

// OpenProcess: a process that does not exist gives null and ERROR_INVALID_PARAMETER; asking for
// PROCESS_TERMINATE (PROCESS_ALL_ACCESS among others) gives null and ERROR_ACCESS_DENIED where
// this user may not end the process.
PLATFORM_API HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle,
                                DWORD processId) PLATFORM_NOEXCEPT;

// NtOpenThread: opens the thread named by clientId->UniqueThread (UniqueProcess may be 0).
// A thread that does not exist gives STATUS_INVALID_CID.
PLATFORM_API NTSTATUS NtOpenThread(PHANDLE threadHandle, ACCESS_MASK desiredAccess,
                                   POBJECT_ATTRIBUTES objectAttributes,
                                   PCLIENT_ID clientId) PLATFORM_NOEXCEPT;

// NtQueryInformationThread: ThreadBasicInformation into a 28-byte THREAD_BASIC_INFORMATION.
PLATFORM_API NTSTATUS NtQueryInformationThread(HANDLE threadHandle, ULONG informationClass,
                                               PVOID information, ULONG length,
                                               PULONG returnLength) PLATFORM_NOEXCEPT;

PLATFORM_API BOOL GetProcessAffinityMask(HANDLE process, PDWORD_PTR processMask,
                                         PDWORD_PTR systemMask) PLATFORM_NOEXCEPT;
PLATFORM_API BOOL SetProcessAffinityMask(HANDLE process, DWORD_PTR mask) PLATFORM_NOEXCEPT;
// Returns the thread's previous mask, 0 on failure.
PLATFORM_API DWORD_PTR SetThreadAffinityMask(HANDLE thread, DWORD_PTR mask) PLATFORM_NOEXCEPT;

// Returns THREAD_PRIORITY_ERROR_RETURN on failure.
PLATFORM_API int GetThreadPriority(HANDLE thread) PLATFORM_NOEXCEPT;
PLATFORM_API BOOL SetThreadPriority(HANDLE thread, int priority) PLATFORM_NOEXCEPT;
// Returns 0 on failure.
PLATFORM_API DWORD GetPriorityClass(HANDLE process) PLATFORM_NOEXCEPT;
PLATFORM_API BOOL SetPriorityClass(HANDLE process, DWORD priorityClass) PLATFORM_NOEXCEPT;

// Returns the previous ideal processor, 0xFFFFFFFF on failure (a processor number at or above
// the processor count among them).
PLATFORM_API DWORD SetThreadIdealProcessor(HANDLE thread, DWORD idealProcessor) PLATFORM_NOEXCEPT;

PLATFORM_API BOOL GetProcessPriorityBoost(HANDLE process, PBOOL disabled) PLATFORM_NOEXCEPT;
PLATFORM_API BOOL SetProcessPriorityBoost(HANDLE process, BOOL disable) PLATFORM_NOEXCEPT;

// TerminateProcess: the process is killed (SIGKILL); a Linux process killed so cannot be given
// an exit code, and exitCode is not passed on.
PLATFORM_API BOOL TerminateProcess(HANDLE process, UINT exitCode) PLATFORM_NOEXCEPT;

// GetModuleBaseNameW (psapi) with a null module: the process's name as the process list gives
// it. Returns its length in units (cut to fit size with its NUL), 0 on failure.
PLATFORM_API DWORD GetModuleBaseNameW(HANDLE process, HMODULE module, LPWSTR baseName,
                                      DWORD size) PLATFORM_NOEXCEPT;

PLATFORM_API void GetSystemInfo(LPSYSTEM_INFO systemInfo) PLATFORM_NOEXCEPT;

PLATFORM_EXTERN_C_END
