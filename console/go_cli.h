// The main window's GO and the service's status at the shell:
//
//   wardenix go              initialises the service when needed, then GO with the window's
//                            waits (the phone component, then up to 90 polls for GO mode),
//                            printing the status lines; on a terminal a repeated line is
//                            counted in place instead of printed again
//   wardenix status --json   {"state", "stateName", "goMode", "serverState", "serverStateName",
//                            "action", "object"} on one line, for scripts
//
// Exit code 0 when GO mode runs (go) or the service answered (status), 1 otherwise.
//
// Threading: one thread.
#pragma once

#include <iosfwd>
#include <string>

namespace wdx {

int RunGoCommand(const std::string& sFolder, std::ostream& oOut, std::ostream& oErr,
                 bool bTerminal);
int RunStatusJsonCommand(const std::string& sFolder, std::ostream& oOut, std::ostream& oErr);

}  // namespace wdx
