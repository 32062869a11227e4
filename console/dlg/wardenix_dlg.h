// CWardenixDlg: the console's main window without its drawing: start-up (the service installed,
// running and initialised), GO with the wait for the phone component and the wait for GO mode,
// the display loop that follows the service's state and current action, STOP, removing the
// service, closing, the scan interval and "Log Events" boxes, re-publishing the settings and the
// report. What the operator reads goes to an IConsoleOutput (status lines, message boxes); the
// rest of the window (picture, enabled buttons, box values, flags) is kept as an SDlgView.
//
// Threading: the window's algorithms run on one window thread (Start) that owns a message queue:
// Post queues a press from any thread, and every wait of the window thread is a pumping sleep
// that dispatches the queued presses, so Stop and CloseConsole are seen between polls. GetView
// may be called from any thread (the view is copied under a mutex). Without Start, one caller
// thread may drive the algorithms itself (Startup, Dispatch, the command line's GO).
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "console/dlg/main_settings.h"
#include "console/dlg/wdx_commands.h"
#include "platform/registry_store.h"

namespace wdx {

class IConsoleOutput;
class IServiceControl;

enum class EDlgButton {
  GO,
  STOP,
  STOP_SERVICE,
  CLOSE_CONSOLE,
  REPORT,
  MINUTES,          // m_sValue: the text of the box
  LOG_EVENTS,       // m_bOn: the box's new state
  SETTINGS_CLOSED,  // the settings hub was closed
};

struct SDlgPress {
  EDlgButton m_eButton = EDlgButton::GO;
  std::string m_sValue;
  bool m_bOn = false;
};

struct SDlgView {
  int m_iPicture = 1000;  // operations state whose picture is shown (1000..1005)
  bool m_bGoEnabled = true;
  bool m_bStopEnabled = false;
  bool m_bSettingsEnabled = true;  // also Minutes and Log Events
  int m_iMinutes = 10;
  bool m_bLogEvents = false;
  bool m_bUseIni = false;
  bool m_bAutoDetect = false;
  bool m_bGoActive = false;  // the display loop runs
  bool m_bStarted = false;   // start-up is over
  bool m_bClosing = false;   // the window has closed
  int m_iReportsDone = 0;    // reports finished so far (written or failed)
  bool m_bReportRunning = false;
  bool m_bReportOk = false;  // the last finished report was written
};

// What the window works with; each may be replaced by a fake in tests.
struct SDlgSeams {
  // Null result: the command object could not be created.
  std::function<std::unique_ptr<IWdxCommands>()> m_fnCreateCommands;
  std::function<std::unique_ptr<IServiceControl>(IConsoleOutput&)> m_fnCreateServiceControl;
  std::unique_ptr<IMainSettings> m_pSettings;
  std::unique_ptr<IRegistryStore> m_pRegistry;  // holds "AutoRun"
  // The console's warden object: true when it initialised.
  std::function<bool()> m_fnInitWarden;
  // Writes the report parameters and runs the report script; true when the report was written.
  std::function<bool()> m_fnReport;
  // Sleeps iMs; null: real time, cut short by Shutdown.
  std::function<void(int)> m_fnSleepMs;
  // Called on the window thread when the window has closed (not after Shutdown).
  std::function<void()> m_fnOnClosed;
};

// The seams of the real console for the program folder, except m_fnCreateServiceControl.
SDlgSeams CreateDlgSeams(const std::string& sProgramFolder);

// Picture shown for an operations state: its own for 1000..1005, that of 1004 otherwise.
int PictureForState(int iState);

class CWardenixDlg final {
 public:
  CWardenixDlg(IConsoleOutput& oOutput, SDlgSeams oSeams);
  ~CWardenixDlg();
  CWardenixDlg(const CWardenixDlg&) = delete;
  CWardenixDlg& operator=(const CWardenixDlg&) = delete;

  // Starts the window thread: start-up, then presses until the window closes.
  void Start();
  // Queues a press for the window thread. False when the window has closed.
  bool Post(SDlgPress oPress);
  SDlgView GetView() const;
  // Ends the window thread (closing as CloseConsole does) and waits for it, at most iWaitMs
  // when it is stuck in a wait it cannot cut short (the service manager's start, a call to the
  // service): false then, and the thread is left to end by itself; the object must then be
  // kept alive until the process ends.
  bool Shutdown(int iWaitMs = 5000);

  // The algorithms, for a caller that drives the window itself (no Start).
  void Startup();
  // Handles every queued press.
  void DispatchPending();
  void Dispatch(const SDlgPress& oPress);
  // For the command line: reads the settings and connects to the service (starting it when
  // nobody answers) without the service manager. False when it cannot be reached.
  bool ConnectCommands();
  // Initialise the service: true when it runs normally.
  bool InitService();
  // GO's steps 1 to 6: true when the service is in GO mode (or Stop ended the wait).
  bool EnterGo();
  bool IsStopRequested() const { return m_bStopRequested; }
  // Whether the command object answers that GO mode runs.
  bool IsServiceInGoMode();

 private:
  enum class EGoWait { ENTERED, STOPPED, CLOSED, TIMED_OUT, FAILED };

  void Run();
  // GO's whole algorithm (button "Go" and the start-up timer).
  void OnGo();
  EGoWait WaitForGo();
  bool WaitForPhone();
  void ReportPhoneParts();
  void DisplayLoop();
  void FinishGo();
  void OnStop();
  void PerformStop();
  void OnStopService();
  void OnCloseConsole();
  void OnReport();
  void OnMinutes(const std::string& sValue);
  void OnLogEvents(bool bOn);
  void OnSettingsClosed();
  void EnsureServiceAndCommands();
  void RefreshStatusList();
  void UpdatePicture();
  void AddLine(const std::string& sLine);
  void SetIdleButtons(bool bIdle);
  void PumpingSleep(int iMs);
  void SleepMs(int iMs);
  bool Ask(int iCommand, int& iResult);
  void ReloadSettings(bool bReportInvalid);
  void SetAutoRun(const char* szValue);
  bool ReadAutoRun();
  template <typename Fn>
  void ChangeView(Fn fnChange) {
    std::lock_guard<std::mutex> oLock(m_oViewMutex);
    fnChange(m_oView);
  }

  IConsoleOutput& m_oOutput;
  SDlgSeams m_oSeams;
  std::unique_ptr<IWdxCommands> m_pCommands;
  std::unique_ptr<IServiceControl> m_pServiceControl;

  // Window flags: the window thread's own.
  bool m_bInitialized = false;
  bool m_bGoActive = false;
  bool m_bStopRequested = false;
  bool m_bServiceInGo = false;
  bool m_bAutoRun = false;
  bool m_bPhoneEnabled = false;
  bool m_bTimedOut = false;  // the last GO gave up waiting for GO mode
  bool m_bInGo = false;      // OnGo is under way (presses of Go are ignored)
  std::string m_sLastLine;
  std::atomic<bool> m_bCloseRequested{false};

  mutable std::mutex m_oViewMutex;
  SDlgView m_oView;

  std::mutex m_oQueueMutex;
  std::condition_variable m_oQueueCv;
  std::deque<SDlgPress> m_oQueue;
  std::atomic<bool> m_bQuit{false};
  bool m_bThreadDone = false;  // guarded by m_oQueueMutex
  std::thread m_oThread;
  std::thread m_oReportThread;
};

}  // namespace wdx
