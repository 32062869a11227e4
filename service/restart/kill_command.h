// The built-in KILL command of the restart program: "KILL [/f] TARGET..." ends processes
// without running any program. "/f" (any case) sends SIGKILL, otherwise SIGTERM. A target of
// digits only is a process id; a target holding "/" is compared with the full path of each
// process's executable, any other target with its base name (both ignoring case). Process 0,
// process 1 and this process itself are never signalled. Every outcome is logged.
//
// Threading: the functions keep no state and may be called from any thread.
#pragma once

#include <string>
#include <vector>

namespace wdx {

// True when the first word is KILL (any case).
bool IsKillCommand(const std::vector<std::string>& oWords);
// Performs a KILL command (oWords[0] is KILL); true when every target was found and signalled.
bool RunKillCommand(const std::vector<std::string>& oWords);
// The ids of the running processes whose executable matches sTarget as above, ascending
// (processes 0 and 1 and this process excluded).
std::vector<int> FindProcessesByImage(const std::string& sTarget);

}  // namespace wdx
