// The URL passes of each GO cycle and the built-in soft restart of the operations thread.
#include <signal.h>

#include <string>
#include <vector>

#include "foundation/log_file.h"
#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "platform/clock.h"
#include "platform/command_words.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "service/host/thread_owner.h"
#include "service/ops/ops_mngr_thread.h"
#include "service/ops/url_check.h"
#include "service/procwatch/wmanager.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

constexpr int kLocalUrlPauseMs = 100;
constexpr int kRemoteUrlPauseMs = 10;
constexpr int kAfterProgramMs = 1500;
constexpr int kRegisterWaitsMs[] = {2000, 4000, 6000};
constexpr int kVerifyPauseMs = 5000;
const char* const kWebReset = "webreset";

std::vector<std::string> SectionLines(CRamFileRO* pKeyFile, const char* szSection) {
  std::vector<std::string> oLines;
  if (pKeyFile == nullptr) return oLines;
  for (std::string sLine = pKeyFile->GetFirstLineOfSection(szSection); !sLine.empty();
       sLine = pKeyFile->GetNextLineOfSection()) {
    oLines.push_back(sLine);
  }
  return oLines;
}

// Seconds of service time (WDX_TIME_SCALE makes them pass faster).
int64_t NowSeconds() {
  return GetClock().GetMonotonicMs() * GetTimeScale() / 1000;
}

}  // namespace

bool COpsMngrThread::IsStopping() const {
  return m_pOwner->m_bTerminate || IsStopCommand();
}

EUrlTest COpsMngrThread::TestOneUrl(const std::string& sUrl) {
  return TestUrl(sUrl, m_pSettings->m_iUrlTimeout, [this] { return IsStopping(); });
}

bool COpsMngrThread::TestAbandoned(EUrlTest eTest, const std::string& sUrl) {
  if (eTest != EUrlTest::kAbandoned) return false;
  m_bTestAbandoned = true;
  ZuvLogEvent(("COpsMngrThread: test abandoned on STOP or shutdown: " + sUrl).c_str());
  return true;
}

bool COpsMngrThread::RunUrls() {
  SetCurrentAction("GO MODE: local URLs", ".");
  m_bLocalUrlsAlive = true;
  for (const std::string& sUrl : SectionLines(m_pSettings->m_pKeyFile, "[URLS]")) {
    if (!m_bLocalUrlsAlive) break;
    SetCurrentAction("", sUrl);
    ZuvLogEvent(("COpsMngrThread::RunUrls() testing " + sUrl).c_str());
    const EUrlTest eTest = TestOneUrl(sUrl);
    if (TestAbandoned(eTest, sUrl)) {
      m_bLocalUrlsAlive = false;
      break;
    }
    bool bChanged = false;
    if (eTest == EUrlTest::kPassed) {
      m_oItems.Update(ITEM_LOCAL_URL, sUrl.c_str(), ITEM_UP, bChanged);
      SetCurrentAction("GO MODE: local URL OK", sUrl);
      m_oWarden.Wait(kLocalUrlPauseMs);
      continue;
    }
    m_oItems.Update(ITEM_LOCAL_URL, sUrl.c_str(), ITEM_DOWN, bChanged);
    m_bLocalUrlsAlive = false;
    m_sLastFailedUrl = sUrl;
    if (eTest == EUrlTest::kBadStatus) {
      ZuvLogError(("COpsMngrThread::RunUrls() test failed for: " + sUrl).c_str());
    }
    ZuvLogError(("Failed URL: " + sUrl).c_str());
    ZuvLogError("Is browser in 'Work Off-line' mode?");
    SetCurrentAction("Go MODE: Failed URL", sUrl);
  }
  ZuvLogEvent("COpsMngrThread::RunUrls() testing done");
  if (m_bLocalUrlsAlive) ZuvLogEvent("COpsMngrThread::RunUrls() all LOCAL URLS are alive.");
  return m_bLocalUrlsAlive;
}

bool COpsMngrThread::HandleRemoteUrls(bool bSendAlerts) {
  const std::vector<std::string> oUrls = SectionLines(m_pSettings->m_pKeyFile, "[RURLS]");
  if (oUrls.empty()) {
    m_iRemoteStatus = REMOTE_NONE;
    return true;
  }
  // Each cycle judges the remote URLs afresh: one that answers again clears its failure.
  m_iRemoteStatus = REMOTE_ALL_ALIVE;
  for (const std::string& sUrl : oUrls) {
    const bool bPassed = RunNextRemoteUrl(sUrl);
    if (m_bTestAbandoned) return false;
    bool bChanged = false;
    if (bPassed) {
      SetCurrentAction("Go MODE: Remote URL OK", sUrl);
      m_oItems.Update(ITEM_REMOTE_URL, sUrl.c_str(), ITEM_UP, bChanged);
    } else {
      SetCurrentAction("Go MODE: Failed Remote URL", sUrl);
      m_iRemoteStatus = REMOTE_SOME_FAILED;
      m_oItems.Update(ITEM_REMOTE_URL, sUrl.c_str(), ITEM_DOWN, bChanged);
    }
    if (bChanged && bSendAlerts) ReportRemoteChange(!bPassed, sUrl);
    m_oWarden.Wait(kRemoteUrlPauseMs);
  }
  ZuvLogEvent("COpsMngrThread::HandleRemoteUrls() testing done");
  if (m_iRemoteStatus == REMOTE_ALL_ALIVE) {
    ZuvLogEvent("COpsMngrThread::HandleRemoteUrls() all REMOTE URLS are alive.");
  }
  return false;
}

void COpsMngrThread::ReportRemoteChange(bool bFailed, const std::string& sUrl) {
  if (m_pSettings->m_bEmailEnabled && !m_oEmailer.SendRemoteUrlAlert(bFailed, sUrl)) {
    ZuvLogError("Email alerts are failing.");
    ZuvLogError("Is Internet Connection OK?");
  }
  if (m_pSettings->m_bPhoneAlertsEnabled && m_oPhoner.IsReady()) {
    m_oPhoner.SetMessageType(bFailed ? 1008 : 1007);
    m_oPhoner.SendCustomMessage(
        (bFailed ? "A monitored remote website has failed. The URL is: "
                 : "A monitored remote website has resumed operation. The URL is: ") +
        sUrl);
  }
}

bool COpsMngrThread::RunNextRemoteUrl(const std::string& sUrl) {
  if (sUrl.empty()) return false;
  ZuvLogEvent(("COpsMngrThread::RunNextRemoteUrl() testing " + sUrl).c_str());
  const EUrlTest eTest = TestOneUrl(sUrl);
  if (TestAbandoned(eTest, sUrl)) return false;
  if (eTest == EUrlTest::kPassed) return true;
  m_sLastFailedUrl = sUrl;
  if (eTest == EUrlTest::kBadStatus) {
    ZuvLogError(("COpsMngrThread::RunNextRemoteUrl() test failed for: " + sUrl).c_str());
  }
  ZuvLogError(("Failed Remote URL: " + sUrl).c_str());
  ZuvLogError("Is browser in 'Work Off-line' mode?");
  return false;
}

bool COpsMngrThread::DoRestarter() {
  const int64_t iStart = NowSeconds();
  ZuvLogEvent("COpsMngrThread::DoRestarter() 0.");
  if (!IsStopping()) KillWatchedPrograms();
  ZuvLogEvent("COpsMngrThread::DoRestarter() 1.");
  if (!m_oWarden.m_bIisResetDone && !IsStopping()) ResetWebServer();
  m_bRestartVerified = false;
  if (!IsStopping()) {
    ZuvLogEvent("COpsMngrThread::DoRestarter() 2.");
    m_oWarden.RecreateWatcher();
    ZuvLogEvent("COpsMngrThread::DoRestarter() 3.");
    LoadProcPerfs();
    ZuvLogEvent(m_pWatcher && m_pWatcher->m_bWatchNamesLoaded
                    ? "COpsMngrThread::DoRestarter() Wtc loaded 1."
                    : "COpsMngrThread::DoRestarter() Wtc not yet loaded 1.");
    ZuvLogEvent("COpsMngrThread::DoRestarter() 4.");
    if (!IsStopping()) StartPrograms();
    ZuvLogEvent("COpsMngrThread::DoRestarter() 8.");
    RunUrls();
    ZuvLogEvent("COpsMngrThread::DoRestarter() 9.");
    if (!IsStopping()) m_bRestartVerified = VerifyRestart(iStart);
  }
  if (m_bRestartVerified) {
    const CLogFile* pLog = GetProcessLog();
    const std::string sStamp = pLog != nullptr ? pLog->GetTimeStamp() : "";
    ZuvLogEvent((sStamp + "** Soft Restart completed").c_str());
    return true;
  }
  ZuvLogError("COpsMngrThread::DoRestarter() Soft Restart failed.");
  return false;
}

void COpsMngrThread::KillWatchedPrograms() {
  for (const std::string& sProgram : SectionLines(m_pSettings->m_pKeyFile, "[STOPS]")) {
    if (IsStopping()) return;
    const int iPid = m_pWatcher ? m_pWatcher->GetPidByProgramName(sProgram) : 0;
    // No process id means nothing runs under that name: never signal 0 (our own group).
    if (iPid > 0) {
      SignalProcess(iPid, SIGKILL);
      SignalProcess(iPid, SIGKILL);
    }
    m_oWarden.Wait(kAfterProgramMs);
  }
}

void COpsMngrThread::ResetWebServer() {
  const std::string sScript = m_pOwner->m_sWorkingDirectory + kWebReset;
  if (!GetFileSystem().FileExists(sScript)) {
    ZuvLogError(("COpsMngrThread::DoRestarter() finds no web server reset at " + sScript).c_str());
    return;
  }
  // Waited for without a time limit, but not past a STOP or the service's end: the reset then
  // goes on by itself (it is not cut short halfway) and the launcher reaps it later.
  int iExitCode = -1;
  if (!m_oWarden.GetLauncher().RunHiddenAndWait({sScript}, iExitCode)) {
    if (!IsStopping()) {
      ZuvLogError(("COpsMngrThread::DoRestarter() web server reset failed: " + sScript).c_str());
    }
    return;
  }
  if (iExitCode != 0) {
    ZuvLogError(("COpsMngrThread::DoRestarter() web server reset failed: " + sScript).c_str());
  }
}

void COpsMngrThread::StartPrograms() {
  for (const std::string& sProgram : SectionLines(m_pSettings->m_pKeyFile, "[PROGS]")) {
    if (IsStopping()) return;
    ZuvLogEvent("COpsMngrThread::DoRestarter() 5.");
    std::vector<std::string> oArgs;
    int iPid = 0;
    if (!SplitCommandWords(sProgram, oArgs) || !SpawnDetached(oArgs, iPid)) {
      ZuvLogError(("COpsMngrThread::DoRestarter() cannot start " + sProgram).c_str());
    }
    for (int iWaitMs : kRegisterWaitsMs) {
      if (IsStopping()) break;
      m_oWarden.Wait(iWaitMs);
      ZuvLogEvent("COpsMngrThread::DoRestarter() 5.2");
      if (m_pWatcher && m_pWatcher->RegisterLaunchedProcess(sProgram, iPid)) break;
      ZuvLogEvent("COpsMngrThread::DoRestarter() 5.3");
      ZuvLogMessage("COpsMngrThread::DoRestarter() re-trys to register it..");
    }
    ZuvLogEvent("COpsMngrThread::DoRestarter() 5.3");
    m_oWarden.Wait(kAfterProgramMs);
    ZuvLogEvent("COpsMngrThread::DoRestarter() 5.4");
  }
}

bool COpsMngrThread::VerifyRestart(int64_t iStartSeconds) {
  const int iAllowed = m_pSettings->m_iRestarterSeconds;
  while (!IsStopping()) {
    ZuvLogEvent("COpsMngrThread::DoRestarter() 10.");
    m_oWarden.Wait(kVerifyPauseMs);
    if (IsStopping()) break;
    if (LoadProcPerfs() && m_pWatcher->LWN()) {
      ZuvLogEvent("COpsMngrThread::DoRestarter() 11b.");
      ZuvLogEvent(m_pWatcher->m_bWatchNamesLoaded
                      ? "COpsMngrThread::DoRestarter() Wtc loaded 2."
                      : "COpsMngrThread::DoRestarter() Wtc not yet loaded 2.");
      return true;
    }
    ZuvLogMessage("COpsMngrThread::DoRestarter() re-trys to register URL or process..");
    const int64_t iElapsed = NowSeconds() - iStartSeconds;
    const std::string sError = m_pWatcher ? m_pWatcher->m_sLastError : "";
    ZuvLogEvent(("  " + sError).c_str());
    ZuvLogEvent("\nWe assume it's a slow starter.");
    ZuvLogEvent(("\nWe assume it's a slow starter.Retrying for " +
                 std::to_string(iAllowed - iElapsed) + " more seconds.")
                    .c_str());
    ZuvLogEvent("(controlled by your 'Restarter Seconds' setting)");
    if (iElapsed >= iAllowed) break;
  }
  return false;
}

}  // namespace wdx
