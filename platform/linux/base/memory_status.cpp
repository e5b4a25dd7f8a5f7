#include <sys/sysinfo.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/memory.h"

namespace {

// x86-64 and arm64 give a process 47 bits of user address space.
constexpr uint64_t kUserAddressSpace = uint64_t{1} << 47;

// A "Name:  1234 kB" line of a /proc file, in bytes.
std::optional<uint64_t> KibLine(const char* path, const char* name) {
  FILE* file = std::fopen(path, "re");
  if (!file) return std::nullopt;
  std::optional<uint64_t> bytes;
  char line[256];
  size_t nameLength = std::strlen(name);
  while (std::fgets(line, sizeof line, file)) {
    if (std::strncmp(line, name, nameLength) != 0 || line[nameLength] != ':') continue;
    unsigned long long kib = 0;
    if (std::sscanf(line + nameLength + 1, "%llu", &kib) == 1) bytes = uint64_t{kib} * 1024;
    break;
  }
  std::fclose(file);
  return bytes;
}

}  // namespace

/***********************************************************************
 *           GlobalMemoryStatus
 *
 * From sysinfo and /proc/meminfo's MemAvailable (free memory where that line is missing); the
 * virtual figures from this process's VmSize. dwLength is set to the structure's size.
 */
extern "C" void GlobalMemoryStatus(LPMEMORYSTATUS status) noexcept {
  if (!status) return;
  *status = MEMORYSTATUS{};
  status->dwLength = sizeof(MEMORYSTATUS);
  struct sysinfo info {};
  if (sysinfo(&info) != 0) return;
  uint64_t unit = info.mem_unit ? info.mem_unit : 1;
  uint64_t total = uint64_t{info.totalram} * unit;
  uint64_t available =
      KibLine("/proc/meminfo", "MemAvailable").value_or(uint64_t{info.freeram} * unit);
  if (available > total) available = total;
  status->dwTotalPhys = total;
  status->dwAvailPhys = available;
  status->dwMemoryLoad = total ? static_cast<DWORD>(100 - available * 100 / total) : 0;
  status->dwTotalPageFile = total + uint64_t{info.totalswap} * unit;
  status->dwAvailPageFile = available + uint64_t{info.freeswap} * unit;
  uint64_t used = KibLine("/proc/self/status", "VmSize").value_or(0);
  status->dwTotalVirtual = kUserAddressSpace;
  status->dwAvailVirtual = used < kUserAddressSpace ? kUserAddressSpace - used : 0;
}
