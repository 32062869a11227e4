#include "platform/service_manager.h"

#include <sys/stat.h>

#include <cstdlib>

#include "platform/service_manager_supervisor.h"
#include "platform/service_manager_systemd.h"

namespace wdx {

const char* ServiceStateName(EServiceState eState) {
  switch (eState) {
    case EServiceState::NOT_INSTALLED:
      return "NOT_INSTALLED";
    case EServiceState::STOPPED:
      return "STOPPED";
    case EServiceState::START_PENDING:
      return "START_PENDING";
    case EServiceState::RUNNING:
      return "RUNNING";
    case EServiceState::STOP_PENDING:
      return "STOP_PENDING";
  }
  return "UNKNOWN";
}

std::unique_ptr<IServiceManager> CreateServiceManager() {
  struct stat oStat;
  const bool bSystemd = stat("/run/systemd/system", &oStat) == 0 && S_ISDIR(oStat.st_mode);
  if (bSystemd && std::getenv("WDX_SUPERVISOR") == nullptr) return CreateSystemdServiceManager();
  return CreateSupervisorServiceManager();
}

}  // namespace wdx
