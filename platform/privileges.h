// The two privileges the service asks for: reading other users' processes (CAP_SYS_PTRACE) and
// rebooting the machine (CAP_SYS_BOOT). A privilege is held when its capability is in the
// effective set of this process or the process runs with effective user id 0.
//
// Threading: pure functions and reads of /proc/self/status; safe from any thread.
#pragma once

#include <string>

namespace wdx {

enum class EPrivilegeState {
  HELD,
  NOT_HELD,
  UNKNOWN,  // the process's capabilities could not be read
};

inline constexpr int WDX_CAP_SYS_BOOT = 22;
inline constexpr int WDX_CAP_SYS_PTRACE = 19;

// The state of one capability from the text of a /proc/PID/status file ("CapEff:" line, hex).
EPrivilegeState PrivilegeFromStatusText(const std::string& sStatus, int iCapability, bool bRoot);
// The state of the capability for this process.
EPrivilegeState GetOwnPrivilege(int iCapability);

}  // namespace wdx
