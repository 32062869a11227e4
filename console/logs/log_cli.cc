#include "console/logs/log_cli.h"

#include <cstdlib>
#include <ostream>
#include <vector>

#include "console/logs/log_reader.h"
#include "platform/command_words.h"
#include "platform/process.h"

namespace wdx {
namespace {

// The whole log as lines of safe text; false with sError when it cannot be read.
bool ReadWholeLog(const CLogReader& oReader, std::string& sText, bool& bExists,
                  std::string& sError) {
  SLogPage oPage;
  int64_t iAt = 0;
  do {
    if (!oReader.ReadAfter(iAt, oPage, sError)) return false;
    for (const std::string& sLine : oPage.m_oLines) sText += sLine + "\n";
    iAt = oPage.m_iEnd;
  } while (oPage.m_bMore && !oPage.m_bRotated);
  if (!oPage.m_sTail.empty()) sText += oPage.m_sTail + "\n";
  bExists = oPage.m_bExists;
  return true;
}

}  // namespace

int RunLogCommand(const std::string& sName, const std::string& sFolder, std::ostream& oOut,
                  std::ostream& oErr) {
  const char* szFile = LogFileOfName(sName);
  if (szFile == nullptr) {
    oErr << "wardenix: \"" << sName << "\" is not a log (console, service, uptime, phone).\n";
    return 2;
  }
  const std::string sPath = sFolder + szFile;
  std::string sText;
  std::string sError;
  bool bExists = false;
  if (!ReadWholeLog(CLogReader(sPath), sText, bExists, sError)) {
    oErr << "wardenix: " << sError << ".\n";
    return 1;
  }
  if (!bExists) {
    oErr << "wardenix: there is no " << sPath << " yet.\n";
    return 1;
  }
  const char* szPager = std::getenv("PAGER");
  std::vector<std::string> oPager;
  if (szPager == nullptr || !SplitCommandWords(szPager, oPager)) {
    oOut << sText << std::flush;
    return 0;
  }
  int iExitCode = -1;
  if (!RunWithInput(oPager, sText, iExitCode)) {
    oErr << "wardenix: cannot run the pager \"" << szPager << "\" (PAGER).\n";
    return 1;
  }
  return iExitCode == 0 ? 0 : 1;
}

}  // namespace wdx
