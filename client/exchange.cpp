// The exchange with the service: asking for a fresh packet and sending an edited copy back.

#include "packet/data_key.h"
#include "packet/request_base.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/threading.h"
#include "service_answer.h"
#include "session.h"
#include "update_turn.h"

using namespace tesmar::client;
using tesmar::packet::ValueBytes;
using tesmar::platform::ErrorNumberResult;

namespace {

constexpr DWORD kBeepFrequency = 220;
constexpr DWORD kNoMemoryBeep = 80;
constexpr DWORD kReadFailedBeep = 20;

// A ProcList that is not signed, or shorter than its header and records claim, is taken as no
// copy at all, so that no accessor can be led outside the bytes that were read: any program
// that may write the Data key writes ProcList. Names are cut to their 32 units as well, so that
// a reader of TesmarGetProcName always meets a NUL inside the record.
bool AcceptAsCopy(ValueBytes& value) {
  tesmar::packet::MutablePacketView view(value.bytes.get(), value.size);
  if (!view.IsWellFormed()) return false;
  for (uint32_t i = 0; i < view.RecordCount(); ++i) {
    view.RecordOrNull(i)->ProcName[tesmar::packet::kProcNameUnits - 1] = u'\0';
  }
  return true;
}

INT Refresh(TesmarSession& session) {
  {
    ServiceAnswer answer(session.DataKey);
    LSTATUS raised = tesmar::packet::RaiseFlag(session.DataKey, tesmar::packet::kRefreshFlagValue);
    if (raised != ERROR_SUCCESS) return raised;
    answer.Wait(tesmar::packet::kRefreshFlagValue);
  }

  ReleaseCopy(session);
  PublishedCopy published = ReadPublishedCopy(session.DataKey);
  ValueBytes& value = published.value;
  switch (value.failure) {
    case ValueBytes::Failure::SizeQuery:
      return value.status;
    case ValueBytes::Failure::NoMemory:
      Beep(kBeepFrequency, kNoMemoryBeep);
      return kBadArgument;
    case ValueBytes::Failure::Read:
      Beep(kBeepFrequency, kReadFailedBeep);
      return value.status;
    case ValueBytes::Failure::None:
      break;
  }
  if (!AcceptAsCopy(value)) {
    Beep(kBeepFrequency, kReadFailedBeep);
    return ERROR_INVALID_DATA;
  }
  session.PacketSize = value.size;
  session.PacketBuffer = value.bytes.release();
  session.FirstRecord = CopyView(session).RecordOrNull(0);
  session.CopySerial = published.serial;
  return 0;
}

// In the client's turn: the request is in place before the flag goes up, since the service acts
// on the flag, and the turn lasts until the flag was seen taken, so that the next client's raise
// cannot be taken for this one's. The publication the copy came from goes with it, so that the
// service applies only what this client changed.
INT Update(TesmarSession& session) {
  UpdateTurn turn(session.DataKey);
  if (DWORD error = turn.Take()) return static_cast<INT>(error);
  if (session.CopySerial != 0) {
    LSTATUS based = tesmar::packet::WriteRequestBase(
        session.DataKey, tesmar::packet::RequestBase::Of(session.CopySerial, session.PacketBuffer,
                                                         session.PacketSize));
    if (based != ERROR_SUCCESS) return based;
  }
  LSTATUS sent =
      RegSetValueExW(session.DataKey, tesmar::packet::kUpdateListValue, 0, REG_BINARY,
                     reinterpret_cast<const BYTE*>(session.PacketBuffer), session.PacketSize);
  if (sent != ERROR_SUCCESS) return sent;
  ServiceAnswer answer(session.DataKey);
  LSTATUS raised = tesmar::packet::RaiseFlag(session.DataKey, tesmar::packet::kUpdateFlagValue);
  if (raised != ERROR_SUCCESS) return raised;
  answer.WaitUntilTaken(tesmar::packet::kUpdateFlagValue);
  turn.End();
  answer.Wait(tesmar::packet::kUpdateFlagValue);
  return 0;
}

}  // namespace

extern "C" INT TesmarRefresh(TesmarSession* session) noexcept {
  if (!session) return kBadArgument;
  if (session->DemoMode) return 0;
  if (!session->DataKey) return kBadArgument;
  return AfterMachineCall(*session, ErrorNumberResult([&] { return Refresh(*session); }));
}

extern "C" INT TesmarUpdate(TesmarSession* session) noexcept {
  if (!session) return kBadArgument;
  if (session->DemoMode) return 0;
  if (!session->DataKey) return kBadArgument;
  // A session that holds no copy has nothing to send: an empty UpdateList would only be refused
  // by the service, and the flag raised for it would cost a pass.
  if (!session->PacketBuffer) return kBadArgument;
  return AfterMachineCall(*session, ErrorNumberResult([&] { return Update(*session); }));
}
