// The exchange with the service: asking for a fresh packet and sending an edited copy back.

#include <optional>

#include "platform/errors.h"
#include "platform/threading.h"
#include "service_answer.h"
#include "session.h"
#include "value_reader.h"

using namespace tesmar::client;

namespace {

constexpr DWORD FlagRaised = 1;
constexpr DWORD BeepFrequency = 220;
constexpr DWORD NoMemoryBeep = 80;
constexpr DWORD ReadFailedBeep = 20;

LSTATUS RaiseFlag(HKEY dataKey, LPCWSTR flag) {
  return RegSetValueExW(dataKey, flag, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&FlagRaised),
                        sizeof FlagRaised);
}

// Our own design: a ProcList that is not signed, or shorter than its header and records claim,
// is taken as no copy at all, so that no accessor can be led outside the bytes that were read.
// Names are cut to their 32 units as well, so that a reader of TesmarGetProcName always meets a
// NUL inside the record.
bool AcceptAsCopy(ValueBytes& value) {
  tesmar::packet::MutablePacketView view(value.bytes.get(), value.size);
  if (!view.IsWellFormed()) return false;
  for (uint32_t i = 0; i < view.RecordCount(); ++i) {
    view.RecordOrNull(i)->ProcName[tesmar::packet::ProcNameUnits - 1] = u'\0';
  }
  return true;
}

}  // namespace

extern "C" INT TesmarRefresh(TesmarSession* session) noexcept {
  if (!session) return BadArgument;
  if (session->DemoMode) return 0;
  if (!session->DataKey) return BadArgument;

  try {
    std::optional<ValueBytes> published;
    {
      ServiceAnswer answer(session->DataKey);
      LSTATUS raised = RaiseFlag(session->DataKey, RefreshFlagValue);
      if (raised != ERROR_SUCCESS) return raised;
      answer.Wait(RefreshFlagValue);
      published = answer.TakePublished();
    }

    ReleaseCopy(*session);
    ValueBytes value =
        published ? std::move(*published) : ReadBinaryValue(session->DataKey, ProcListValue);
    switch (value.failure) {
      case ValueBytes::Failure::SizeQuery:
        return value.status;
      case ValueBytes::Failure::NoMemory:
        Beep(BeepFrequency, NoMemoryBeep);
        return BadArgument;
      case ValueBytes::Failure::Read:
        Beep(BeepFrequency, ReadFailedBeep);
        return value.status;
      case ValueBytes::Failure::None:
        break;
    }
    if (!AcceptAsCopy(value)) {
      Beep(BeepFrequency, ReadFailedBeep);
      return ERROR_INVALID_DATA;
    }
    session->PacketSize = value.size;
    session->PacketBuffer = value.bytes.release();
    session->FirstRecord = CopyView(*session).RecordOrNull(0);
    return 0;
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}

extern "C" INT TesmarUpdate(TesmarSession* session) noexcept {
  if (!session) return BadArgument;
  if (session->DemoMode) return 0;
  if (!session->DataKey) return BadArgument;
  // Our own design: a session that holds no copy has nothing to send; an empty UpdateList
  // would only be refused by the service.
  if (!session->PacketBuffer) return BadArgument;

  try {
    LSTATUS sent =
        RegSetValueExW(session->DataKey, UpdateListValue, 0, REG_BINARY,
                       reinterpret_cast<const BYTE*>(session->PacketBuffer), session->PacketSize);
    if (sent != ERROR_SUCCESS) return sent;
    // The request is in place before the flag goes up, since the service acts on the flag.
    ServiceAnswer answer(session->DataKey);
    LSTATUS raised = RaiseFlag(session->DataKey, UpdateFlagValue);
    if (raised != ERROR_SUCCESS) return raised;
    answer.Wait(UpdateFlagValue);
    return 0;
  } catch (...) {
    return ERROR_NOT_ENOUGH_MEMORY;
  }
}
