#include "console/sense/sense_pass.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/sense/fake_sense_probe.h"
#include "platform/fake_clock.h"

namespace wdx {
namespace {

using Calls = std::vector<std::string>;

SSenseSettings GoodSettings() {
  SSenseSettings oSettings;
  oSettings.m_bRequiredsValid = true;
  oSettings.m_bWatch = true;
  oSettings.m_sMachineName = "host";
  return oSettings;
}

TEST(SensePassTest, RefusalsInTheirOrderChangeNothing) {
  const struct {
    const char* szName;
    bool bRequireds, bWatch;
    const char* szMachine;
    bool bWatcher;
    const char* szRefusal;
  } aCases[] = {
      {"all wrong", false, false, "", false, "Some required settings are missing."},
      {"auto detect off", true, false, "", false, "The 'Auto Detect' setting is disabled.."},
      {"no machine name", true, true, "", false, "The 'Machine Name' setting is empty..."},
      {"no watcher", true, true, "host", false, "Cannot init the ZiruVarurar..."},
      {"allowed", true, true, "host", true, ""},
  };
  for (const auto& oCase : aCases) {
    SSenseSettings oSettings{oCase.bRequireds, oCase.bWatch, oCase.szMachine, false};
    CFakeSenseProbe oProbe;
    oProbe.m_bHasWatcher = oCase.bWatcher;
    EXPECT_EQ(CSenseTest::Refuse(oSettings, oProbe), oCase.szRefusal) << oCase.szName;
    // Only the watcher is looked at, and only once the settings allow a test.
    const bool bAsked = oCase.bRequireds && oCase.bWatch && *oCase.szMachine != '\0';
    EXPECT_EQ(oProbe.Calls(), bAsked ? Calls{"HasWatcher"} : Calls{}) << oCase.szName;
  }
}

TEST(SensePassTest, OutcomeOfEachStep) {
  const struct {
    const char* szName;
    bool bUseIis;
    const char* szLoadFailure;
    const char* szLocalFailure;
    int iRemoteState;
    const char* szRemoteFailure;
    bool bSamplePasses;
    int iProcessKeys;
    ESensePicture ePicture;
    const char* szFailedItem;
    Calls oCalls;
  } aCases[] = {
      {"all pass",
       false,
       "",
       "",
       101,
       "",
       true,
       2,
       ESensePicture::kPass,
       "",
       {"RecreateWatcher", "LoadProcessKeys", "TestLocalUrls", "TestRemoteUrls", "Sample"}},
      {"web keys with UseIIS",
       true,
       "",
       "",
       100,
       "",
       true,
       1,
       ESensePicture::kPass,
       "",
       {"RecreateWatcher", "LoadProcessKeys", "LoadUrlWatches", "TestLocalUrls", "TestRemoteUrls",
        "Sample"}},
      {"program not found",
       false,
       "Failed. Cannot see app",
       "",
       100,
       "",
       true,
       0,
       ESensePicture::kFail,
       "Failed. Cannot see app",
       {"RecreateWatcher", "LoadProcessKeys"}},
      {"local URL fails",
       true,
       "",
       "http://l/",
       100,
       "",
       true,
       1,
       ESensePicture::kFail,
       "http://l/",
       {"RecreateWatcher", "LoadProcessKeys", "LoadUrlWatches", "TestLocalUrls"}},
      {"remote URL fails",
       false,
       "",
       "",
       102,
       "http://r/",
       true,
       1,
       ESensePicture::kFail,
       "http://r/",
       {"RecreateWatcher", "LoadProcessKeys", "TestLocalUrls", "TestRemoteUrls"}},
      {"idle program",
       false,
       "",
       "",
       100,
       "",
       false,
       1,
       ESensePicture::kFail,
       "idler",
       {"RecreateWatcher", "LoadProcessKeys", "TestLocalUrls", "TestRemoteUrls", "Sample",
        "GetProcessKeyCount", "GetFirstFailure"}},
      {"no programs, URLs alive",
       true,
       "",
       "",
       101,
       "",
       false,
       0,
       ESensePicture::kPass,
       "",
       {"RecreateWatcher", "LoadProcessKeys", "LoadUrlWatches", "TestLocalUrls", "TestRemoteUrls",
        "Sample", "GetProcessKeyCount"}},
  };
  for (const auto& oCase : aCases) {
    SSenseSettings oSettings = GoodSettings();
    oSettings.m_bUseIis = oCase.bUseIis;
    CFakeSenseProbe oProbe;
    oProbe.m_sLoadFailure = oCase.szLoadFailure;
    oProbe.m_sLocalFailure = oCase.szLocalFailure;
    oProbe.m_iRemoteState = oCase.iRemoteState;
    oProbe.m_sRemoteFailure = oCase.szRemoteFailure;
    oProbe.m_bSamplePasses = oCase.bSamplePasses;
    oProbe.m_iProcessKeys = oCase.iProcessKeys;
    oProbe.m_sFirstFailure = "\\\\host\\Process(idler)\\Elapsed Time";
    CSenseTest oTest;
    const SSenseOutcome oOutcome = oTest.Run(oSettings, oProbe, 5);
    EXPECT_EQ(oOutcome.m_ePicture, oCase.ePicture) << oCase.szName;
    EXPECT_EQ(oOutcome.m_sFailedItem, oCase.szFailedItem) << oCase.szName;
    EXPECT_EQ(oProbe.Calls(), oCase.oCalls) << oCase.szName;
    EXPECT_FALSE(oTest.GetProgress().m_bBusy) << oCase.szName;
  }
}

TEST(SensePassTest, SampleOfTheSensitivityWithProgressWhileItRuns) {
  struct SFakeClockInUse {
    SFakeClockInUse() { SetClockForTesting(&m_oClock); }
    ~SFakeClockInUse() { SetClockForTesting(nullptr); }
    CFakeClock m_oClock;
  } oInUse;
  CFakeClock& oClock = oInUse.m_oClock;
  const struct {
    int iGiven, iPeriod, iSeconds;
  } aCases[] = {{0, 101, 10}, {50, 51, 70}, {100, 1, 130}, {-4, 101, 10}, {250, 1, 130}};
  for (const auto& oCase : aCases) {
    CFakeSenseProbe oProbe;
    CSenseTest oTest;
    std::vector<SSenseProgress> oDuring;
    oProbe.m_fnDuringSample = [&] {
      oDuring.push_back(oTest.GetProgress());
      oClock.AdvanceMs(3500);
      oDuring.push_back(oTest.GetProgress());
      oClock.AdvanceMs(1000 * 1000);
      oDuring.push_back(oTest.GetProgress());
    };
    EXPECT_FALSE(oTest.GetProgress().m_bBusy);
    oTest.Run(GoodSettings(), oProbe, oCase.iGiven);
    EXPECT_EQ(oProbe.m_iPeriodMs, oCase.iPeriod) << oCase.iGiven;
    EXPECT_EQ(oProbe.m_iSeconds, oCase.iSeconds) << oCase.iGiven;
    ASSERT_EQ(oDuring.size(), 3u);
    const int aiElapsed[] = {0, 3, oCase.iSeconds};  // never past the whole sample
    for (size_t i = 0; i < oDuring.size(); ++i) {
      EXPECT_TRUE(oDuring[i].m_bBusy) << oCase.iGiven;
      EXPECT_TRUE(oDuring[i].m_bSampling) << oCase.iGiven;
      EXPECT_EQ(oDuring[i].m_iTotalSeconds, oCase.iSeconds) << oCase.iGiven;
      EXPECT_EQ(oDuring[i].m_iElapsedSeconds, aiElapsed[i]) << oCase.iGiven << " " << i;
    }
    const SSenseProgress oAfter = oTest.GetProgress();
    EXPECT_FALSE(oAfter.m_bBusy);
    EXPECT_FALSE(oAfter.m_bSampling);
  }
}

}  // namespace
}  // namespace wdx
