#include "console/sense/sense_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/sense/url_watches.h"
#include "foundation/ram_file.h"
#include "service/procwatch/fake_watcher.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using Lines = std::vector<std::string>;

class SenseProbeTest : public ::testing::Test {
 protected:
  CRamFile& KeyFile(const Lines& oLines) {
    m_oFile.Initialize(m_oFolder.Path().c_str(), "AutoSet.caf");
    EXPECT_TRUE(m_oFile.LoadToRamFromListBox(oLines));
    return m_oFile;
  }

  test::CLogCapture m_oLog;
  test::CTempFolder m_oFolder;
  CRamFile m_oFile;
};

TEST_F(SenseProbeTest, SettingsTheTestReads) {
  const struct {
    const char* szName;
    Lines oKeys;
    bool bRequireds, bWatch;
    const char* szMachine;
    bool bUseIis;
    const char* szStored;
    int iUrlTimeout;
  } aCases[] = {
      {"empty file", {}, false, true, "", false, "", 120},
      {"all set",
       {"AdminId=op", "Password=pw", "MachineName= host ", "WATCH=1", "UseIIS=T", "Sensitivity=42",
        "UrlTimeout=9"},
       true,
       true,
       "host",
       true,
       "42",
       9},
      {"no password", {"AdminId=op", "MachineName=host"}, false, true, "host", false, "", 120},
      {"no logon ID", {"Password=pw", "MachineName=host"}, false, true, "host", false, "", 120},
      {"auto detect off",
       {"AdminId=op", "Password=pw", "WATCH=F", "UseIIS=0"},
       true,
       false,
       "",
       false,
       "",
       120},
  };
  for (const auto& oCase : aCases) {
    Lines oLines{"[KEYS]"};
    oLines.insert(oLines.end(), oCase.oKeys.begin(), oCase.oKeys.end());
    std::string sStored = "?";
    int iUrlTimeout = -1;
    const SSenseSettings oSettings = ReadSenseSettings(KeyFile(oLines), sStored, iUrlTimeout);
    EXPECT_EQ(oSettings.m_bRequiredsValid, oCase.bRequireds) << oCase.szName;
    EXPECT_EQ(oSettings.m_bWatch, oCase.bWatch) << oCase.szName;
    EXPECT_EQ(oSettings.m_sMachineName, oCase.szMachine) << oCase.szName;
    EXPECT_EQ(oSettings.m_bUseIis, oCase.bUseIis) << oCase.szName;
    EXPECT_EQ(sStored, oCase.szStored) << oCase.szName;
    EXPECT_EQ(iUrlTimeout, oCase.iUrlTimeout) << oCase.szName;
  }
}

TEST_F(SenseProbeTest, WebServerKeysInOrderUntilTheFirstRefusal) {
  const struct {
    const char* szName;
    Lines oUrls;
    int iKeyLimit;
    bool bResult, bLoaded;
    size_t uKeys;
    const char* szError;
  } aCases[] = {
      {"no local URLs", {}, 40, true, false, 0, ""},
      {"all four", {"http://a/", "http://b/"}, 40, true, true, 4, ""},
      {"second refused", {"http://a/", "http://b/"}, 1, false, false, 1, "Cannot see http://a/"},
  };
  for (const auto& oCase : aCases) {
    Lines oLines{"[KEYS]", "[URLS]"};
    oLines.insert(oLines.end(), oCase.oUrls.begin(), oCase.oUrls.end());
    CFakeWatcher oWatcher;
    oWatcher.m_iKeyLimit = oCase.iKeyLimit;
    CWarden oWarden;
    oWarden.UseWatcher(&oWatcher);
    SUrlWatches oResult;
    EXPECT_EQ(LoadUrlWatches(KeyFile(oLines), oWarden, "host", oResult), oCase.bResult)
        << oCase.szName;
    EXPECT_EQ(oResult.m_bLoaded, oCase.bLoaded) << oCase.szName;
    EXPECT_EQ(oResult.m_sLastError, oCase.szError) << oCase.szName;
    ASSERT_EQ(oWatcher.m_oKeys.size(), oCase.uKeys) << oCase.szName;
    for (size_t i = 0; i < oCase.uKeys; ++i) {
      EXPECT_EQ(oWatcher.m_oKeys[i],
                std::string("\\\\host\\Web Service(_Total)\\") + URL_WATCH_COUNTERS[i]);
    }
    oWarden.UseWatcher(nullptr);
  }
  EXPECT_EQ(m_oLog.CountErrors("CWManager::LoadUrlWatches failed."), 1);
  EXPECT_EQ(std::string(URL_WATCH_COUNTERS[3]), "total connection attempts (all instances)");
}

}  // namespace
}  // namespace wdx
