// ServerPacketRead and RequestPacketFree, and the two flows that read a request, build a fresh
// packet, merge and publish.
#include <new>

#include "packet/data_key.h"
#include "packet_engine.h"
#include "platform/errors.h"

namespace {

// A pass: a fresh packet, the request merged into it, the publication.
LSTATUS MergeAndPublish(HKEY dataKey, const RequestPacket& request) {
  LivePacket* packet = ServerPacketOpen(dataKey);
  if (!packet) return ERROR_SUCCESS;
  ServerPacketMerge(packet, &request);
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

UpdateRequest ReadUpdateRequest(HKEY dataKey) noexcept {
  UpdateRequest request;
  request.base = tesmar::packet::ReadRequestBase(dataKey);
  request.packet = ServerPacketRead(dataKey, tesmar::packet::kUpdateListValue);
  return request;
}

LSTATUS ApplyUpdateRequest(HKEY dataKey, const UpdateRequest& request) noexcept {
  if (!request.packet) return ERROR_SUCCESS;
  return MergeAndPublish(dataKey, *request.packet);
}

LSTATUS ApplyUpdateList(HKEY dataKey) noexcept {
  return ApplyUpdateRequest(dataKey, ReadUpdateRequest(dataKey));
}

LSTATUS RefreshProcList(HKEY dataKey) noexcept {
  RequestPacket* request = ServerPacketRead(dataKey, tesmar::packet::kProcListValue);
  if (!request) return ERROR_SUCCESS;
  LSTATUS written = MergeAndPublish(dataKey, *request);
  RequestPacketFree(request);
  return written;
}
