// The service side: the dispatcher a service process runs on its main thread, the control
// handler it calls there, and the status reports.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/descriptor.h"
#include "base/text_conversion.h"
#include "platform/errors.h"
#include "platform/export_result.h"
#include "platform/service.h"
#include "platform/threading.h"
#include "services/dispatcher_link.h"
#include "services/handles.h"
#include "services/spawn.h"
#include "services/systemd_notify.h"
#include "services/systemd_unit.h"

namespace tesmar::platform {
namespace {

constexpr DWORD kFirstUserControl = 128;
constexpr DWORD kLastUserControl = 255;
// A poll that fails for another reason than a signal is tried again after this long, rather than
// at once and for ever.
constexpr DWORD kPollRetryMilliseconds = 100;

// Written by the SIGTERM handler, read by the dispatcher loop.
int terminatePipeWrite = -1;

void OnTerminate(int) {
  int savedErrno = errno;
  char byte = 't';
  [[maybe_unused]] ssize_t written = write(terminatePipeWrite, &byte, 1);
  errno = savedErrno;
}

class Pipe {
 public:
  Pipe() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    read_.Reset(ends[0]);
    write_.Reset(ends[1]);
  }
  bool valid() const { return static_cast<bool>(read_); }
  int readEnd() const { return read_.get(); }
  int writeEnd() const { return write_.get(); }
  void Drain() const {
    char buffer[64];
    while (read(read_.get(), buffer, sizeof buffer) > 0) {
    }
  }
  void Poke() const {
    char byte = 'w';
    [[maybe_unused]] ssize_t written = write(write_.get(), &byte, 1);
  }

 private:
  OwnedDescriptor read_;
  OwnedDescriptor write_;
};

// SIGTERM is the stop control while the dispatcher runs: its handler pokes the pipe the
// dispatcher watches. The handler that was there before comes back on every path.
class TerminateAsStop {
 public:
  explicit TerminateAsStop(const Pipe& terminate) {
    terminatePipeWrite = terminate.writeEnd();
    struct sigaction onTerminate = {};
    onTerminate.sa_handler = OnTerminate;
    onTerminate.sa_flags = SA_RESTART;
    sigemptyset(&onTerminate.sa_mask);
    sigaction(SIGTERM, &onTerminate, &previous_);
  }
  ~TerminateAsStop() {
    sigaction(SIGTERM, &previous_, nullptr);
    terminatePipeWrite = -1;
  }
  TerminateAsStop(const TerminateAsStop&) = delete;
  TerminateAsStop& operator=(const TerminateAsStop&) = delete;

 private:
  struct sigaction previous_ = {};
};

// The control socket, removed again on every path.
class ControlSocket {
 public:
  ControlSocket(const ServiceRuntime& runtime, int processId)
      : listener_(ListenForControls(runtime.directory(), processId)),
        path_(runtime.directory() + "/" + ServiceRuntime::ControlSocketName(processId)) {}
  ~ControlSocket() {
    if (listener_) unlink(path_.c_str());
  }
  ControlSocket(const ControlSocket&) = delete;
  ControlSocket& operator=(const ControlSocket&) = delete;

  int get() const { return listener_.get(); }
  explicit operator bool() const { return static_cast<bool>(listener_); }

 private:
  OwnedDescriptor listener_;
  std::string path_;
};

// The one service this process runs, while its dispatcher runs.
class Dispatcher {
 public:
  Dispatcher(std::u16string name, ProcessIdentity self)
      : name_(std::move(name)), runtime_(name_), self_(self) {}

  const std::u16string& name() const { return name_; }
  const ServiceRuntime& runtime() const { return runtime_; }
  SERVICE_STATUS_HANDLE statusHandle() { return reinterpret_cast<SERVICE_STATUS_HANDLE>(this); }

  void SetHandler(LPHANDLER_FUNCTION handler) {
    std::lock_guard lock(mutex_);
    handler_ = handler;
    wake_.Poke();
  }

  DWORD Report(const SERVICE_STATUS& status) {
    bool stopped = status.dwCurrentState == SERVICE_STOPPED;
    {
      std::lock_guard lock(mutex_);
      // The history first: whoever reads a state has its report in the history as well.
      runtime_.AppendHistory(self_.processId, status);
      StatusRecord record{status, self_};
      if (DWORD error = runtime_.WriteStatus(record)) return error;
      last_ = status;
      reported_ = true;
    }
    // systemd's start job ends when the service runs, its stop job begins when it stops.
    if (status.dwCurrentState == SERVICE_RUNNING) NotifySystemd("READY=1");
    if (status.dwCurrentState == SERVICE_STOP_PENDING) NotifySystemd("STOPPING=1");
    if (stopped) DeleteServiceIfDue(name_);
    wake_.Poke();
    return ERROR_SUCCESS;
  }

  void MainReturned() {
    std::lock_guard lock(mutex_);
    mainReturned_ = true;
    wake_.Poke();
  }

  // The dispatcher's answer to a control, by the state last reported, as Windows gives it.
  DWORD Admit(DWORD control, LPHANDLER_FUNCTION* handler) {
    std::lock_guard lock(mutex_);
    *handler = handler_;
    if (!handler_) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    if (control == SERVICE_CONTROL_INTERROGATE) return ERROR_SUCCESS;
    DWORD state = reported_ ? last_.dwCurrentState : SERVICE_START_PENDING;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
        state == SERVICE_STOPPED) {
      return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    }
    DWORD accepted = last_.dwControlsAccepted;
    if (control == SERVICE_CONTROL_STOP) {
      return accepted & SERVICE_ACCEPT_STOP ? ERROR_SUCCESS : ERROR_INVALID_SERVICE_CONTROL;
    }
    if (control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE) {
      return accepted & SERVICE_ACCEPT_PAUSE_CONTINUE ? ERROR_SUCCESS
                                                      : ERROR_INVALID_SERVICE_CONTROL;
    }
    if (control >= kFirstUserControl && control <= kLastUserControl) return ERROR_SUCCESS;
    return ERROR_INVALID_SERVICE_CONTROL;
  }

  bool Finished() {
    std::lock_guard lock(mutex_);
    return reported_ && last_.dwCurrentState == SERVICE_STOPPED && mainReturned_;
  }

  // Runs until the service reported stopped and its main routine returned.
  void Loop(int listener, const Pipe& terminate) {
    bool terminateRequested = false;
    while (!Finished()) {
      LPHANDLER_FUNCTION handler = nullptr;
      if (terminateRequested && Admit(SERVICE_CONTROL_STOP, &handler) == ERROR_SUCCESS) {
        // SIGTERM is the stop control, given as soon as the service accepts stop.
        terminateRequested = false;
        handler(SERVICE_CONTROL_STOP);
        continue;
      }
      pollfd watched[3] = {
          {listener, POLLIN, 0}, {terminate.readEnd(), POLLIN, 0}, {wake_.readEnd(), POLLIN, 0}};
      if (poll(watched, 3, -1) < 0) {
        if (errno != EINTR) Sleep(kPollRetryMilliseconds);
        continue;
      }
      if (watched[1].revents) {
        terminate.Drain();
        terminateRequested = true;
      }
      if (watched[2].revents) wake_.Drain();
      if (watched[0].revents) ServeConnection(listener);
    }
  }

  bool wakeValid() const { return wake_.valid(); }

 private:
  void ServeConnection(int listener) {
    int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) return;
    DWORD control = 0;
    if (ReceiveControl(connection, &control)) {
      LPHANDLER_FUNCTION handler = nullptr;
      DWORD answer = Admit(control, &handler);
      // The handler runs on this thread, and the sender waits until it returned.
      if (answer == ERROR_SUCCESS) handler(control);
      AnswerControl(connection, answer);
    }
    close(connection);
  }

  std::mutex mutex_;
  std::u16string name_;
  ServiceRuntime runtime_;
  ProcessIdentity self_;
  LPHANDLER_FUNCTION handler_ = nullptr;
  SERVICE_STATUS last_{};
  bool reported_ = false;
  bool mainReturned_ = false;
  Pipe wake_;
};

std::mutex activeMutex;
std::shared_ptr<Dispatcher> active;

std::shared_ptr<Dispatcher> ActiveDispatcher() {
  std::lock_guard lock(activeMutex);
  return active;
}

// A process systemd started for the service (its unit says so, and systemd gave it an
// invocation id): the manager did not record it, so it records itself, unless another live
// instance holds the record.
bool StartedBySystemd(const ServiceRuntime& runtime, const ProcessIdentity& self) {
  const char* manager = std::getenv(kServiceManagerVariable);
  if (!manager || std::string_view(manager) != "systemd" || !std::getenv("INVOCATION_ID") ||
      !SystemdRuns()) {
    return false;
  }
  auto record = runtime.ReadStatus();
  if (record && record->process != self && record->status.dwCurrentState != SERVICE_STOPPED &&
      IsAlive(record->process)) {
    return false;
  }
  StatusRecord own;
  own.status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, ERROR_SUCCESS, 0, 0, 2000};
  own.process = self;
  return runtime.WriteStatus(own) == ERROR_SUCCESS;
}

// The manager recorded the process it started; only that process may connect.
bool StartedByTheManager(const Dispatcher& dispatcher, const ProcessIdentity& self) {
  ServiceLock lock(dispatcher.runtime());
  auto record = dispatcher.runtime().ReadStatus();
  if (record && record->process == self && record->status.dwCurrentState != SERVICE_STOPPED) {
    return true;
  }
  return StartedBySystemd(dispatcher.runtime(), self);
}

void TellTheManagerConnected() {
  const char* descriptorText = std::getenv(kServiceReadyDescriptorVariable);
  if (!descriptorText) return;
  int descriptor = std::atoi(descriptorText);
  if (descriptor <= 2) return;
  char byte = 'r';
  [[maybe_unused]] ssize_t written = write(descriptor, &byte, 1);
  close(descriptor);
}

const SERVICE_TABLE_ENTRYW* EntryFor(const SERVICE_TABLE_ENTRYW* table, std::u16string_view name) {
  for (const SERVICE_TABLE_ENTRYW* entry = table; entry->lpServiceName; ++entry) {
    if (FoldedServiceName(entry->lpServiceName) == FoldedServiceName(name)) return entry;
  }
  // A process of one service runs its first entry whatever its name, as Windows does.
  return table;
}

DWORD RunDispatcher(const SERVICE_TABLE_ENTRYW* table) {
  if (!table || !table->lpServiceName || !table->lpServiceProc) return ERROR_INVALID_PARAMETER;
  const char* nameText = std::getenv(kServiceNameVariable);
  if (!nameText || !*nameText) return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  ProcessIdentity self = CurrentProcessIdentity();
  auto dispatcher = std::make_shared<Dispatcher>(Utf8ToUtf16(nameText), self);
  if (!StartedByTheManager(*dispatcher, self)) return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  {
    std::lock_guard lock(activeMutex);
    if (active) return ERROR_SERVICE_ALREADY_RUNNING;
    active = dispatcher;
  }
  struct ClearActive {
    ~ClearActive() {
      std::lock_guard lock(activeMutex);
      active.reset();
    }
  } clearActive;

  Pipe terminate;
  if (!terminate.valid() || !dispatcher->wakeValid()) return ERROR_NOT_ENOUGH_MEMORY;
  ControlSocket listener(dispatcher->runtime(), self.processId);
  if (!listener) return ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
  TerminateAsStop terminateAsStop(terminate);

  const SERVICE_TABLE_ENTRYW* entry = EntryFor(table, dispatcher->name());
  std::vector<std::u16string> arguments;
  for (const std::string& argument : dispatcher->runtime().ReadArguments()) {
    arguments.push_back(Utf8ToUtf16(argument));
  }
  if (arguments.empty()) arguments.push_back(dispatcher->name());
  std::vector<LPWSTR> argumentPointers;
  for (std::u16string& argument : arguments) argumentPointers.push_back(argument.data());
  argumentPointers.push_back(nullptr);

  TellTheManagerConnected();
  std::thread mainRoutine;
  try {
    mainRoutine = std::thread([&] {
      entry->lpServiceProc(static_cast<DWORD>(arguments.size()), argumentPointers.data());
      dispatcher->MainReturned();
    });
  } catch (const std::system_error&) {
    return ERROR_SERVICE_NO_THREAD;
  }
  dispatcher->Loop(listener.get(), terminate);
  mainRoutine.join();
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace tesmar::platform

using namespace tesmar::platform;

/***********************************************************************
 *           StartServiceCtrlDispatcherW
 *
 * Connects only a process the manager started for the service
 * (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT otherwise). Runs the first entry's main routine on a
 * new thread (one service a process), calls the control handler on this thread, and returns once
 * the service reported SERVICE_STOPPED and its main routine returned. SIGTERM is the stop
 * control while it runs.
 */
extern "C" BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table) noexcept {
  return BoolResult([&] { return RunDispatcher(table); });
}

/***********************************************************************
 *           RegisterServiceCtrlHandlerW
 *
 * As for a process of one service on Windows, the name is not checked. Outside a running
 * dispatcher: ERROR_SERVICE_DOES_NOT_EXIST.
 */
extern "C" SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerW(LPCWSTR,
                                                             LPHANDLER_FUNCTION handler) noexcept {
  if (!handler) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto dispatcher = ActiveDispatcher();
  if (!dispatcher) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  dispatcher->SetHandler(handler);
  return dispatcher->statusHandle();
}

/***********************************************************************
 *           SetServiceStatus
 *
 * Every report is also appended to the service's history (platform/service_history.h).
 */
extern "C" BOOL SetServiceStatus(SERVICE_STATUS_HANDLE statusHandle,
                                 LPSERVICE_STATUS status) noexcept {
  return BoolResult([&]() -> DWORD {
    auto dispatcher = ActiveDispatcher();
    if (!dispatcher || dispatcher->statusHandle() != statusHandle) return ERROR_INVALID_HANDLE;
    if (!status) return ERROR_INVALID_PARAMETER;
    if (status->dwCurrentState < SERVICE_STOPPED || status->dwCurrentState > SERVICE_PAUSED) {
      return ERROR_INVALID_DATA;
    }
    return dispatcher->Report(*status);
  });
}
