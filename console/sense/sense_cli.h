// The sensitivity test at the command line:
//
//   wardenix sensitivity test [S]   one detection pass with sensitivity S (0..100; default: the
//                                   stored "Sensitivity", empty reads as 10)
//
// Progress shows while it runs: on a terminal one line that is rewritten (the URL checks, then
// the sample's seconds), otherwise a plain line when each phase begins. Then "Result: pass" or
// "Result: FAIL" and, when one was named, "Failed Item: " and the item. A refusal prints its
// text. Exit code 0 pass, 1 fail or refused (or the settings cannot be read), 2 usage.
//
// Threading: the caller's thread; the test runs on a second thread while this one reports.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace wdx {

class ISenseProbe;
struct SSenseSettings;

// oArgs starts with "sensitivity". bTerminal: oOut is a terminal.
int RunSensitivityCommand(const std::vector<std::string>& oArgs, const std::string& sFolder,
                          std::ostream& oOut, std::ostream& oErr, bool bTerminal);

// The same with the test's pieces given (unit tests); sStored is the stored "Sensitivity".
int RunSensitivityTest(const std::vector<std::string>& oArgs, const SSenseSettings& oSettings,
                       ISenseProbe& oProbe, const std::string& sStored, std::ostream& oOut,
                       std::ostream& oErr, bool bTerminal);

}  // namespace wdx
