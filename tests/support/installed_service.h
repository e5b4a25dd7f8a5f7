// A service installed on the machine of the current TESMAR_ROOT for one test, and taken away at
// the end whatever the test did: stopped, its process seen gone, and deleted. A service left
// running would outlive its machine root.
#pragma once

#include <optional>
#include <string>

#include "packet/data_key.h"
#include "platform/owned_handle.h"
#include "platform/service.h"

namespace tesmar::testing {

class InstalledService {
 public:
  // Defines the command line (a program and its options) as the service, started on demand.
  explicit InstalledService(const std::string& commandLine,
                            const char16_t* name = packet::kServiceName);
  ~InstalledService();
  InstalledService(const InstalledService&) = delete;
  InstalledService& operator=(const InstalledService&) = delete;

  bool installed() const { return static_cast<bool>(service_); }
  SC_HANDLE handle() const { return service_.get(); }

  // Asks the manager and waits until the state is reached; false when it is not.
  bool Start();
  bool Stop();
  bool Pause();
  bool WaitForState(DWORD state) const;
  // The state the manager reports now.
  DWORD CurrentState() const;

 private:
  std::u16string name_;
  platform::OwnedServiceHandle manager_;
  platform::OwnedServiceHandle service_;
};

// Takes the service of that name away when the scope ends, however it was installed (by the
// installer's command, say), as InstalledService does.
class ServiceRemoval {
 public:
  explicit ServiceRemoval(const char16_t* name = packet::kServiceName) : name_(name) {}
  ~ServiceRemoval();
  ServiceRemoval(const ServiceRemoval&) = delete;
  ServiceRemoval& operator=(const ServiceRemoval&) = delete;

 private:
  std::u16string name_;
};

// The service's state as the manager reports it; 0 when the service cannot be opened.
DWORD ServiceState(const char16_t* name = packet::kServiceName);

// The service's last process has ended (it reports stopped before that, and its worker may
// still run until then).
bool WaitUntilServiceProcessGone(const char16_t* name = packet::kServiceName);

// A DWORD of the service's definition (SYSTEM\CurrentControlSet\Services\<name>); none when
// the service or the value does not exist.
std::optional<DWORD> ServiceDefinitionNumber(const char* serviceName, const char* valueName);
// The service's ImagePath; empty when there is none.
std::string ServiceImagePath(const char* serviceName);

}  // namespace tesmar::testing
