// ServerPacketRead and RequestPacketFree, and the two flows that read a request, build a fresh
// packet, merge and publish.
#include <new>

#include "packet/data_key.h"
#include "packet_engine.h"
#include "platform/errors.h"

namespace {

// The flows' one pass: request, fresh packet, merge, publication.
LSTATUS ApplyRequest(HKEY dataKey, LPCWSTR valueName) {
  RequestPacket* request = ServerPacketRead(dataKey, valueName);
  if (!request) return ERROR_SUCCESS;
  LivePacket* packet = ServerPacketOpen(dataKey);
  if (!packet) {
    RequestPacketFree(request);
    return ERROR_SUCCESS;
  }
  ServerPacketMerge(packet, request);
  RequestPacketFree(request);
  LSTATUS written = ServerPacketWrite(packet);
  ServerPacketClose(packet);
  return written;
}

}  // namespace

RequestPacket* ServerPacketRead(HKEY dataKey, LPCWSTR valueName) noexcept {
  if (!valueName) return nullptr;
  tesmar::packet::ValueBytes value = tesmar::packet::ReadWholeValue(dataKey, valueName);
  if (value.failure != tesmar::packet::ValueBytes::Failure::None) return nullptr;
  auto* request = new (std::nothrow) RequestPacket;
  if (!request) return nullptr;
  request->length = value.size;
  request->bytes = value.bytes.release();
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

LSTATUS ApplyUpdateList(HKEY dataKey) noexcept {
  return ApplyRequest(dataKey, tesmar::packet::kUpdateListValue);
}

LSTATUS RefreshProcList(HKEY dataKey) noexcept {
  return ApplyRequest(dataKey, tesmar::packet::kProcListValue);
}
