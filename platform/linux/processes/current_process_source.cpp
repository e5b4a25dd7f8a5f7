#include "processes/current_process_source.h"

#include <mutex>

#include "platform/errors.h"
#include "processes/ideal_processor_hints.h"
#include "processes/kernel_process_source.h"

namespace tesmar::platform {
namespace {
std::mutex sourceMutex;
std::shared_ptr<ProcessSource> installedSource;
}  // namespace

ProcessSource::~ProcessSource() = default;

DWORD ProcessSource::MayTerminate(TaskIdentity& process) {
  return process.StillSame() ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

DWORD ProcessSource::TerminateTask(TaskIdentity& process) {
  return process.StillSame() ? Terminate(process.Id()) : ERROR_INVALID_PARAMETER;
}

DWORD ProcessSource::ProcessName(TaskIdentity&, std::u16string&) {
  return ERROR_NOT_SUPPORTED;
}

std::shared_ptr<ProcessSource> CurrentProcessSource() {
  std::lock_guard lock(sourceMutex);
  if (!installedSource) installedSource = std::make_shared<KernelProcessSource>();
  return installedSource;
}

void UseProcessSource(std::shared_ptr<ProcessSource> source) noexcept {
  {
    std::lock_guard lock(sourceMutex);
    installedSource = std::move(source);
  }
  ForgetIdealProcessors();
}

}  // namespace tesmar::platform
