// An IConsoleOutput for the command line: status lines go to the output stream, message boxes
// to the error stream as "TITLE: TEXT".
//
// Threading: one thread (the streams are not guarded).
#pragma once

#include <ostream>
#include <string>

#include "console/dlg/console_output.h"

namespace wdx {

class CStreamConsoleOutput final : public IConsoleOutput {
 public:
  CStreamConsoleOutput(std::ostream& oOut, std::ostream& oErr) : m_oOut(oOut), m_oErr(oErr) {}
  CStreamConsoleOutput(const CStreamConsoleOutput&) = delete;
  CStreamConsoleOutput& operator=(const CStreamConsoleOutput&) = delete;

  void AddStatusLine(const std::string& sLine) override { m_oOut << sLine << "\n" << std::flush; }
  void MessageBox(const std::string& sTitle, const std::string& sText) override {
    m_oErr << sTitle << ": " << sText << "\n" << std::flush;
  }

 private:
  std::ostream& m_oOut;
  std::ostream& m_oErr;
};

}  // namespace wdx
