// The console's phone check, with the settings of the program folder:
//
//   wardenix phone test NUMBER [NAME]   one test call to NUMBER with the down message
//
// It creates the phone component as the service does (registering the program's own
// ZuvRirer2Oduvo.so when the class is not registered yet), calls the number once with the
// "PAck" acknowledgement setting, prints the outcome and the lines the call added to
// PhoneOuts.log. Ctrl-C ends the call at its next step. Exit code 0 when someone was reached
// (acknowledged or, without acknowledgement, the message was played), 1 otherwise.
//
// Threading: one thread (the component calls from its own).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace wdx {

int RunPhoneCommand(const std::vector<std::string>& oArgs, const std::string& sFolder,
                    std::ostream& oOut, std::ostream& oErr);

}  // namespace wdx
