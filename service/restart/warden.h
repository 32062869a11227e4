// CWarden: the member of the operations thread that acts on the machine.
//
// - The restart program (warden_program.cc; its instructions in warden_perform.cc):
//   Wardenix.ini in the working directory, loaded once at Initialize into a list of
//   CInstruction objects; its DETECT section runs at the top of each GO cycle, its RESTARTER
//   section after a failed cycle. Also the interruptible Wait of the GO loop. Processes are
//   started through CProcessLauncher (process_launch.h).
// - Initialisation and release (warden.cc), which load and drop the restart program.
// - The machine duties (warden_machine.cc): privileges, the auto-logon values, the reboot and
//   the AutoRun value that brings GO mode back after it, the registration of the components,
//   the uninstall icon value and the heartbeat file.
// - The watcher client (warden_watcher.cc): it owns the performance watcher component (Perfwatch,
//   created by class identifier through the component layer), gives it the counter keys of the
//   watched programs, runs the activity test (sample period 101 - sensitivity ms, sample time
//   10 + trunc(1.2 x sensitivity) s) and names the first counter that showed no activity. Every
//   component call counts -1 as success and anything else as failure.
//
// Threading: used by the operations thread only; Wait reads the pending command and WaitForFile
// the go flag, which the command interface writes.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "components/perfwatch/iwatcher.h"
#include "foundation/ini_file.h"
#include "platform/component.h"
#include "service/restart/process_launch.h"

namespace wdx {

class CAllSets;
class CInstruction;
class CThreadOwner;

// Real time between two looks at the STOP command and the terminate flag during a Wait.
inline constexpr int WDX_WAIT_POLL_MS = 100;
// Room in the instruction list; further instructions are dropped.
inline constexpr int WDX_MAX_INSTRUCTIONS = 4096;

// Registry store keys and values of the machine duties. "AutoRun" = "1" (any case) makes the
// operations thread enter GO mode by itself when the service starts.
inline constexpr const char* WDX_AUTORUN_KEY = "HKLM\\SOFTWARE\\Zuvanta\\Wardenix";
inline constexpr const char* WDX_AUTORUN_VALUE = "AutoRun";
inline constexpr const char* WDX_WINLOGON_KEY =
    "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
inline constexpr const char* WDX_UNINSTALL_KEY =
    "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Wardenix";
// The shortcut files that start the console at logon, relative to the program folder: the one
// made at installation, and the user's Startup copy below "Documents and Settings/USER/".
inline constexpr const char* WDX_DESKTOP_SHORTCUT =
    "Documents and Settings/All Users/Desktop/Wardenix.lnk";
inline constexpr const char* WDX_SHORTCUT_NAME = "Wardenix.lnk";

class CWarden final {
 public:
  CWarden();
  ~CWarden();
  CWarden(const CWarden&) = delete;
  CWarden& operator=(const CWarden&) = delete;

  // Life (warden.cc) and machine duties (warden_machine.cc).
  // True only when the restart program was loaded.
  bool Initialize(const std::string& sWorkingDirectory, CThreadOwner* pShared);
  void Release();
  bool SetDebugPrivilidge();
  void DisableAutoLogon();
  bool ReBoot();
  bool SetAutoRunStatus(bool bOn);
  bool LoadUninstallIconKey();
  bool RegisterObjects();
  bool RegisterAtlObject(const std::string& sLibrary, const std::string& sProgId);
  bool WriteHeartbeatFile();
  // The Startup copy of the shortcut for m_sUserName, made from the desktop one when missing
  // (also the console's "Auto Start" option).
  bool PlaceStartupShortcut();

  // The restart program (warden_program.cc). SetProgramFile points the reader at the file that
  // LoadFromIniFile reads (Initialize: base directory + "Wardenix.ini").
  bool SetProgramFile(const std::string& sPath);
  bool LoadFromIniFile();
  bool AddInstruction();
  bool PerformInstruction();
  bool RunIniDetect(std::atomic<int>& iOpsState, std::atomic<bool>& bGoFlag);
  bool RunRestarter();
  int GetInstructionCount() const { return static_cast<int>(m_oInstructions.size()); }
  CInstruction* GetInstruction(int iIndex) const;
  // Makes the instruction at iIndex the current one (nullptr when there is none).
  void SetCurrentInstruction(int iIndex) { m_pCurrent = GetInstruction(iIndex); }
  // The owner's shared state without the rest of Initialize (tests of the restart program).
  void AttachShared(CThreadOwner* pShared) { m_pShared = pShared; }
  CProcessLauncher& GetLauncher() { return m_oLauncher; }
  // Sleeps iMilliseconds of service time in slices; returns after the slice in which the command
  // became STOP or the service began to end.
  void Wait(int iMilliseconds);

  // The watcher client (warden_watcher.cc). CPW creates the watcher component (null when it
  // cannot); RecreateWatcher drops the one held (and with it every key) and creates a new one.
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
  std::string m_sUserName = "Administrator";
  std::string m_sPassword = "plomtu";
  std::string m_sDomainName;
  std::string m_sBrowserPath;
  std::string m_sBaseDirectory;  // ends with "/"
  int m_iSensitivity = 5;
  int m_iRetryCount = 2;
  int m_iMaxWait = 300;  // seconds
  int m_iLanguageCode = 100;  // of the folder names; the service's settings give 100
  // While this file exists no component is registered (a developer's machine).
  std::string m_sDevelMarkerPath = "/ZuvDevel.txt";
  // The registration tool; "" for the wdxregsvr beside the running program.
  std::string m_sRegsvrProgram;
  // The folder of the component libraries, ending with "/"; "" for the running program's folder
  // (which differs from the base directory when WDX_HOME names the program folder).
  std::string m_sProgramsDirectory;
  bool m_bIisResetDone = false;
  bool m_bProgramLoaded = false;

 private:
  void DropWatcher();
  // True once the command is STOP or the service is ending.
  bool IsStopping() const;
  bool RunSection(bool bDetect);
  // One key and value of Wardenix.ini; false when the loading must stop.
  bool LoadKey(const std::string& sKey, const std::string& sValue);
  bool SetUpDetector(const std::string& sValue);
  bool PerformKeyword(CInstruction& oInstruction);
  bool StartAndComplete(const std::string& sValue);
  bool WaitForFile(const std::string& sValue);
  void StartUrl(const std::string& sUrl);
  std::string GetBrowser() const;

  CThreadOwner* m_pShared = nullptr;
  std::atomic<bool>* m_pGoFlag = nullptr;  // the owner's go flag, known from RunIniDetect on
  CIniFile m_oIniFile;
  std::vector<std::unique_ptr<CInstruction>> m_oInstructions;
  CInstruction* m_pCurrent = nullptr;
  CProcessLauncher m_oLauncher;
  CInterfacePtr<IWatcher> m_pWatcher;
  int m_iInstanceCount = 0;
  bool m_bHasKeys = false;
  bool m_bLastTestPassed = true;
};

}  // namespace wdx
