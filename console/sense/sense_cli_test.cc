#include "console/sense/sense_cli.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "console/sense/fake_sense_probe.h"

namespace wdx {
namespace {

using Args = std::vector<std::string>;

struct SRun {
  int m_iExit = -1;
  std::string m_sOut;
  std::string m_sErr;
};

SRun RunCli(const Args& oArgs, CFakeSenseProbe& oProbe, const std::string& sStored = "",
            bool bTerminal = false, SSenseSettings oSettings = {true, true, "host", false}) {
  std::ostringstream oOut;
  std::ostringstream oErr;
  SRun oRun;
  oRun.m_iExit = RunSensitivityTest(oArgs, oSettings, oProbe, sStored, oOut, oErr, bTerminal);
  oRun.m_sOut = oOut.str();
  oRun.m_sErr = oErr.str();
  return oRun;
}

TEST(SenseCliTest, UsageErrorsRunNothing) {
  const Args aBad[] = {{"sensitivity"},
                       {"sensitivity", "run"},
                       {"sensitivity", "test", "101"},
                       {"sensitivity", "test", "-1"},
                       {"sensitivity", "test", "ten"},
                       {"sensitivity", "test", "5", "6"}};
  for (const Args& oArgs : aBad) {
    CFakeSenseProbe oProbe;
    const SRun oRun = RunCli(oArgs, oProbe);
    EXPECT_EQ(oRun.m_iExit, 2) << oArgs.size();
    EXPECT_NE(oRun.m_sErr.find("usage: wardenix sensitivity test [S]"), std::string::npos);
    EXPECT_TRUE(oProbe.Calls().empty());
  }
}

TEST(SenseCliTest, ResultLinesAndExitCodes) {
  const struct {
    const char* szName;
    Args oArgs;
    const char* szStored;
    bool bSamplePasses;
    SSenseSettings oSettings;
    int iExit;
    int iSeconds;  // given to the sample; -1: none
    const char* szOut;
    const char* szErr;
  } aCases[] = {
      {"pass, stored empty reads as 10",
       {"sensitivity", "test"},
       "",
       true,
       {true, true, "host", false},
       0,
       22,
       "Sensitivity 10: a sample of 22 s, every 91 ms. Tests can run up to 130 seconds and cannot "
       "be stopped.\nTesting the URLs...\nSampling the watched programs for 22 s...\n"
       "Result: pass\n",
       ""},
      {"fail names the item, stored value",
       {"sensitivity", "test"},
       "0",
       false,
       {true, true, "host", false},
       1,
       10,
       "Sensitivity 0: a sample of 10 s, every 101 ms. Tests can run up to 130 seconds and cannot "
       "be stopped.\nTesting the URLs...\nSampling the watched programs for 10 s...\n"
       "Result: FAIL\nFailed Item: idler\n",
       ""},
      {"given value wins",
       {"sensitivity", "test", "100"},
       "3",
       true,
       {true, true, "host", false},
       0,
       130,
       nullptr,
       ""},
      {"refused",
       {"sensitivity", "test", "0"},
       "",
       true,
       {true, true, "", false},
       1,
       -1,
       "",
       "wardenix: The 'Machine Name' setting is empty...\n"},
  };
  for (const auto& oCase : aCases) {
    CFakeSenseProbe oProbe;
    oProbe.m_bSamplePasses = oCase.bSamplePasses;
    oProbe.m_sFirstFailure = "\\\\host\\Process(idler)\\Elapsed Time";
    const SRun oRun = RunCli(oCase.oArgs, oProbe, oCase.szStored, false, oCase.oSettings);
    EXPECT_EQ(oRun.m_iExit, oCase.iExit) << oCase.szName;
    EXPECT_EQ(oProbe.m_iSeconds, oCase.iSeconds) << oCase.szName;
    if (oCase.szOut != nullptr) {
      EXPECT_EQ(oRun.m_sOut, oCase.szOut) << oCase.szName;
    }
    EXPECT_EQ(oRun.m_sErr, oCase.szErr) << oCase.szName;
  }
}

TEST(SenseCliTest, TerminalLineIsRewrittenInPlace) {
  CFakeSenseProbe oProbe;
  oProbe.Hold();
  // The sample lasts long enough for the reporter (every 200 ms) to show it several times.
  std::thread oReleaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    oProbe.Release();
  });
  const SRun oRun = RunCli({"sensitivity", "test", "0"}, oProbe, "", true);
  oReleaser.join();
  EXPECT_EQ(oRun.m_iExit, 0);
  EXPECT_NE(oRun.m_sOut.find("\rSampling ["), std::string::npos) << oRun.m_sOut;
  EXPECT_NE(oRun.m_sOut.find(" of 10 s"), std::string::npos) << oRun.m_sOut;
  EXPECT_EQ(oRun.m_sOut.find("Sampling the watched programs"), std::string::npos);
  EXPECT_NE(oRun.m_sOut.find("\nResult: pass\n"), std::string::npos) << oRun.m_sOut;
}

}  // namespace
}  // namespace wdx
