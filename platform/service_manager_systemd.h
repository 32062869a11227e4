// The systemd side of the service manager: the unit "wdxsvc.service" in /etc/systemd/system,
// driven through systemctl.
//
// Threading: MakeSystemdUnitText is a pure function; the manager object is used by one thread.
#pragma once

#include <memory>
#include <string>

#include "platform/service_manager.h"

namespace wdx {

inline constexpr const char* WDX_SYSTEMD_UNIT = "wdxsvc.service";
inline constexpr const char* WDX_SYSTEMD_UNIT_PATH = "/etc/systemd/system/wdxsvc.service";

// The unit file for the program at sProgramPath. sProgramFolder, when not empty, is passed to
// the service as WDX_HOME. False when a path cannot be written into a unit (a line end).
bool MakeSystemdUnitText(const std::string& sProgramPath, const std::string& sProgramFolder,
                         std::string& sUnitText);

// The state that "systemctl is-active" prints, as a service state.
EServiceState MapSystemdActiveState(const std::string& sOutput);

std::unique_ptr<IServiceManager> CreateSystemdServiceManager();

}  // namespace wdx
