#include "console/sense/sense_pass.h"

#include <algorithm>

#include "console/sense/sense_params.h"
#include "foundation/process_log.h"
#include "platform/clock.h"
#include "service/ops/ops_mngr_thread.h"

namespace wdx {

const char* SensePictureName(ESensePicture ePicture) {
  switch (ePicture) {
    case ESensePicture::kComputing:
      return "computing";
    case ESensePicture::kPass:
      return "pass";
    case ESensePicture::kFail:
      return "fail";
    case ESensePicture::kNone:
      break;
  }
  return "none";
}

std::string CSenseTest::Refuse(const SSenseSettings& oSettings, ISenseProbe& oProbe) {
  if (!oSettings.m_bRequiredsValid) return "Some required settings are missing.";
  if (!oSettings.m_bWatch) return "The 'Auto Detect' setting is disabled..";
  if (oSettings.m_sMachineName.empty()) return "The 'Machine Name' setting is empty...";
  if (!oProbe.HasWatcher()) return "Cannot init the ZiruVarurar...";
  return "";
}

SSenseOutcome CSenseTest::Run(const SSenseSettings& oSettings, ISenseProbe& oProbe,
                              int iSensitivity) {
  iSensitivity = std::clamp(iSensitivity, SENSE_MIN, SENSE_MAX);
  m_iSampleStartMs = -1;
  m_iTotalSeconds = SenseSampleSeconds(iSensitivity);
  m_bBusy = true;
  ZuvLogEvent(
      ("CSetSense::OnBtnTest() starts with sensitivity " + std::to_string(iSensitivity)).c_str());
  SSenseOutcome oOutcome = Steps(oSettings, oProbe, iSensitivity);
  // Every way out of the steps ends here: the test is never left busy.
  m_iSampleStartMs = -1;
  m_bBusy = false;
  ZuvLogEvent(
      ("CSetSense::OnBtnTest() done: " + std::string(SensePictureName(oOutcome.m_ePicture)) +
       (oOutcome.m_sFailedItem.empty() ? "" : ", failed item " + oOutcome.m_sFailedItem))
          .c_str());
  return oOutcome;
}

SSenseOutcome CSenseTest::Steps(const SSenseSettings& oSettings, ISenseProbe& oProbe,
                                int iSensitivity) {
  SSenseOutcome oFail{ESensePicture::kFail, ""};
  oProbe.RecreateWatcher();
  if (!oProbe.LoadProcessKeys(oFail.m_sFailedItem)) return oFail;
  if (oSettings.m_bUseIis) oProbe.LoadUrlWatches();
  std::string sFailedItem;
  const bool bLocalPassed = oProbe.TestLocalUrls(sFailedItem);
  if (!bLocalPassed || !sFailedItem.empty()) {
    oFail.m_sFailedItem = sFailedItem;
    return oFail;
  }
  if (oProbe.TestRemoteUrls(sFailedItem) == REMOTE_SOME_FAILED) {
    oFail.m_sFailedItem = sFailedItem;
    return oFail;
  }
  m_iSampleStartMs = GetClock().GetMonotonicMs();
  const SSenseOutcome oPass{ESensePicture::kPass, "", true};
  if (oProbe.Sample(SenseSamplePeriod(iSensitivity), SenseSampleSeconds(iSensitivity))) {
    return oPass;
  }
  // Only URLs are watched and they all answered: nothing failed.
  if (oProbe.GetProcessKeyCount() == 0 && bLocalPassed && sFailedItem.empty()) return oPass;
  oFail.m_sFailedItem = FailedItemFromPath(oProbe.GetFirstFailure());
  oFail.m_bSampled = true;
  return oFail;
}

SSenseProgress CSenseTest::GetProgress() const {
  SSenseProgress oProgress;
  oProgress.m_bBusy = m_bBusy;
  oProgress.m_iTotalSeconds = m_iTotalSeconds;
  const int64_t iStart = m_iSampleStartMs;
  if (oProgress.m_bBusy && iStart >= 0) {
    oProgress.m_bSampling = true;
    const int64_t iElapsed = (GetClock().GetMonotonicMs() - iStart) / 1000;
    oProgress.m_iElapsedSeconds =
        static_cast<int>(std::clamp<int64_t>(iElapsed, 0, oProgress.m_iTotalSeconds));
  }
  return oProgress;
}

}  // namespace wdx
