// tesmar_scripted_service: a stand-in for tesmarsr that the real service manager runs as
// KaltrixTesmar, for tests that need packets no machine here gives (24 processors, a thread
// count of -1, odd classes, an empty list). It creates the Data key and serves it with the
// test-support library's ScriptedDataKey, which takes every flag as tesmarsr does (numbered
// passes, packet/publication.h). What a pass publishes is the test's choice, read from the
// script key (support/scripted_service_names.h) once the pass has taken its flag; each UpdateList
// and each refresh is counted there before the pass ends.
#include <memory>
#include <optional>
#include <string>

#include "packet/data_key.h"
#include "platform/errors.h"
#include "platform/owned_handle.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/threading.h"
#include "support/data_key_access.h"
#include "support/scripted_data_key.h"
#include "support/scripted_service_names.h"

namespace {

using namespace tesmar::testing::scripted_service;
using tesmar::testing::ScriptedDataKey;
using tesmar::testing::TestPacket;

HANDLE stopEvent = nullptr;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HKEY scriptKey = nullptr;

void Report(DWORD state) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  if (state == SERVICE_START_PENDING) status.dwWaitHint = 5000;
  SetServiceStatus(statusHandle, &status);
}

std::optional<TestPacket> ChosenAnswer() {
  tesmar::packet::ValueBytes answer = tesmar::packet::ReadWholeValue(scriptKey, kAnswerValue);
  if (answer.failure != tesmar::packet::ValueBytes::Failure::None) return std::nullopt;
  return TestPacket(answer.bytes.get(), answer.size);
}

void Count(const char16_t* name) {
  DWORD count = tesmar::packet::ReadDwordValue(scriptKey, name).value_or(0);
  tesmar::packet::WriteDwordValue(scriptKey, name, count + 1);
}

void RecordUpdateList(const TestPacket& updateList) {
  DWORD count = tesmar::packet::ReadDwordValue(scriptKey, kUpdateCountValue).value_or(0);
  std::u16string name = kUpdateValuePrefix;
  for (char digit : std::to_string(count)) name += static_cast<char16_t>(digit);
  RegSetValueExW(scriptKey, name.c_str(), 0, REG_BINARY,
                 reinterpret_cast<const BYTE*>(updateList.Bytes()),
                 static_cast<DWORD>(updateList.Length()));
  Count(kUpdateCountValue);
}

ScriptedDataKey::Answer Pass(const TestPacket* updateListTaken) {
  if (updateListTaken) {
    RecordUpdateList(*updateListTaken);
  } else {
    Count(kRefreshCountValue);
  }
  return {ChosenAnswer(), false};
}

void Handler(DWORD control) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING);
    SetEvent(stopEvent);
  }
}

void ServiceMain(DWORD, LPWSTR*) {
  statusHandle = RegisterServiceCtrlHandlerW(tesmar::packet::kServiceName, Handler);
  if (!statusHandle) return;
  Report(SERVICE_START_PENDING);
  DWORD disposition = 0;
  if (!tesmar::testing::CreateDataKey() ||
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, kScriptKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &scriptKey, &disposition) != ERROR_SUCCESS) {
    Report(SERVICE_STOPPED);
    return;
  }
  {
    // Running is reported once the first packet is published, as tesmarsr does.
    ScriptedDataKey dataKey(Pass);
    if (std::optional<TestPacket> first = ChosenAnswer()) dataKey.Publish(*first);
    Report(SERVICE_RUNNING);
    WaitForSingleObject(stopEvent, INFINITE);
  }
  // The Data key is no longer served when the service says it stopped.
  Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
  stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  static WCHAR name[] = u"KaltrixTesmar";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
