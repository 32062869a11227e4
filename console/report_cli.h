// The console's report, with the settings of the program folder:
//
//   wardenix report   writes RParams.txt from [RURLS], [URLS] and [STOPS], runs the program
//                     folder's UtRpt.sh there and prints the path of UptimeReport.html
//
// Unlike a window's button, the command waits for the script, so that the printed path names a
// finished report. Exit code 0 when the report was written, 1 otherwise.
//
// Threading: one thread.
#pragma once

#include <iosfwd>
#include <string>

namespace wdx {

int RunReportCommand(const std::string& sFolder, std::ostream& oOut, std::ostream& oErr);

}  // namespace wdx
