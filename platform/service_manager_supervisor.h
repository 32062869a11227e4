// The service manager where systemd does not run: the installation is a record in the registry
// store, and a running service is the detached supervisor program "wdxsupervisor" with the
// service program as its child, both named in the pid file "wdxsvc.pid" in the program folder
// (WDX_HOME when set, else the service program's folder), so that program folders served by
// one set of programs do not share it. A service whose supervisor was killed still counts as
// running; Stop stops it, and Start has a new supervisor replace it.
//
// Threading: one object per caller thread.
#pragma once

#include <memory>
#include <string>

#include "platform/service_manager.h"

namespace wdx {

class IRegistryStore;

inline constexpr const char* WDX_SERVICE_KEY = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\WDXSVC";
inline constexpr const char* WDX_SUPERVISOR_PROGRAM = "wdxsupervisor";
inline constexpr const char* WDX_PID_FILE_NAME = "wdxsvc.pid";
// How long Uninstall waits for a running service to stop.
inline constexpr int WDX_UNINSTALL_STOP_WAIT_MS = 130000;

// Uses the registry store at WDX_REGISTRY (or its default place) and the supervisor program
// beside the service program, else beside the running program.
std::unique_ptr<IServiceManager> CreateSupervisorServiceManager();
// For tests and tools: an explicit store and supervisor program ("" = look as above).
std::unique_ptr<IServiceManager> CreateSupervisorServiceManager(
    std::unique_ptr<IRegistryStore> pStore, const std::string& sSupervisorPath);

}  // namespace wdx
