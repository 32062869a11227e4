// The systemd side of the service manager: the unit "wdxsvc.service", driven through
// systemctl. A package ships the unit in a vendor folder (/usr/lib/systemd/system or
// /lib/systemd/system); a program with no such unit of its own gets a local one in
// /etc/systemd/system, which shadows a vendor unit of the same name.
//
// Threading: MakeSystemdUnitText is a pure function; the manager object is used by one thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/service_manager.h"

namespace wdx {

inline constexpr const char* WDX_SYSTEMD_UNIT = "wdxsvc.service";

// Where the units are and which program drives systemd; tests put them elsewhere. Folders end
// in "/".
struct SSystemdPaths {
  std::string m_sLocalFolder = "/etc/systemd/system/";
  // The folders of packaged units, in systemd's order of preference.
  std::vector<std::string> m_oVendorFolders = {"/usr/lib/systemd/system/", "/lib/systemd/system/"};
  std::string m_sSystemctl = "systemctl";
};

// The unit file for the program at sProgramPath. sProgramFolder, when not empty, is passed to
// the service as WDX_HOME. False when a path cannot be written into a unit (a line end).
bool MakeSystemdUnitText(const std::string& sProgramPath, const std::string& sProgramFolder,
                         std::string& sUnitText);

// The state that "systemctl is-active" prints, as a service state.
EServiceState MapSystemdActiveState(const std::string& sOutput);

std::unique_ptr<IServiceManager> CreateSystemdServiceManager();
std::unique_ptr<IServiceManager> CreateSystemdServiceManager(SSystemdPaths oPaths);

}  // namespace wdx
