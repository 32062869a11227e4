// Where the console's algorithms put what the operator sees: lines of the status list and
// message boxes. The web console keeps them for its page (message boxes become dialogs there);
// the command line prints them.
//
// Threading: as the implementation says; the algorithms call it from the thread they run on.
#pragma once

#include <string>

namespace wdx {

class IConsoleOutput {
 public:
  virtual ~IConsoleOutput() = default;
  virtual void AddStatusLine(const std::string& sLine) = 0;
  virtual void MessageBox(const std::string& sTitle, const std::string& sText) = 0;
};

}  // namespace wdx
