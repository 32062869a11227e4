#include "console/sense/sense_runner.h"

#include <algorithm>

#include "console/sense/sense_params.h"

namespace wdx {

CSenseRunner::~CSenseRunner() {
  Shutdown();
}

ESenseStart CSenseRunner::Start(int iSensitivity, std::string& sMessage) {
  std::unique_lock oLock(m_oMutex);
  if (m_bBusy || m_bShutDown) {
    sMessage = "A test is running: it cannot be stopped, wait for its end.";
    return ESenseStart::kBusy;
  }
  // The probe is made and asked for refusals under the lock: two starts at once see one test.
  SSenseProbeLoad oLoad = m_fnMakeProbe();
  if (!oLoad.m_pProbe) {
    sMessage = oLoad.m_sError;
    return ESenseStart::kNoSettings;
  }
  sMessage = CSenseTest::Refuse(oLoad.m_oSettings, *oLoad.m_pProbe);
  if (!sMessage.empty()) return ESenseStart::kRefused;
  if (m_oWorker.joinable()) m_oWorker.join();  // the last test has ended: only its thread is left
  m_bBusy = true;
  m_oLast = SSenseOutcome{ESensePicture::kComputing, ""};
  m_iTestedSensitivity = std::clamp(iSensitivity, SENSE_MIN, SENSE_MAX);
  m_oWorker = std::thread(&CSenseRunner::Work, this, std::move(oLoad.m_pProbe),
                          std::move(oLoad.m_oSettings), m_iTestedSensitivity);
  return ESenseStart::kStarted;
}

void CSenseRunner::Work(std::unique_ptr<ISenseProbe> pProbe, SSenseSettings oSettings,
                        int iSensitivity) {
  SSenseOutcome oOutcome = m_oTest.Run(oSettings, *pProbe, iSensitivity);
  pProbe.reset();  // the watcher component is released on the thread that used it
  std::lock_guard oLock(m_oMutex);
  m_oLast = std::move(oOutcome);
  m_bBusy = false;
}

SSenseState CSenseRunner::GetState() const {
  SSenseState oState;
  std::lock_guard oLock(m_oMutex);
  oState.m_oProgress = m_oTest.GetProgress();
  oState.m_oProgress.m_bBusy = m_bBusy;
  oState.m_ePicture = m_oLast.m_ePicture;
  oState.m_sFailedItem = m_oLast.m_sFailedItem;
  oState.m_iTestedSensitivity = m_iTestedSensitivity;
  if (m_iTestedSensitivity >= 0) {
    oState.m_oProgress.m_iTotalSeconds = SenseSampleSeconds(m_iTestedSensitivity);
  }
  if (!m_bBusy) {
    oState.m_oProgress.m_bSampling = false;
    oState.m_oProgress.m_iElapsedSeconds = 0;
  }
  return oState;
}

bool CSenseRunner::IsBusy() const {
  std::lock_guard oLock(m_oMutex);
  return m_bBusy;
}

void CSenseRunner::Shutdown() {
  std::thread oWorker;
  {
    std::lock_guard oLock(m_oMutex);
    m_bShutDown = true;
    oWorker = std::move(m_oWorker);
  }
  if (oWorker.joinable()) oWorker.join();
}

}  // namespace wdx
