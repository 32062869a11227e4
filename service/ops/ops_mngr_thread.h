// COpsMngrThread: the service's one worker thread. It is created suspended by its owner
// (CThreadOwner), resumed, initialises its members (warden, item manager, process watch, alert
// clients), reports that through the owner's m_bOpsMngrThreadInitialized, then idles on the
// owner's command event until it is commanded into GO mode or the terminate flag is set. GO mode
// runs a test cycle every MinuteInterval minutes: local URLs, the watched programs' activity,
// remote URLs, then the decision, the alerts, the restart or the reboot.
//
// Threading: Resume() and Join() are called by the owner's thread; everything else runs on the
// worker thread. The pending command and the phone readiness bytes are atomics written by the
// command interface; every other member belongs to the worker.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "service/alerts/alert_clients.h"
#include "service/ops/item_manager.h"
#include "service/ops/metrics_file.h"
#include "service/ops/url_check.h"
#include "service/restart/warden.h"

namespace wdx {

class CAllSets;
class CThreadOwner;
class CWManager;

inline constexpr int REMOTE_NONE = 100;
inline constexpr int REMOTE_ALL_ALIVE = 101;
inline constexpr int REMOTE_SOME_FAILED = 102;

// Registry store values of the worker.
// WDX_AUTORUN_KEY and WDX_AUTORUN_VALUE: see warden.h, whose ReBoot sets the value.
// "1" while GO mode is on: set when it starts, "0" when STOP (or TEST) ends it. A service stop
// or crash leaves it, so that the next start of the service enters GO mode again.
inline constexpr const char* WDX_GOACTIVE_VALUE = "GoActive";
inline constexpr const char* WDX_ERRORMODE_KEY =
    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Windows";
inline constexpr const char* WDX_ERRORMODE_VALUE = "ErrorMode";

class COpsMngrThread final {
 public:
  COpsMngrThread();
  ~COpsMngrThread();
  COpsMngrThread(const COpsMngrThread&) = delete;
  COpsMngrThread& operator=(const COpsMngrThread&) = delete;

  // Starts the thread (it runs InitInstance); no-op while it runs.
  bool Resume();
  // Waits for the thread's end; detaches a thread that still runs after the owner gave up on
  // it, so that shutdown can go on.
  void Join(bool bDetachIfRunning);

  // Refreshes the four phone readiness bytes from the phone client; false when it cannot.
  bool GetPhoneReadyState();

  CThreadOwner* m_pOwner = nullptr;
  std::atomic<int> m_iPendingCommand{0};
  std::array<std::atomic<uint8_t>, 4> m_aPhoneReady{};
  std::atomic<bool> m_bCreatedNotResumed{false};

 private:
  // Thread life (ops_mngr_thread.cc).
  bool InitInstance();
  bool ExitInstance();
  bool Initialize();
  bool LowLevelInit();
  void KeepAlive();
  void AutoStart();
  void CancelAutoStart();
  bool ValidateRequireds(bool bShowBox);
  bool LocateBrowser();
  bool ReadPopupDisableState();
  bool ApplyPopupState();
  bool LoadProcPerfs();
  bool LoadAutoRunStatus();
  // True when "GoActive" is on (then logs that GO mode is entered again).
  bool LoadGoActiveStatus();
  void RecordGoActive(bool bOn);
  void ResumeGo();
  bool LoadItems();
  void SetCurrentAction(const std::string& sAction, const std::string& sObject);
  bool SendEmails(bool bDown);
  void ShowBox(const char* szText);

  // Settings (ops_settings.cc): one item per list line and the restart item; the fresh read of
  // the settings file at the start of GO mode, which keeps what was seen of the items that stay.
  bool AddItemsFromSettings();
  bool ReadSettingsAfresh();

  // GO mode (ops_go_loop.cc).
  void Go();
  bool PrepareGo();
  void RunCycle(bool& bFailureSeen, int& iRestarts, bool& bLeave);
  bool LocalOk(bool& bFailureSeen);
  void CyclePassed(int iPrevious);
  bool CycleFailed(int iPrevious, int& iRestarts);
  void MarkFailedProgram();
  void ShowAlertWarnings();
  void LeaveGo(bool bFailureSeen);
  bool GoContinues() const;

  // The metrics file (ops_metrics.cc): rewritten when a cycle ends and when GO mode ends.
  void WriteMetrics(bool bCycleEnded);

  // URL passes and the built-in restart (url_passes.cc).
  bool RunUrls();
  bool HandleRemoteUrls(bool bSendAlerts);
  bool RunNextRemoteUrl(const std::string& sUrl);
  void ReportRemoteChange(bool bFailed, const std::string& sUrl);
  bool DoRestarter();
  void KillWatchedPrograms();
  void ResetWebServer();
  void StartPrograms();
  bool VerifyRestart(int64_t iStartSeconds);
  bool IsStopCommand() const { return m_iPendingCommand == 1003; }
  // STOP was commanded or the service is ending: no test, restart or wait goes on.
  bool IsStopping() const;
  // One URL test that gives up when IsStopping() and within the UrlTimeout setting.
  EUrlTest TestOneUrl(const std::string& sUrl);
  // True (and logged) when the test was cut short by STOP or shutdown, which is no verdict on
  // the URL.
  bool TestAbandoned(EUrlTest eTest, const std::string& sUrl);
  // Ends the cycle before its next step when IsStopping(); true when it did.
  bool CycleEnds(bool& bLeave);

  CInsurer m_oInsurer;
  CItemManager m_oItems;
  CWarden m_oWarden;
  CPhoner m_oPhoner;
  CEmailer m_oEmailer;
  std::unique_ptr<CWManager> m_pWatcher;

  CAllSets* m_pSettings = nullptr;
  bool m_bPopupFlag = false;
  int m_iRemoteStatus = REMOTE_NONE;
  bool m_bRestartVerified = false;
  bool m_bLocalUrlsAlive = true;
  bool m_bAutoStartPending = false;
  bool m_bTestAbandoned = false;  // a URL test of this cycle was cut short by STOP or shutdown
  bool m_bResumeGoPending = false;
  std::string m_sLastFailedUrl;
  CMetricsFile m_oMetrics;
  int64_t m_iRestartsDone = 0;  // since the service started
  int64_t m_iRebootsDone = 0;
  std::chrono::steady_clock::time_point m_oCycleStart;
  double m_dLastCycleEnd = 0;  // unix seconds, 0 before the first cycle ended
  double m_dLastCycleSeconds = 0;
  std::thread m_oThread;
};

}  // namespace wdx
