// CWarden: the member of the operations thread that acts on the machine: the interruptible
// Wait of the GO loop, the restart program's DETECT and RESTARTER sections, the watcher client
// that tests the watched programs' activity, the reboot, the heartbeat file and the component
// registration. The restart program and the reboot are not loaded here, so DETECT fails (as with
// no restart program) and no reboot can be made.
//
// The watcher client owns the performance watcher component (Perfwatch, created by class
// identifier through the component layer): it gives the component the counter keys of the
// watched programs, runs the activity test (sample period 101 - sensitivity ms, sample time
// 10 + trunc(1.2 x sensitivity) s) and names the first counter that showed no activity. Every
// component call counts -1 as success and anything else as failure.
//
// Threading: used by the operations thread only; Wait reads the pending command that the command
// interface writes.
#pragma once

#include <atomic>
#include <string>

#include "components/perfwatch/iwatcher.h"
#include "platform/component.h"

namespace wdx {

class CAllSets;
class CThreadOwner;

// Real time between two looks at the STOP command and the terminate flag during a Wait.
inline constexpr int WDX_WAIT_POLL_MS = 100;

class CWarden final {
 public:
  CWarden() = default;
  CWarden(const CWarden&) = delete;
  CWarden& operator=(const CWarden&) = delete;

  bool Initialize(const std::string& sWorkingDirectory, CThreadOwner* pShared);
  void Release();

  // Sleeps iMilliseconds of service time and returns within WDX_WAIT_POLL_MS once the command
  // is STOP or the service is ending.
  void Wait(int iMilliseconds);

  bool RunIniDetect(std::atomic<int>& iOpsState, std::atomic<bool>& bGoFlag);
  void RunRestarter();
  bool ReBoot();
  bool WriteHeartbeatFile();
  bool RegisterObjects();

  // The watcher client. CPW creates the watcher component (null when it cannot); RecreateWatcher
  // drops the one held (and with it every key) and creates a new one.
  IWatcher* CPW();
  bool RecreateWatcher();
  // Hands an existing watcher to the client (takes a reference of its own); the one held before
  // is dropped. Used where the component is made by the caller, as in tests.
  void UseWatcher(IWatcher* pWatcher);
  IWatcher* GetWatcher() const { return m_pWatcher.Get(); }
  int GetInstanceCount() const { return m_iInstanceCount; }
  bool AddKey(const std::string& sCounterPath);
  // The activity test: true when every key showed activity within the sample time.
  bool XTst();
  bool HasKeys() const { return m_bHasKeys; }
  bool LastTestPassed() const { return m_bLastTestPassed; }
  // The counter path of the first key without activity ("" when none or no watcher).
  bool GetFirstFailure(std::string& sCounterPath);

  static int SamplePeriodFor(int iSensitivity) { return 101 - iSensitivity; }
  static int SampleSecondsFor(int iSensitivity) {
    return 10 + static_cast<int>(1.2 * static_cast<double>(iSensitivity));
  }

  CAllSets* m_pSettings = nullptr;
  std::string m_sUserName;
  std::string m_sPassword;
  std::string m_sDomainName;
  std::string m_sBrowserPath;
  std::string m_sBaseDirectory;
  int m_iSensitivity = 5;
  bool m_bIisResetDone = false;
  bool m_bProgramLoaded = false;

 private:
  void DropWatcher();

  CThreadOwner* m_pShared = nullptr;
  CInterfacePtr<IWatcher> m_pWatcher;
  int m_iInstanceCount = 0;
  bool m_bHasKeys = false;
  bool m_bLastTestPassed = true;
};

}  // namespace wdx
