// The console's service control and About box at the shell:
//
//   wardenix service install   register the service when missing, set it to start at boot,
//                              start it and wait until it runs
//   wardenix service start     start the installed service and wait until it runs
//   wardenix service stop      stop it and wait until it has stopped
//   wardenix service remove    stop it and remove it (the console's "StopService")
//   wardenix service state     print the service's state; exit code 0 when it runs or is
//                              starting, 3 otherwise (as systemctl is-active), without
//                              starting it
//   wardenix about             product, version, program folder, copyright
//
// The status lines of the main window are printed, its message boxes go to the error stream as
// "TITLE: TEXT", and the last line tells the service's state; the details go to the console's
// log (Wardenix.log). Exit code 0 on success, 1 when the operation failed, 2 on a usage error.
//
// Threading: one thread.
#pragma once

#include <iosfwd>
#include <string>

namespace wdx {

inline constexpr int SERVICE_NOT_RUNNING_EXIT_CODE = 3;

// sVerb: install, start, stop, remove or state; through the service manager of this machine.
int RunServiceCommand(const std::string& sVerb, const std::string& sFolder, std::ostream& oOut,
                      std::ostream& oErr);
int RunAboutCommand(const std::string& sFolder, std::ostream& oOut);

}  // namespace wdx
