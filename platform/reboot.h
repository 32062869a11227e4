// Restarting the machine. The system rebooter asks systemd (`systemctl reboot`) when systemd
// runs, otherwise it syncs the disks and calls reboot(2); its privilege is CAP_SYS_BOOT or
// root. When the environment variable WDX_REBOOT_COMMAND is set, the program it names (split
// into words as a shell would, and run without a shell) is run in place of the reboot, and the
// privilege is "that program exists and may be executed".
//
// Tests install their own rebooter with SetRebooterForTesting, so that no test can restart the
// machine.
//
// Threading: GetRebooter() may be called from any thread; SetRebooterForTesting() only while
// no other thread uses the rebooter.
#pragma once

#include <memory>
#include <string>

#include "platform/privileges.h"

namespace wdx {

class IRebooter {
 public:
  virtual ~IRebooter() = default;
  // Whether this process may restart the machine (UNKNOWN: it cannot tell).
  virtual EPrivilegeState GetRebootPrivilege() = 0;
  // Asks for the restart, applications being made to close; true when it was accepted.
  virtual bool RequestReboot() = 0;
};

// The installed test rebooter, else the one WDX_REBOOT_COMMAND names, else the system's.
IRebooter& GetRebooter();
// Installs a rebooter for tests (the caller keeps ownership); nullptr removes it.
void SetRebooterForTesting(IRebooter* pRebooter);

// The rebooter that runs the program of a command line instead of restarting the machine.
std::unique_ptr<IRebooter> MakeCommandRebooter(const std::string& sCommandLine);

}  // namespace wdx
