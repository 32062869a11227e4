// `wardenix log NAME`: shows one of the four logs of the program folder (console, service,
// uptime, phone) whole, oldest line first, as safe text (see log_reader.h). With $PAGER set the
// text goes to that program's standard input (split shell-style, run without a shell), else to
// the output stream. Exit code 0 when shown, 1 when the log is missing or unreadable or the
// pager failed, 2 for an unknown name.
//
// Threading: one thread.
#pragma once

#include <iosfwd>
#include <string>

namespace wdx {

int RunLogCommand(const std::string& sName, const std::string& sFolder, std::ostream& oOut,
                  std::ostream& oErr);

}  // namespace wdx
