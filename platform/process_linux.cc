// Processes on Linux: fork/exec for detached programs, posix_spawn for children that the
// caller waits for, kill and /proc for liveness, sigtimedwait for the stop signals.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/platform_log.h"
#include "platform/process.h"
#include "platform/unique_fd.h"

extern char** environ;

namespace wdx {
namespace {

// What the helper processes of SpawnDetached tell the caller through the report pipe.
struct SSpawnReport {
  enum EKind : int { PID = 1, ERROR = 2 };
  int m_iKind = 0;
  int m_iValue = 0;
};

// Built before fork: the children must not allocate.
std::vector<char*> MakeArgv(const std::vector<std::string>& oArgs) {
  std::vector<char*> oArgv;
  oArgv.reserve(oArgs.size() + 1);
  for (const auto& sArg : oArgs) oArgv.push_back(const_cast<char*>(sArg.c_str()));
  oArgv.push_back(nullptr);
  return oArgv;
}

// The following run between fork and exec and use async-signal-safe calls only.
void Report(int iFd, int iKind, int iValue) {
  SSpawnReport oReport;
  oReport.m_iKind = iKind;
  oReport.m_iValue = iValue;
  ssize_t iIgnored = write(iFd, &oReport, sizeof(oReport));
  (void)iIgnored;
}

void ResetSignals() {
  sigset_t oNone;
  sigemptyset(&oNone);
  sigprocmask(SIG_SETMASK, &oNone, nullptr);
  struct sigaction oDefault;
  std::memset(&oDefault, 0, sizeof(oDefault));
  oDefault.sa_handler = SIG_DFL;
  for (int iSignal = 1; iSignal < NSIG; ++iSignal) {
    if (iSignal != SIGKILL && iSignal != SIGSTOP) sigaction(iSignal, &oDefault, nullptr);
  }
}

void CloseFrom(unsigned int iFirst, unsigned int iLast) {
  if (iFirst > iLast) return;
  if (close_range(iFirst, iLast, 0) == 0) return;
  unsigned int iCap = iLast == UINT_MAX ? 65536u : iLast;
  for (unsigned int iFd = iFirst; iFd <= iCap; ++iFd) close(static_cast<int>(iFd));
}

// Closes every descriptor from 3 up except iKeepA and iKeepB (-1: none).
void CloseAllBut(int iKeepA, int iKeepB) {
  const int iLow = iKeepA < iKeepB ? iKeepA : iKeepB;
  const int iHigh = iKeepA < iKeepB ? iKeepB : iKeepA;
  unsigned int iNext = 3;
  for (int iKeep : {iLow, iHigh}) {
    if (iKeep < 3) continue;
    CloseFrom(iNext, static_cast<unsigned int>(iKeep) - 1);
    iNext = static_cast<unsigned int>(iKeep) + 1;
  }
  CloseFrom(iNext, UINT_MAX);
}

[[noreturn]] void RunGrandchild(char* const* pArgv, int iReportFd, int iInheritFd) {
  ResetSignals();
  int iKeep = fcntl(iReportFd, F_DUPFD_CLOEXEC, 3);
  if (iKeep < 0) _exit(127);
  if (iInheritFd >= 0 && fcntl(iInheritFd, F_SETFD, 0) != 0) {
    Report(iKeep, SSpawnReport::ERROR, errno);
    _exit(127);
  }
  CloseAllBut(iKeep, iInheritFd);
  int iNull = open("/dev/null", O_RDWR);
  if (iNull < 0) {
    Report(iKeep, SSpawnReport::ERROR, errno);
    _exit(127);
  }
  for (int iStd = 0; iStd < 3; ++iStd) {
    if (iNull != iStd) dup2(iNull, iStd);
  }
  if (iNull > 2) close(iNull);
  execv(pArgv[0], pArgv);
  Report(iKeep, SSpawnReport::ERROR, errno);
  _exit(127);
}

[[noreturn]] void RunIntermediate(char* const* pArgv, int iReportFd, int iInheritFd) {
  if (setsid() < 0) {
    Report(iReportFd, SSpawnReport::ERROR, errno);
    _exit(1);
  }
  pid_t iGrandchild = fork();
  if (iGrandchild < 0) {
    Report(iReportFd, SSpawnReport::ERROR, errno);
    _exit(1);
  }
  if (iGrandchild == 0) RunGrandchild(pArgv, iReportFd, iInheritFd);
  Report(iReportFd, SSpawnReport::PID, iGrandchild);
  _exit(0);
}

int ExitCodeOf(int iStatus) {
  if (WIFEXITED(iStatus)) return WEXITSTATUS(iStatus);
  if (WIFSIGNALED(iStatus)) return 128 + WTERMSIG(iStatus);
  return -1;
}

// posix_spawn attributes that give the child a clean signal state.
class CSpawnAttributes final {
 public:
  CSpawnAttributes() {
    posix_spawnattr_init(&m_oAttributes);
    sigset_t oSet;
    sigemptyset(&oSet);
    posix_spawnattr_setsigmask(&m_oAttributes, &oSet);
    sigfillset(&oSet);
    posix_spawnattr_setsigdefault(&m_oAttributes, &oSet);
    posix_spawnattr_setflags(&m_oAttributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~CSpawnAttributes() { posix_spawnattr_destroy(&m_oAttributes); }
  CSpawnAttributes(const CSpawnAttributes&) = delete;
  CSpawnAttributes& operator=(const CSpawnAttributes&) = delete;
  const posix_spawnattr_t* Get() const { return &m_oAttributes; }

 private:
  posix_spawnattr_t m_oAttributes;
};

class CFileActions final {
 public:
  CFileActions() { posix_spawn_file_actions_init(&m_oActions); }
  ~CFileActions() { posix_spawn_file_actions_destroy(&m_oActions); }
  CFileActions(const CFileActions&) = delete;
  CFileActions& operator=(const CFileActions&) = delete;
  posix_spawn_file_actions_t* Get() { return &m_oActions; }

 private:
  posix_spawn_file_actions_t m_oActions;
};

bool Spawn(const std::vector<std::string>& oArgs, posix_spawn_file_actions_t* pActions, int& iPid) {
  iPid = -1;
  if (oArgs.empty() || oArgs[0].empty()) {
    PlatformLogError("Spawn failed: no program given.");
    return false;
  }
  std::vector<char*> oArgv = MakeArgv(oArgs);
  CSpawnAttributes oAttributes;
  pid_t iChild = -1;
  int iError = posix_spawnp(&iChild, oArgv[0], pActions, oAttributes.Get(), oArgv.data(), environ);
  if (iError != 0) {
    PlatformLogError("Spawn failed: the program could not be started.");
    return false;
  }
  iPid = iChild;
  return true;
}

bool WaitForChild(int iPid, int& iExitCode) {
  iExitCode = -1;
  int iStatus = 0;
  while (waitpid(iPid, &iStatus, 0) < 0) {
    if (errno != EINTR) {
      PlatformLogError("RunAndWait() cannot wait for the program.");
      return false;
    }
  }
  iExitCode = ExitCodeOf(iStatus);
  return true;
}

sigset_t StopSignals() {
  sigset_t oSet;
  sigemptyset(&oSet);
  sigaddset(&oSet, SIGTERM);
  sigaddset(&oSet, SIGINT);
  sigaddset(&oSet, SIGHUP);
  return oSet;
}

}  // namespace

bool SpawnDetached(const std::vector<std::string>& oArgs, int& iPid, int iInheritFd) {
  iPid = -1;
  if (iInheritFd >= 0 && iInheritFd <= 2) {
    PlatformLogError("SpawnDetached() failed: a standard stream cannot be passed on.");
    return false;
  }
  if (oArgs.empty() || oArgs[0].empty()) {
    PlatformLogError("SpawnDetached() failed: no program given.");
    return false;
  }
  std::vector<char*> oArgv = MakeArgv(oArgs);
  int aPipe[2];
  if (pipe2(aPipe, O_CLOEXEC) != 0) {
    PlatformLogError("SpawnDetached() cannot create the report pipe.");
    return false;
  }
  CUniqueFd oRead(aPipe[0]);
  CUniqueFd oWrite(aPipe[1]);
  pid_t iChild = fork();
  if (iChild < 0) {
    PlatformLogError("SpawnDetached() cannot fork.");
    return false;
  }
  if (iChild == 0) RunIntermediate(oArgv.data(), oWrite.Get(), iInheritFd);
  oWrite.Reset();
  int iStatus = 0;
  while (waitpid(iChild, &iStatus, 0) < 0 && errno == EINTR) {
  }
  // The pipe ends when the intermediate process has gone and the program has been executed.
  int iGrandchild = -1;
  int iError = 0;
  SSpawnReport oReport;
  for (;;) {
    ssize_t iRead = read(oRead.Get(), &oReport, sizeof(oReport));
    if (iRead < 0 && errno == EINTR) continue;
    if (iRead != static_cast<ssize_t>(sizeof(oReport))) break;
    if (oReport.m_iKind == SSpawnReport::PID) iGrandchild = oReport.m_iValue;
    if (oReport.m_iKind == SSpawnReport::ERROR) iError = oReport.m_iValue;
  }
  if (iGrandchild <= 0 || iError != 0) {
    PlatformLogError("SpawnDetached() failed: the program could not be started.");
    return false;
  }
  iPid = iGrandchild;
  return true;
}

bool SpawnChild(const std::vector<std::string>& oArgs, int& iPid) {
  return Spawn(oArgs, nullptr, iPid);
}

bool ReapChild(int iPid, bool bWait, int& iExitCode) {
  iExitCode = -1;
  int iStatus = 0;
  for (;;) {
    pid_t iDone = waitpid(iPid, &iStatus, bWait ? 0 : WNOHANG);
    if (iDone == iPid) {
      iExitCode = ExitCodeOf(iStatus);
      return true;
    }
    if (iDone == 0) return false;
    if (errno != EINTR) return errno == ECHILD;
  }
}

bool RunAndWait(const std::vector<std::string>& oArgs, int& iExitCode) {
  iExitCode = -1;
  int iPid = -1;
  return Spawn(oArgs, nullptr, iPid) && WaitForChild(iPid, iExitCode);
}

// Writes all of sBytes unless the reader has gone. SIGPIPE is blocked in this thread meanwhile,
// and one that the write raised is taken back before the old mask returns.
void WriteUnlessReaderGone(int iFd, const std::string& sBytes) {
  sigset_t oPipe;
  sigemptyset(&oPipe);
  sigaddset(&oPipe, SIGPIPE);
  sigset_t oOld;
  pthread_sigmask(SIG_BLOCK, &oPipe, &oOld);
  bool bBroken = false;
  for (size_t uDone = 0; uDone < sBytes.size();) {
    ssize_t iWritten = write(iFd, sBytes.data() + uDone, sBytes.size() - uDone);
    if (iWritten < 0 && errno == EINTR) continue;
    if (iWritten <= 0) {
      bBroken = errno == EPIPE;
      break;
    }
    uDone += static_cast<size_t>(iWritten);
  }
  if (bBroken && !sigismember(&oOld, SIGPIPE)) {
    const timespec oNoWait = {0, 0};
    while (sigtimedwait(&oPipe, nullptr, &oNoWait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &oOld, nullptr);
}

bool RunWithInput(const std::vector<std::string>& oArgs, const std::string& sInput,
                  int& iExitCode) {
  iExitCode = -1;
  int aPipe[2];
  if (pipe2(aPipe, O_CLOEXEC) != 0) {
    PlatformLogError("RunWithInput() cannot create the input pipe.");
    return false;
  }
  CUniqueFd oRead(aPipe[0]);
  CUniqueFd oWrite(aPipe[1]);
  CFileActions oActions;
  posix_spawn_file_actions_adddup2(oActions.Get(), oRead.Get(), STDIN_FILENO);
  int iPid = -1;
  if (!Spawn(oArgs, oActions.Get(), iPid)) return false;
  oRead.Reset();
  WriteUnlessReaderGone(oWrite.Get(), sInput);
  oWrite.Reset();
  return WaitForChild(iPid, iExitCode);
}

bool RunAndCapture(const std::vector<std::string>& oArgs, int& iExitCode, std::string& sOutput,
                   size_t iMaxBytes) {
  iExitCode = -1;
  sOutput.clear();
  int aPipe[2];
  if (pipe2(aPipe, O_CLOEXEC) != 0) {
    PlatformLogError("RunAndCapture() cannot create the output pipe.");
    return false;
  }
  CUniqueFd oRead(aPipe[0]);
  CUniqueFd oWrite(aPipe[1]);
  CFileActions oActions;
  posix_spawn_file_actions_adddup2(oActions.Get(), oWrite.Get(), STDOUT_FILENO);
  int iPid = -1;
  if (!Spawn(oArgs, oActions.Get(), iPid)) return false;
  oWrite.Reset();
  char acBuffer[4096];
  for (;;) {
    ssize_t iRead = read(oRead.Get(), acBuffer, sizeof(acBuffer));
    if (iRead < 0 && errno == EINTR) continue;
    if (iRead <= 0) break;
    size_t iRoom = iMaxBytes - sOutput.size();
    sOutput.append(acBuffer, std::min(iRoom, static_cast<size_t>(iRead)));
  }
  return WaitForChild(iPid, iExitCode);
}

bool IsProcessAlive(int iPid) {
  if (iPid <= 0) return false;
  if (kill(iPid, 0) != 0 && errno != EPERM) return false;
  char szPath[64];
  std::snprintf(szPath, sizeof(szPath), "/proc/%d/stat", iPid);
  CUniqueFd oStat(open(szPath, O_RDONLY | O_CLOEXEC));
  if (!oStat.IsValid()) return errno != ENOENT;
  char acText[512];
  ssize_t iRead = read(oStat.Get(), acText, sizeof(acText) - 1);
  if (iRead <= 0) return false;
  acText[iRead] = '\0';
  // "pid (name) S ...": the name may hold ")" itself, so the state follows the last one.
  const char* pClose = std::strrchr(acText, ')');
  if (pClose == nullptr || pClose[1] != ' ') return true;
  char cState = pClose[2];
  return cState != 'Z' && cState != 'X';
}

bool SignalProcess(int iPid, int iSignal) {
  if (iPid <= 0) return false;  // 0 and negative numbers would signal process groups
  return kill(iPid, iSignal) == 0;
}

void BlockStopSignals() {
  sigset_t oSet = StopSignals();
  pthread_sigmask(SIG_BLOCK, &oSet, nullptr);
}

int WaitForStopSignal(int iTimeoutMs) {
  sigset_t oSet = StopSignals();
  if (iTimeoutMs < 0) {
    for (;;) {
      int iSignal = sigwaitinfo(&oSet, nullptr);
      if (iSignal > 0) return iSignal;
      if (errno != EINTR) return 0;
    }
  }
  auto oDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iTimeoutMs);
  for (;;) {
    auto iLeftNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       oDeadline - std::chrono::steady_clock::now())
                       .count();
    if (iLeftNs < 0) iLeftNs = 0;
    timespec oLeft = {static_cast<time_t>(iLeftNs / 1'000'000'000),
                      static_cast<long>(iLeftNs % 1'000'000'000)};
    int iSignal = sigtimedwait(&oSet, nullptr, &oLeft);
    if (iSignal > 0) return iSignal;
    if (errno != EINTR || iLeftNs == 0) return 0;
  }
}

}  // namespace wdx
