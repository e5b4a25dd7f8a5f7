#include "processes/current_process_source.h"

#include <mutex>

#include "processes/ideal_processor_hints.h"
#include "processes/kernel_process_source.h"

namespace tesmar::platform {
namespace {
std::mutex sourceMutex;
std::shared_ptr<ProcessSource> installedSource;
}  // namespace

ProcessSource::~ProcessSource() = default;

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
