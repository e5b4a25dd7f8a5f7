// ServerPacketRead and RequestPacketFree, and the two flows that read a request, build a fresh
// packet, merge and publish.
#include <cstring>
#include <new>

#include "platform/errors.h"
#include "packet_engine.h"

namespace {

// A value that grows between asking its size and reading it (a client rewriting it) is asked
// again rather than dropped.
constexpr int kReadAttempts = 3;

RequestPacket* ReadValue(HKEY dataKey, LPCWSTR valueName) {
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    DWORD size = 0;
    if (RegQueryValueExW(dataKey, valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
      return nullptr;
    }
    auto* request = new (std::nothrow) RequestPacket;
    if (!request) return nullptr;
    // Never a zero-sized block, so that null always means failure.
    request->bytes = new (std::nothrow) std::byte[size ? size : 1];
    if (!request->bytes) {
      delete request;
      return nullptr;
    }
    DWORD read = size;
    LSTATUS status = RegQueryValueExW(dataKey, valueName, nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(request->bytes), &read);
    if (status == ERROR_SUCCESS && read <= size) {
      request->length = read;
      return request;
    }
    RequestPacketFree(request);
    if (status != ERROR_MORE_DATA) return nullptr;
  }
  return nullptr;
}

void ApplyRequest(HKEY dataKey, LPCWSTR valueName) {
  RequestPacket* request = ServerPacketRead(dataKey, valueName);
  if (!request) return;
  LivePacket* packet = ServerPacketOpen(dataKey);
  if (!packet) {
    RequestPacketFree(request);
    return;
  }
  ServerPacketMerge(packet, request);
  RequestPacketFree(request);
  ServerPacketWrite(packet);
  ServerPacketClose(packet);
}

}  // namespace

RequestPacket* ServerPacketRead(HKEY dataKey, LPCWSTR valueName) noexcept {
  if (!valueName) return nullptr;
  RequestPacket* request = ReadValue(dataKey, valueName);
  if (!request) return nullptr;
  if (!request->View().HasSignature()) {
    RequestPacketFree(request);
    return nullptr;
  }
  return request;
}

DWORD RequestPacketFree(RequestPacket* request) noexcept {
  if (!request) return 1;
  delete[] request->bytes;
  delete request;
  return 0;
}

void ApplyUpdateList(HKEY dataKey) noexcept {
  ApplyRequest(dataKey, u"UpdateList");
}

void RefreshProcList(HKEY dataKey) noexcept {
  ApplyRequest(dataKey, u"ProcList");
}
