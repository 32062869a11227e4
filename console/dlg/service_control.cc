// The console's service control over the service manager.
//
// Our service managers report a state but neither a check point nor a wait hint. Each wait
// therefore uses a fixed hint that covers what the service may need (starting: the operations
// thread's start-up wait; stopping: the operations thread's end wait, as in the systemd unit),
// and its check point never advances, so a wait gives up once the hint has passed. The
// manager's Stop waits by itself; it is given the whole stop hint.
#include "console/dlg/service_control.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "console/dlg/console_output.h"
#include "foundation/process_log.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/service_manager.h"

namespace wdx {
namespace {

constexpr const char* kTitleCannotContinue = "Cannot continue";
constexpr const char* kTitleRetry = "Please retry in a minute.";
constexpr const char* kTitleConsole = "Wardenix";
constexpr const char* kServiceProgram = "wdxsvc";

class CServiceControl final : public IServiceControl {
 public:
  CServiceControl(std::string sProgramFolder, IConsoleOutput& oOutput,
                  std::unique_ptr<IServiceManager> pManager, FnRunProgram fnRun)
      : m_sFolder(std::move(sProgramFolder)),
        m_oOutput(oOutput),
        m_pManager(std::move(pManager)),
        m_fnRun(std::move(fnRun)) {}
  CServiceControl(const CServiceControl&) = delete;
  CServiceControl& operator=(const CServiceControl&) = delete;

  bool EnsureRunning() override;
  bool Start() override;
  bool Stop() override;
  bool Remove() override;

 private:
  // Opens the manager and finds the service; bInstall: register it when it is missing.
  bool OpenService(bool bInstall);
  // "wdxsvc" of the program folder, else the one beside this program.
  std::string ServiceProgramPath() const;
  void RunRegistration();
  bool StartAndWait();
  bool StopAndWait();
  // Waits while the service is in ePending by the rule above; returns the state it ends in.
  EServiceState WaitWhile(EServiceState ePending, int iWaitHintMs, int64_t iSinceMs);
  void LogNotDone(const char* szHeadline, EServiceState eState, int iWaitHintMs);
  bool DeleteStopped();
  // The message box of a pending state; false when eState is not pending.
  bool ShowPending(EServiceState eState);

  std::string m_sFolder;
  IConsoleOutput& m_oOutput;
  std::unique_ptr<IServiceManager> m_pManager;
  FnRunProgram m_fnRun;
};

// The state numbers of the service manager's status, as the operator's logs show them.
int StateNumber(EServiceState eState) {
  switch (eState) {
    case EServiceState::NOT_INSTALLED:
      return 0;
    case EServiceState::STOPPED:
      return 1;
    case EServiceState::START_PENDING:
      return 2;
    case EServiceState::STOP_PENDING:
      return 3;
    case EServiceState::RUNNING:
      return 4;
  }
  return 0;
}

int WaitSliceMs(int iWaitHintMs) {
  if (iWaitHintMs <= 0) return 1000;
  return std::clamp(iWaitHintMs / 10, 1000, 10000);
}

void LogText(bool bError, const std::string& sText) {
  if (bError) {
    ZuvLogError(sText.c_str());
  } else {
    ZuvLogMessage(sText.c_str());
  }
}

bool CServiceControl::OpenService(bool bInstall) {
  if (m_pManager == nullptr) {
    m_oOutput.MessageBox(kTitleCannotContinue,
                         "Can't open SCM. Log on as an Administrator and retry.");
    return false;
  }
  if (!m_pManager->IsInstalled() && bInstall) RunRegistration();
  if (m_pManager->IsInstalled()) return true;
  m_oOutput.MessageBox(kTitleCannotContinue, "Unable to find or start WdxSvc.exe");
  return false;
}

std::string CServiceControl::ServiceProgramPath() const {
  IFileSystem& oFiles = GetFileSystem();
  const std::string sInFolder = m_sFolder + kServiceProgram;
  if (oFiles.FileExists(sInFolder)) return sInFolder;
  return FolderOf(oFiles.GetExecutablePath()) + kServiceProgram;
}

// Runs "wdxsvc -Service" and waits for it; its own error output tells why it could not
// register the service.
void CServiceControl::RunRegistration() {
  const std::string sProgram = ServiceProgramPath();
  int iExitCode = -1;
  if (!m_fnRun({sProgram, "-Service"}, iExitCode) || iExitCode != 0) {
    ZuvLogError(("Registering the service with \"" + sProgram + " -Service\" failed, exit code " +
                 std::to_string(iExitCode) + ".")
                    .c_str());
  }
}

bool CServiceControl::ShowPending(EServiceState eState) {
  const char* szText = nullptr;
  if (eState == EServiceState::START_PENDING) szText = "WdxSvc is SERVICE_START_PENDING";
  if (eState == EServiceState::STOP_PENDING) szText = "WdxSvc is SERVICE_STOP_PENDING";
  if (szText == nullptr) return false;
  m_oOutput.MessageBox(kTitleRetry, szText);
  return true;
}

bool CServiceControl::EnsureRunning() {
  if (!OpenService(true)) return false;
  // Installing sets the service to start at boot; for an installed service it changes nothing.
  if (m_pManager->Install(ServiceProgramPath())) {
    ZuvLogMessage("ChangeServiceConfig SUCCESS\n");
  } else {
    ZuvLogError("ChangeServiceConfig");
  }
  const EServiceState eState = m_pManager->QueryState();
  if (ShowPending(eState)) return false;
  if (eState != EServiceState::RUNNING && !StartAndWait()) return false;
  ZuvLogMessage("WdxSvc is verified up and running.");
  return true;
}

bool CServiceControl::Start() {
  if (!OpenService(false)) return false;
  const EServiceState eState = m_pManager->QueryState();
  if (ShowPending(eState)) return false;
  return eState == EServiceState::RUNNING || StartAndWait();
}

bool CServiceControl::Stop() {
  if (!OpenService(false)) return false;
  EServiceState eState = m_pManager->QueryState();
  if (eState == EServiceState::STOP_PENDING) {
    eState = WaitWhile(eState, kServiceStopWaitHintMs, GetClock().GetMonotonicMs());
  }
  return eState == EServiceState::STOPPED || StopAndWait();
}

bool CServiceControl::StartAndWait() {
  if (!m_pManager->Start()) {
    ZuvLogError("StartService");
    return false;
  }
  ZuvLogMessage("Service start pending.\n");
  const EServiceState eState =
      WaitWhile(EServiceState::START_PENDING, kServiceStartWaitHintMs, GetClock().GetMonotonicMs());
  if (eState == EServiceState::RUNNING) {
    ZuvLogMessage("StartService SUCCESS.\n");
    return true;
  }
  LogNotDone("Service not started.", eState, kServiceStartWaitHintMs);
  return false;
}

bool CServiceControl::StopAndWait() {
  const int64_t iSinceMs = GetClock().GetMonotonicMs();
  if (!m_pManager->Stop(kServiceStopWaitHintMs) &&
      m_pManager->QueryState() != EServiceState::STOP_PENDING) {
    ZuvLogError("StopWDXService: STOP Service");
    return false;
  }
  const EServiceState eState =
      WaitWhile(EServiceState::STOP_PENDING, kServiceStopWaitHintMs, iSinceMs);
  if (eState == EServiceState::STOPPED) {
    ZuvLogMessage("StopService SUCCESS.\n");
    return true;
  }
  LogNotDone("Service not stopped.", eState, kServiceStopWaitHintMs);
  return false;
}

EServiceState CServiceControl::WaitWhile(EServiceState ePending, int iWaitHintMs,
                                         int64_t iSinceMs) {
  IClock& oClock = GetClock();
  EServiceState eState = m_pManager->QueryState();
  while (eState == ePending) {
    oClock.SleepMs(WaitSliceMs(iWaitHintMs));
    eState = m_pManager->QueryState();
    // No check point to advance: the clock is never restarted.
    if (oClock.GetMonotonicMs() - iSinceMs > iWaitHintMs) break;
  }
  return eState;
}

void CServiceControl::LogNotDone(const char* szHeadline, EServiceState eState, int iWaitHintMs) {
  ZuvLogError(szHeadline);
  const std::pair<const char*, int> aDetails[] = {{"  Current State: ", StateNumber(eState)},
                                                  {"  Exit Code: ", 0},
                                                  {"  Service Specific Exit Code: ", 0},
                                                  {"  Check Point: ", 0},
                                                  {"  Wait Hint: ", iWaitHintMs}};
  for (const auto& [szLabel, iValue] : aDetails) LogText(true, szLabel + std::to_string(iValue));
}

bool CServiceControl::DeleteStopped() {
  if (m_pManager->QueryState() != EServiceState::STOPPED) {
    ZuvLogError("Cannot delete service. Service not stopped.");
    return false;
  }
  if (!m_pManager->Uninstall()) {
    ZuvLogError("Service could not be deleted.");
    return false;
  }
  ZuvLogMessage("DeleteService SUCCESS.\n");
  return true;
}

bool CServiceControl::Remove() {
  if (!OpenService(false)) return false;
  bool bStopped = false;
  bool bDeleted = false;
  EServiceState eState = EServiceState::STOPPED;
  for (int iTry = 0; iTry < kServiceRemoveTries; ++iTry) {
    eState = m_pManager->QueryState();
    if (eState == EServiceState::NOT_INSTALLED) {  // removed by someone else meanwhile
      bStopped = bDeleted = true;
      break;
    }
    if (eState == EServiceState::STOPPED) {
      bStopped = true;
      if (DeleteStopped()) {
        bDeleted = true;
        break;
      }
    } else if (eState == EServiceState::RUNNING) {
      StopAndWait();
    }
    GetClock().SleepMs(kServiceRemovePauseMs);
  }
  if (bStopped) m_oOutput.AddStatusLine("WDXSvc STOPPED.");
  if (bDeleted) {
    m_oOutput.AddStatusLine("WDXSvc also DELETED.");
    m_oOutput.AddStatusLine("Close & restart the console to restart service.");
    ZuvLogMessage("OnBtnStopService succeeded.");
    return true;
  }
  m_oOutput.AddStatusLine("Unable to STOP & DELETE WDXSvc.");
  m_oOutput.AddStatusLine("Try again. It can take minutes.");
  if (!bStopped && !ShowPending(eState)) {
    m_oOutput.MessageBox(kTitleConsole, "Unable to stop WDX Service. Stop it manually.");
  }
  return false;
}

}  // namespace

std::unique_ptr<IServiceControl> CreateServiceControl(const std::string& sProgramFolder,
                                                      IConsoleOutput& oOutput,
                                                      std::unique_ptr<IServiceManager> pManager) {
  if (pManager == nullptr) pManager = CreateServiceManager();
  return CreateServiceControl(sProgramFolder, oOutput, std::move(pManager), RunAndWait);
}

std::unique_ptr<IServiceControl> CreateServiceControl(const std::string& sProgramFolder,
                                                      IConsoleOutput& oOutput,
                                                      std::unique_ptr<IServiceManager> pManager,
                                                      FnRunProgram fnRun) {
  return std::make_unique<CServiceControl>(sProgramFolder, oOutput, std::move(pManager),
                                           std::move(fnRun));
}

}  // namespace wdx
