#include "console/logs/log_cli.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

// Sets PAGER for one test and restores it.
class CPagerVariable final {
 public:
  explicit CPagerVariable(const char* szValue) {
    const char* szOld = std::getenv("PAGER");
    m_bHadOld = szOld != nullptr;
    if (m_bHadOld) m_sOld = szOld;
    if (szValue == nullptr) {
      unsetenv("PAGER");
    } else {
      setenv("PAGER", szValue, 1);
    }
  }
  ~CPagerVariable() {
    if (m_bHadOld) {
      setenv("PAGER", m_sOld.c_str(), 1);
    } else {
      unsetenv("PAGER");
    }
  }
  CPagerVariable(const CPagerVariable&) = delete;
  CPagerVariable& operator=(const CPagerVariable&) = delete;

 private:
  bool m_bHadOld = false;
  std::string m_sOld;
};

struct SRun {
  int iExit;
  std::string sOut;
  std::string sErr;
};

SRun ShowLog(const std::string& sName, const std::string& sFolder) {
  std::ostringstream oOut;
  std::ostringstream oErr;
  const int iExit = RunLogCommand(sName, sFolder, oOut, oErr);
  return {iExit, oOut.str(), oErr.str()};
}

TEST(LogCliTest, ShowsTheWholeLogSafelyOnOutputOrThroughThePager) {
  test::CTempFolder oFolder;
  oFolder.Write("WDXSVC.log", "first\r\r\nM\xFCller\r\nlast");
  const std::string sShown = "first\nM\xEF\xBF\xBDller\nlast\n";
  for (const char* szPager : {static_cast<const char*>(nullptr), ""}) {
    CPagerVariable oPager(szPager);
    const SRun oRun = ShowLog("service", oFolder.Path());
    EXPECT_EQ(oRun.iExit, 0);
    EXPECT_EQ(oRun.sOut, sShown);
  }
  const std::string sPaged = oFolder.File("paged.txt");
  {
    CPagerVariable oPager(("/bin/sh -c 'cat > \"$1\"' pager " + sPaged).c_str());
    const SRun oRun = ShowLog("service", oFolder.Path());
    EXPECT_EQ(oRun.iExit, 0) << oRun.sErr;
    EXPECT_EQ(oRun.sOut, "");
    EXPECT_EQ(oFolder.Read("paged.txt"), sShown);
  }
  {
    CPagerVariable oPager("/nonexistent/pager");
    EXPECT_EQ(ShowLog("service", oFolder.Path()).iExit, 1);
  }
}

TEST(LogCliTest, UnknownNamesAndMissingLogs) {
  test::CTempFolder oFolder;
  CPagerVariable oPager(nullptr);
  oFolder.Write("AutoSet.caf", "secret\n");
  const SRun oUnknown = ShowLog("AutoSet.caf", oFolder.Path());
  EXPECT_EQ(oUnknown.iExit, 2);
  EXPECT_EQ(oUnknown.sOut, "");
  const SRun oMissing = ShowLog("phone", oFolder.Path());
  EXPECT_EQ(oMissing.iExit, 1);
  EXPECT_EQ(oMissing.sErr, "wardenix: there is no " + oFolder.Path() + "PhoneOuts.log yet.\n");
}

}  // namespace
}  // namespace wdx
