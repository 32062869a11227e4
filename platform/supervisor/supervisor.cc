#include "platform/supervisor/supervisor.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/restart_policy.h"
#include "platform/supervisor/supervisor_log.h"
#include "platform/system_log.h"

namespace wdx {
namespace {

constexpr int RESTART_DELAY_MS = 1000;
constexpr int MAX_RESTARTS = 5;
constexpr int RESTART_WINDOW_MS = 60000;
// Wake-up interval while waiting, in case a child's end was not signalled.
constexpr int WAIT_SLICE_MS = 1000;
// A service left by a killed supervisor gets this long to stop after SIGTERM (it bounds its
// own shutdown below that), then SIGKILL.
constexpr int64_t ORPHAN_STOP_MS = 130000;
constexpr int ORPHAN_POLL_MS = 20;

sigset_t WatchedSignals(bool bWithChild) {
  sigset_t oSet;
  sigemptyset(&oSet);
  sigaddset(&oSet, SIGTERM);
  sigaddset(&oSet, SIGINT);
  sigaddset(&oSet, SIGHUP);
  if (bWithChild) sigaddset(&oSet, SIGCHLD);
  return oSet;
}

// The next watched signal within iMs; 0 when none came.
int WaitForSignal(const sigset_t& oSet, int iMs) {
  timespec oWait = {iMs / 1000, (iMs % 1000) * 1'000'000L};
  int iSignal = sigtimedwait(&oSet, nullptr, &oWait);
  return iSignal > 0 ? iSignal : 0;
}

}  // namespace

void CSupervisor::Log(const std::string& sText, bool bError) {
  m_oLog.Write(sText, bError);
}

bool CSupervisor::ReplaceOrphan() {
  const int iPid = m_oPidFile.GetStaleServicePid();
  if (!IsServiceOf(iPid, m_sProgram, FolderOf(m_oPidFile.GetPath()))) return true;
  // Its end could not be told from a crash by anyone but its own parent: a fresh one replaces it.
  Log("the service (process " + std::to_string(iPid) +
          ") runs without its supervisor; it is stopped and started again.",
      false);
  SignalProcess(iPid, SIGTERM);
  int64_t iEnd = GetClock().GetMonotonicMs() + ORPHAN_STOP_MS;
  while (IsProcessAlive(iPid)) {
    if (GetClock().GetMonotonicMs() >= iEnd) {
      Log("the service (process " + std::to_string(iPid) + ") did not stop; it is killed.", true);
      SignalProcess(iPid, SIGKILL);
      iEnd = GetClock().GetMonotonicMs() + ORPHAN_STOP_MS;
    }
    if (StopRequestedWithin(ORPHAN_POLL_MS)) return false;
  }
  return true;
}

void CSupervisor::RecordService(int iPid, bool bStopping) {
  SPidFileContent oContent;
  oContent.m_iSupervisorPid = getpid();
  oContent.m_iServicePid = iPid;
  oContent.m_bStopping = bStopping;
  if (!m_oPidFile.Update(oContent)) Log(m_oPidFile.GetLastError(), true);
}

CSupervisor::EOutcome CSupervisor::WaitForServiceOrStop(int iPid, int& iExitCode) {
  const sigset_t oSet = WatchedSignals(true);
  for (;;) {
    int iSignal = WaitForSignal(oSet, WAIT_SLICE_MS);
    if (iSignal != 0 && iSignal != SIGCHLD) return EOutcome::STOP_REQUESTED;
    if (ReapChild(iPid, false, iExitCode)) return EOutcome::EXITED;
  }
}

void CSupervisor::StopService(int iPid) {
  RecordService(iPid, true);
  SignalProcess(iPid, SIGTERM);
  int iExitCode = 0;
  ReapChild(iPid, true, iExitCode);
  Log("the service stopped with code " + std::to_string(iExitCode) + ".", false);
}

bool CSupervisor::StopRequestedWithin(int iMs) {
  const sigset_t oSet = WatchedSignals(false);
  const int64_t iEnd = GetClock().GetMonotonicMs() + iMs;
  for (;;) {
    int64_t iLeft = iEnd - GetClock().GetMonotonicMs();
    if (iLeft <= 0) return false;
    if (WaitForSignal(oSet, static_cast<int>(iLeft)) != 0) return true;
  }
}

void CSupervisor::ReportReady() {
  if (!m_oReady.IsValid()) return;
  const char cReady = 'R';
  while (write(m_oReady.Get(), &cReady, 1) < 0 && errno == EINTR) {
  }
  m_oReady.Reset();  // a starter that has gone is no failure
}

int CSupervisor::Run() {
  if (!ReplaceOrphan()) return 0;
  CRestartPolicy oPolicy(MAX_RESTARTS, ScaleInterval(RESTART_WINDOW_MS));
  for (bool bFirst = true;; bFirst = false) {
    int iPid = -1;
    int iExitCode = -1;
    if (!SpawnChild({m_sProgram}, iPid) && bFirst) {
      Log("cannot start " + m_sProgram + "; giving up.", true);
      m_oPidFile.Remove();  // before the starter hears of the end
      m_oReady.Reset();
      return 1;
    }
    if (iPid > 0) {
      RecordService(iPid, false);
      ReportReady();
      if (WaitForServiceOrStop(iPid, iExitCode) == EOutcome::STOP_REQUESTED) {
        StopService(iPid);
        return 0;
      }
      if (iExitCode == 0) {
        Log("the service ended.", false);
        return 0;
      }
      RecordService(0, false);
      Log("the service failed with code " + std::to_string(iExitCode) + ".", true);
    } else {
      Log("cannot start " + m_sProgram + ".", true);
    }
    if (!oPolicy.AllowRestart(GetClock().GetMonotonicMs())) {
      Log("the service failed too often; giving up.", true);
      return 1;
    }
    if (StopRequestedWithin(ScaleInterval(RESTART_DELAY_MS))) return 0;
  }
}

// "--ready-fd FD": the descriptor, else -1; false for a bad FD.
bool TakeReadyFd(int& argc, char**& argv, CUniqueFd& oReady) {
  if (argc < 2 || std::strcmp(argv[1], "--ready-fd") != 0) return true;
  if (argc < 3) return false;
  int iFd = -1;
  const char* szEnd = argv[2] + std::strlen(argv[2]);
  auto oResult = std::from_chars(argv[2], szEnd, iFd);
  if (oResult.ec != std::errc() || oResult.ptr != szEnd || iFd <= 2) return false;
  // The service must not inherit it: its end is the starter's only sign.
  if (fcntl(iFd, F_SETFD, FD_CLOEXEC) != 0) return false;
  oReady.Reset(iFd);
  argc -= 2;
  argv += 2;
  return true;
}

int RunSupervisorProgram(int argc, char** argv) {
  CUniqueFd oReady;
  if (!TakeReadyFd(argc, argv, oReady) || argc != 3) {
    std::fprintf(stderr, "usage: wdxsupervisor [--ready-fd FD] PIDFILE PROGRAM\n");
    return 2;
  }
  SystemLogSetService(true);
  signal(SIGPIPE, SIG_IGN);  // a starter that stopped listening; the service starts with SIG_DFL
  // Signals are taken with sigtimedwait; the service child starts with a clean mask.
  const sigset_t oSet = WatchedSignals(true);
  sigprocmask(SIG_BLOCK, &oSet, nullptr);
  setenv("WDX_SUPERVISED", "1", 1);
  // The pid file lies in the program folder, and so does the log.
  CSupervisorLog oLog(FolderOf(argv[1]));
  CSupervisorPidFile oPidFile;
  if (!oPidFile.Create(argv[1], getpid())) {
    oLog.Write(oPidFile.GetLastError(), true);
    return 1;
  }
  CSupervisor oSupervisor(argv[2], oPidFile, oLog, std::move(oReady));
  return oSupervisor.Run();
}

}  // namespace wdx
