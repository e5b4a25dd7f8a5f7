#include "worker_thread.h"

#include "packet/data_key.h"
#include "packet/publication.h"
#include "packet_engine.h"
#include "platform/errors.h"
#include "platform/threading.h"
#include "published_identity.h"

namespace tesmar::service {
namespace {

using platform::OwnedKey;

// A first packet for a Data key the worker has just made. A packet that cannot be built is
// reported and nothing is written.
LSTATUS PublishFirstPacket(HKEY dataKey, ReportTarget reports) {
  LivePacket* packet = ServerPacketOpen(dataKey);
  if (!packet) {
    ReportError(u"ServerPacketOpen()", reports);
    return ERROR_SUCCESS;
  }
  LSTATUS written = ServerPacketWrite(packet);
  ServerPacketClose(packet);
  return written;
}

// Every pass ends, so that no client waits for it past its longest wait; a publication that
// could not be written is reported.
void EndPass(packet::PublicationCounter& counter, LSTATUS written, ReportTarget reports) {
  if (written != ERROR_SUCCESS) ReportRegistryError(written, u"ServerPacketWrite", reports);
  LSTATUS ended = counter.EndPass();
  if (ended != ERROR_SUCCESS) ReportRegistryError(ended, u"ProcListSerial", reports);
}

}  // namespace

Worker::Worker(ReportTarget reports)
    : reports_(reports), serving_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

Worker::~Worker() {
  if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
}

bool Worker::Start() {
  DWORD threadId = 0;
  thread_.Reset(serving_ ? CreateThread(nullptr, 0, ThreadMain, this, 0, &threadId) : nullptr);
  if (!thread_) {
    ReportError(u"CreateThread", reports_);
    return false;
  }
  return true;
}

DWORD Worker::WaitUntilServing(DWORD milliseconds) {
  return WaitForSingleObject(serving_.get(), milliseconds);
}

void Worker::Stop() {
  waiter_.Stop();
  if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
}

DWORD Worker::ThreadMain(LPVOID worker) {
  return static_cast<Worker*>(worker)->Run();
}

void Worker::FailStartup(LSTATUS status, const char16_t* operationName) {
  ReportRegistryError(status, operationName, reports_);
  startupError_ = static_cast<DWORD>(status);
  SetEvent(serving_.get());
}

DWORD Worker::Run() {
  OwnedKey machine;
  LSTATUS status = RegConnectRegistryW(nullptr, HKEY_LOCAL_MACHINE, machine.Receive());
  if (status != ERROR_SUCCESS) {
    FailStartup(status, u"RegConnectRegistry");
    return 0;
  }
  OwnedKey dataKey;
  DWORD disposition = 0;
  status = RegCreateKeyExW(machine.get(), packet::kDataKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, dataKey.Receive(), &disposition);
  if (status != ERROR_SUCCESS) {
    FailStartup(status, u"RegCreateKey: PROCDATA");
    return 0;
  }

  packet::PublicationCounter counter(dataKey.get());
  if (LSTATUS begun = counter.BeginPass(); begun != ERROR_SUCCESS) {
    ReportRegistryError(begun, u"ProcListSerial", reports_);
  } else if (disposition == REG_CREATED_NEW_KEY) {
    EndPass(counter, PublishFirstPacket(dataKey.get(), reports_), reports_);
  } else {
    // A key left from before: its latest publication is applied again, to the processes it
    // stood for, when the key still says which they were; a request that still waits has its
    // own pass next.
    RestoreLatestPublication(dataKey.get(), counter.Published());
    EndPass(counter, RefreshProcList(dataKey.get()), reports_);
  }
  SetEvent(serving_.get());

  for (;;) {
    UpdateRequest request;
    std::optional<RaisedFlag> flag = waiter_.WaitForRaisedFlag(dataKey.get(), counter, request);
    if (!flag) break;
    LSTATUS written = *flag == RaisedFlag::Update ? ApplyUpdateRequest(dataKey.get(), request)
                                                  : RefreshProcList(dataKey.get());
    EndPass(counter, written, reports_);
  }
  return 0;
}

int StartupServiceThread(ReportTarget reports) {
  // Runs until the process ends: console mode never stops its worker.
  static Worker* worker = new Worker(reports);
  return worker->Start() ? 1 : 0;
}

}  // namespace tesmar::service
