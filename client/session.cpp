// Opening and closing sessions, the stored connection flags, and the packet copy they own.

#include "session.h"
#include "platform/errors.h"

#include <new>

#include "demo_packet.h"

namespace tesmar::client {

packet::MutablePacketView CopyView(const TesmarSession& session) {
  if (!session.PacketBuffer) return {};
  std::size_t length = session.DemoMode ? DemoPacketSize() : session.PacketSize;
  return packet::MutablePacketView(session.PacketBuffer, length);
}

void ReleaseCopy(TesmarSession& session) {
  if (!session.DemoMode) {
    delete[] session.PacketBuffer;
    session.PacketSize = 0;
  }
  session.PacketBuffer = nullptr;
  session.FirstRecord = nullptr;
}

}  // namespace tesmar::client

using namespace tesmar::client;

extern "C" TesmarSession* TesmarOpen(INT demo) noexcept {
  auto* session = new (std::nothrow) TesmarSession{};
  if (!session) return nullptr;
  session->DemoMode = demo;
  if (!demo) return session;

  // A demo session is connected and its service running from the start.
  session->Installed = 1;
  session->Running = 1;
  session->PacketBuffer = AcquireDemoPacket();
  if (!session->PacketBuffer) {
    delete session;
    return nullptr;
  }
  session->FirstRecord = CopyView(*session).RecordOrNull(0);
  return session;
}

extern "C" INT TesmarClose(TesmarSession* session) noexcept {
  if (!session) return kBadArgument;
  if (session->DemoMode) ReleaseDemoPacket();
  TesmarDisconnect(session);
  ReleaseCopy(*session);
  delete session;
  return 0;
}

extern "C" INT TesmarDisconnect(TesmarSession* session) noexcept {
  if (!session) return kBadArgument;
  if (session->DemoMode) return 0;
  if (session->ServiceHandle) CloseServiceHandle(session->ServiceHandle);
  session->ServiceHandle = nullptr;
  if (session->ScmHandle) CloseServiceHandle(session->ScmHandle);
  session->ScmHandle = nullptr;
  if (session->DataKey) RegCloseKey(session->DataKey);
  session->DataKey = nullptr;
  if (session->RootKey) RegCloseKey(session->RootKey);
  session->RootKey = nullptr;
  return 0;
}

namespace tesmar::client {

INT AfterMachineCall(TesmarSession& session, INT result) {
  if (result == static_cast<INT>(ERROR_BAD_NETPATH) ||
      result == static_cast<INT>(RPC_S_SERVER_UNAVAILABLE)) {
    TesmarDisconnect(&session);
  }
  return result;
}

}  // namespace tesmar::client

extern "C" INT TesmarInstalled(TesmarSession* session) noexcept {
  return session ? static_cast<INT>(session->Installed) : 0;
}

extern "C" INT TesmarRunning(TesmarSession* session) noexcept {
  return session ? static_cast<INT>(session->Running) : 0;
}

extern "C" INT TesmarVersion(void) noexcept {
  return 0;
}
