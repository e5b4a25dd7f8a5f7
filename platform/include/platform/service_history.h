// What the services of this machine reported, for tests: every SetServiceStatus call, in the
// order made, by every process that ran the service. Polling QueryServiceStatus can miss a
// transient state; this record cannot. It is kept across deletion and re-creation of a service
// of the same name, as a machine log would be.
#pragma once

#include <string_view>
#include <vector>

#include "platform/export.h"
#include "platform/service.h"

namespace tesmar::platform {

struct ReportedStatus {
  int processId;
  SERVICE_STATUS status;
};

// The reports of the named service (names compare without regard to case), oldest first.
PLATFORM_API std::vector<ReportedStatus> RecordedServiceStatus(
    std::u16string_view serviceName) noexcept;

// The process the manager last started for the service while it is alive, otherwise 0.
PLATFORM_API int RunningServiceProcessId(std::u16string_view serviceName) noexcept;

}  // namespace tesmar::platform
