#include "platform/service_history.h"

#include "services/runtime.h"

namespace tesmar::platform {

std::vector<ReportedStatus> RecordedServiceStatus(std::u16string_view serviceName) noexcept {
  try {
    return ServiceRuntime(serviceName).ReadHistory();
  } catch (...) {
    return {};
  }
}

int RunningServiceProcessId(std::u16string_view serviceName) noexcept {
  try {
    auto record = ServiceRuntime(serviceName).ReadStatus();
    if (!record || record->status.dwCurrentState == SERVICE_STOPPED || !IsAlive(record->process)) {
      return 0;
    }
    return record->process.processId;
  } catch (...) {
    return 0;
  }
}

}  // namespace tesmar::platform
