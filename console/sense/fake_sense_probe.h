// CFakeSenseProbe: an ISenseProbe for unit tests of the sensitivity test. Each answer is set by
// the test; every call is recorded in order, with the sample's arguments. A test may hold the
// sample until it releases it (to look at a running test), or look around inside it.
//
// Threading: the test's thread and the one worker that runs the test; the hold is a latch.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "console/sense/sense_pass.h"

namespace wdx {

class CFakeSenseProbe final : public ISenseProbe {
 public:
  bool HasWatcher() override { return Record("HasWatcher"), m_bHasWatcher; }
  void RecreateWatcher() override { Record("RecreateWatcher"); }
  bool LoadProcessKeys(std::string& sFailure) override {
    Record("LoadProcessKeys");
    sFailure = m_sLoadFailure;
    return m_sLoadFailure.empty();
  }
  void LoadUrlWatches() override { Record("LoadUrlWatches"); }
  bool TestLocalUrls(std::string& sFailedItem) override {
    Record("TestLocalUrls");
    sFailedItem = m_sLocalFailure;
    return m_sLocalFailure.empty();
  }
  int TestRemoteUrls(std::string& sFailedItem) override {
    Record("TestRemoteUrls");
    sFailedItem = m_sRemoteFailure;
    return m_iRemoteState;
  }
  bool Sample(int iPeriodMs, int iSeconds) override {
    Record("Sample");
    m_iPeriodMs = iPeriodMs;
    m_iSeconds = iSeconds;
    if (m_fnDuringSample) m_fnDuringSample();
    std::unique_lock oLock(m_oMutex);
    m_oReleased.wait(oLock, [this] { return !m_bHold; });
    return m_bSamplePasses;
  }
  std::string GetFirstFailure() override { return Record("GetFirstFailure"), m_sFirstFailure; }
  int GetProcessKeyCount() override { return Record("GetProcessKeyCount"), m_iProcessKeys; }

  void Hold() {
    std::lock_guard oLock(m_oMutex);
    m_bHold = true;
  }
  void Release() {
    {
      std::lock_guard oLock(m_oMutex);
      m_bHold = false;
    }
    m_oReleased.notify_all();
  }
  std::vector<std::string> Calls() const {
    std::lock_guard oLock(m_oMutex);
    return m_oCalls;
  }

  bool m_bHasWatcher = true;
  std::string m_sLoadFailure;
  std::string m_sLocalFailure;
  std::string m_sRemoteFailure;
  int m_iRemoteState = 100;
  bool m_bSamplePasses = true;
  std::string m_sFirstFailure;
  int m_iProcessKeys = 1;
  std::function<void()> m_fnDuringSample;
  int m_iPeriodMs = -1;
  int m_iSeconds = -1;

 private:
  void Record(const char* szCall) {
    std::lock_guard oLock(m_oMutex);
    m_oCalls.emplace_back(szCall);
  }

  mutable std::mutex m_oMutex;
  std::condition_variable m_oReleased;
  bool m_bHold = false;
  std::vector<std::string> m_oCalls;
};

}  // namespace wdx
