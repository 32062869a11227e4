// The console's e-mail checks, with the settings of the program folder:
//
//   wardenix email test        connects to "SmtpServer" and waits for its greeting (no command)
//   wardenix email send-test   sends one test message to the "[EMAILS]" list
//
// Each prints one line; the details go to the console's log (Wardenix.log). Exit code 0 when
// the check passed, 1 when it failed.
//
// Threading: one thread.
#pragma once

#include <iosfwd>
#include <string>

namespace wdx {

int RunEmailCommand(const std::string& sVerb, const std::string& sFolder, std::ostream& oOut,
                    std::ostream& oErr);

}  // namespace wdx
