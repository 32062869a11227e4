// CWarden: the member of the operations thread that acts on the machine: the interruptible
// Wait of the GO loop, the restart program's DETECT and RESTARTER sections, the watcher client
// that tests the watched programs' activity, the reboot, the heartbeat file and the component
// registration. Here it carries the Wait and the values the GO loop reads; the restart program,
// the watcher client and the reboot are not loaded, so DETECT fails (as with no restart program),
// no program is watched, and no reboot can be made.
//
// Threading: used by the operations thread only; Wait reads the pending command that the command
// interface writes.
#pragma once

#include <atomic>
#include <string>

namespace wdx {

class CAllSets;
class CThreadOwner;

inline constexpr int WDX_WAIT_SLICE_MS = 2000;

class CWarden final {
 public:
  CWarden() = default;
  CWarden(const CWarden&) = delete;
  CWarden& operator=(const CWarden&) = delete;

  bool Initialize(const std::string& sWorkingDirectory, CThreadOwner* pShared);
  void Release();

  // Sleeps iMilliseconds in slices of 2000 ms (one slice when shorter) and returns after the
  // slice in which the command became STOP.
  void Wait(int iMilliseconds);

  bool RunIniDetect(std::atomic<int>& iOpsState, std::atomic<bool>& bGoFlag);
  void RunRestarter();
  bool ReBoot();
  bool WriteHeartbeatFile();
  bool RegisterObjects();

  // The watcher client: activity test of the watched programs.
  bool XTst();
  bool HasKeys() const { return m_bHasKeys; }
  bool LastTestPassed() const { return m_bLastTestPassed; }
  bool GetFirstFailure(std::string& sCounterPath);
  bool RecreateWatcher();

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
  CThreadOwner* m_pShared = nullptr;
  bool m_bHasKeys = false;
  bool m_bLastTestPassed = true;
};

}  // namespace wdx
