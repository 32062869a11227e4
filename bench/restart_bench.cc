// Restart latency of the real wdxsvc in GO mode at a one-minute cycle, with one watched program
// (a copy of the shell running a small loop) in [PROGS] and [STOPS]. Each iteration kills the
// program (SIGKILL) at a random point of the cycle wait and measures the time until the service
// logs "** Soft Restart completed". From that it takes off the waits the service is bound to,
// each in whole 2000 ms slices as the service waits: the rest of the cycle wait, the pause
// before the decision, the activity sample (nothing when its first read fails because the
// program is gone), 1500 ms after each kill and each start, the waits before each registration
// attempt and before each verification check. What is left is the time of the restart path
// itself. Arrival times of log lines are taken with inotify.
//
//   build/bench/restart_bench [iterations] [time-scale]
//
// Time scale 1 (the default) is real time, about 70 s an iteration; a scale of N makes every
// service wait N times shorter (WDX_TIME_SCALE), e.g. "restart_bench 10 20". With
// WDX_BENCH_TRACE=1 each iteration's log lines are printed with their arrival after the kill.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ram_file.h"
#include "platform/clock.h"
#include "platform/component.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Waits of the restart path as the service is bound to them (milliseconds of service time).
constexpr int kDecisionPauseMs = 100;
constexpr int kAfterProgramMs = 1500;  // after each kill of [STOPS] and each start of [PROGS]
constexpr int kRegisterWaitsMs[] = {2000, 4000, 6000};
constexpr int kVerifyPauseMs = 5000;
constexpr int kWaitSliceMs = 2000;

constexpr int kMinuteInterval = 1;
constexpr int kSensitivity = 0;
constexpr int kRestarterSeconds = 60;
const char* const kWorker = "rbworker";
const char* const kCycleWaitStarts = "COpsMngrThread::Go 12";
const char* const kRestartDone = "** Soft Restart completed";
const char* const kRestartFailed = "COpsMngrThread::DoRestarter() Soft Restart failed.";

double MsBetween(Clock::time_point tFrom, Clock::time_point tTo) {
  return std::chrono::duration<double, std::milli>(tTo - tFrom).count();
}

struct SLine {
  Clock::time_point m_tArrived;
  std::string m_sText;
};

// The lines of one growing log file, each with the time it was seen to arrive (inotify on the
// folder, so the log may also be emptied in place when it is rotated).
class CLogTail final {
 public:
  CLogTail(const std::string& sFolder, const std::string& sName) : m_sPath(sFolder + sName) {
    m_iNotify = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (m_iNotify >= 0) inotify_add_watch(m_iNotify, sFolder.c_str(), IN_MODIFY | IN_CREATE);
  }
  ~CLogTail() {
    if (m_iNotify >= 0) close(m_iNotify);
  }
  CLogTail(const CLogTail&) = delete;
  CLogTail& operator=(const CLogTail&) = delete;

  bool IsOpen() const { return m_iNotify >= 0; }
  const std::vector<SLine>& Lines() const { return m_oLines; }

  // Reads what has arrived; lines after the last one found by WaitFor stay to be searched.
  void Drain() {
    char aEvents[4096];
    while (read(m_iNotify, aEvents, sizeof aEvents) > 0) {
    }
    ReadNew();
  }

  // Waits for a line holding one of the texts; the index of that text, -1 at the deadline.
  int WaitFor(std::initializer_list<const char*> oTexts, Clock::time_point tDeadline,
              SLine& oFound) {
    for (;;) {
      Drain();
      for (; m_uNext < m_oLines.size(); ++m_uNext) {
        int iText = 0;
        for (const char* szText : oTexts) {
          if (m_oLines[m_uNext].m_sText.find(szText) != std::string::npos) {
            oFound = m_oLines[m_uNext++];
            return iText;
          }
          ++iText;
        }
      }
      const double dLeftMs = MsBetween(Clock::now(), tDeadline);
      if (dLeftMs <= 0) return -1;
      pollfd oPoll = {m_iNotify, POLLIN, 0};
      poll(&oPoll, 1, static_cast<int>(std::min(dLeftMs, 1000.0)) + 1);
    }
  }

 private:
  void ReadNew() {
    FILE* pFile = std::fopen(m_sPath.c_str(), "rb");
    if (pFile == nullptr) return;
    std::fseek(pFile, 0, SEEK_END);
    const long lSize = std::ftell(pFile);
    if (lSize < m_lOffset) {  // emptied in place
      m_lOffset = 0;
      m_sPartial.clear();
    }
    std::fseek(pFile, m_lOffset, SEEK_SET);
    std::string sBytes(static_cast<size_t>(lSize - m_lOffset), '\0');
    const size_t uRead = std::fread(sBytes.data(), 1, sBytes.size(), pFile);
    std::fclose(pFile);
    const Clock::time_point tNow = Clock::now();
    m_lOffset += static_cast<long>(uRead);
    m_sPartial.append(sBytes, 0, uRead);
    for (size_t uEnd; (uEnd = m_sPartial.find('\n')) != std::string::npos;) {
      std::string sLine = m_sPartial.substr(0, uEnd);
      while (!sLine.empty() && sLine.back() == '\r') sLine.pop_back();
      m_oLines.push_back({tNow, sLine});
      m_sPartial.erase(0, uEnd + 1);
    }
  }

  std::string m_sPath;
  int m_iNotify = -1;
  long m_lOffset = 0;
  std::string m_sPartial;
  std::vector<SLine> m_oLines;
  size_t m_uNext = 0;
};

// Processes whose executable is sProgram (zombies have none and are not listed).
std::vector<pid_t> FindProcesses(const std::string& sProgram) {
  std::vector<pid_t> oPids;
  DIR* pDir = opendir("/proc");
  if (pDir == nullptr) return oPids;
  while (const dirent* pEntry = readdir(pDir)) {
    const std::string sName = pEntry->d_name;
    if (sName.empty() || sName.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code oError;
    const auto oExe = std::filesystem::read_symlink("/proc/" + sName + "/exe", oError);
    if (!oError && oExe == sProgram) oPids.push_back(std::atoi(sName.c_str()));
  }
  closedir(pDir);
  return oPids;
}

int CountLines(const std::vector<SLine>& oLines, size_t uFrom, const char* szText) {
  int iCount = 0;
  for (size_t u = uFrom; u < oLines.size(); ++u) {
    if (oLines[u].m_sText.find(szText) != std::string::npos) ++iCount;
  }
  return iCount;
}

// The settings and scale from which the specified waits of one iteration follow.
struct SPlan {
  int m_iScale = 1;
  int m_iStops = 0;
  int m_iProgs = 0;

  // A wait of the service lasts whole slices of 2000 ms once it is longer than one slice.
  double Ms(int iMilliseconds) const {
    if (iMilliseconds <= kWaitSliceMs) return wdx::ScaleIntervalBy(iMilliseconds, m_iScale);
    return (iMilliseconds / kWaitSliceMs + 1) * wdx::ScaleIntervalBy(kWaitSliceMs, m_iScale);
  }
  double IntervalMs() const { return Ms(kMinuteInterval * 60000); }
  // The full activity sample in real milliseconds, as the warden asks the watcher for it.
  double SampleMs() const {
    const int iSeconds = 10 + static_cast<int>(1.2 * kSensitivity);
    return 1000.0 * std::max(2, (iSeconds + m_iScale - 1) / m_iScale);
  }
};

struct SIteration {
  double m_dTotalMs = 0;
  double m_dWaitsMs = 0;
  double m_dRestMs = 0;
  double m_dSampleMs = 0;  // the activity sample as seen in the log
  int m_iAttempts = 0;
  int m_iChecks = 0;
  bool m_bSampled = false;
};

// Index of the first line from uFrom that holds szText; oLines.size() when none.
size_t FindLine(const std::vector<SLine>& oLines, size_t uFrom, const char* szText) {
  while (uFrom < oLines.size() && oLines[uFrom].m_sText.find(szText) == std::string::npos) ++uFrom;
  return uFrom;
}

// The specified waits of the iteration whose log lines start at uFrom.
void AddSpecifiedWaits(const SPlan& oPlan, const std::vector<SLine>& oLines, size_t uFrom,
                       SIteration& oRun) {
  oRun.m_iAttempts = CountLines(oLines, uFrom, "COpsMngrThread::DoRestarter() 5.2");
  oRun.m_iChecks = CountLines(oLines, uFrom, "COpsMngrThread::DoRestarter() 10.");
  // The activity sample lasts its full time unless a read fails first, as it does at once for
  // a program that is gone: only a sample that ran its full time counts as a wait.
  const size_t uSampleStart = FindLine(oLines, uFrom, "CWarden::XTst 2.");
  const size_t uSampleDone = std::min(FindLine(oLines, uSampleStart, "CWarden::XTst 2a."),
                                      FindLine(oLines, uSampleStart, "CWarden::XTst 2b."));
  if (uSampleDone < oLines.size()) {
    oRun.m_dSampleMs = MsBetween(oLines[uSampleStart].m_tArrived, oLines[uSampleDone].m_tArrived);
  }
  oRun.m_bSampled = oRun.m_dSampleMs >= oPlan.SampleMs();
  double dWaits = oRun.m_dRestMs + oPlan.Ms(kDecisionPauseMs);
  if (oRun.m_bSampled) dWaits += oPlan.SampleMs();
  dWaits += (oPlan.m_iStops + oPlan.m_iProgs) * oPlan.Ms(kAfterProgramMs);
  for (int i = 0; i < oRun.m_iAttempts && i < 3; ++i) dWaits += oPlan.Ms(kRegisterWaitsMs[i]);
  dWaits += oRun.m_iChecks * oPlan.Ms(kVerifyPauseMs);
  oRun.m_dWaitsMs = dWaits;
}

void Trace(const std::vector<SLine>& oLines, size_t uFrom, Clock::time_point tKill) {
  if (std::getenv("WDX_BENCH_TRACE") == nullptr) return;
  for (size_t u = uFrom; u < oLines.size(); ++u) {
    std::printf("    %+10.1f  %s\n", MsBetween(tKill, oLines[u].m_tArrived),
                oLines[u].m_sText.c_str());
  }
}

// One iteration: waits for the cycle wait, kills the program at a random point of it and waits
// for the verified restart. False when the service did not get there.
bool RunIteration(const SPlan& oPlan, CLogTail& oTail, const std::string& sProgram,
                  std::mt19937& oRandom, SIteration& oRun) {
  const Clock::duration oLongest = std::chrono::milliseconds(
      static_cast<int64_t>(oPlan.IntervalMs() + oPlan.SampleMs()) + 120'000);
  SLine oWaitStart;
  if (oTail.WaitFor({kCycleWaitStarts}, Clock::now() + oLongest, oWaitStart) != 0) {
    std::fprintf(stderr, "the cycle wait did not begin\n");
    return false;
  }
  std::uniform_real_distribution<double> oShare(0.0, 0.8);
  const auto oOffset =
      std::chrono::microseconds(static_cast<int64_t>(oShare(oRandom) * oPlan.IntervalMs() * 1000));
  std::this_thread::sleep_until(oWaitStart.m_tArrived + oOffset);
  oTail.Drain();
  const size_t uFrom = oTail.Lines().size();
  const std::vector<pid_t> oPids = FindProcesses(sProgram);
  if (oPids.empty()) {
    std::fprintf(stderr, "the watched program is not running\n");
    return false;
  }
  for (pid_t iPid : oPids) kill(iPid, SIGKILL);
  const Clock::time_point tKill = Clock::now();
  oRun.m_dRestMs = oPlan.IntervalMs() - MsBetween(oWaitStart.m_tArrived, tKill);
  SLine oDone;
  const int iFound = oTail.WaitFor({kRestartDone, kRestartFailed}, tKill + oLongest, oDone);
  Trace(oTail.Lines(), uFrom, tKill);
  if (iFound != 0) {
    std::fprintf(stderr, iFound < 0 ? "no restart was logged\n" : "the restart failed\n");
    return false;
  }
  oRun.m_dTotalMs = MsBetween(tKill, oDone.m_tArrived);
  AddSpecifiedWaits(oPlan, oTail.Lines(), uFrom, oRun);
  return true;
}

double Median(std::vector<double> oValues) {
  std::sort(oValues.begin(), oValues.end());
  return oValues.empty() ? 0 : oValues[oValues.size() / 2];
}

void PrintTable(const std::vector<SIteration>& oRuns) {
  std::printf("%4s %11s %11s %12s %13s %10s %5s %7s\n", "iter", "total ms", "waits ms",
              "overhead ms", "rest of wait", "sample ms", "regs", "checks");
  std::vector<double> oTotals;
  std::vector<double> oOverheads;
  for (size_t u = 0; u < oRuns.size(); ++u) {
    const SIteration& oRun = oRuns[u];
    const double dOverhead = oRun.m_dTotalMs - oRun.m_dWaitsMs;
    std::printf("%4zu %11.1f %11.1f %12.1f %13.1f %10.1f %5d %7d%s\n", u + 1, oRun.m_dTotalMs,
                oRun.m_dWaitsMs, dOverhead, oRun.m_dRestMs, oRun.m_dSampleMs, oRun.m_iAttempts,
                oRun.m_iChecks, oRun.m_bSampled ? "  (full sample)" : "");
    oTotals.push_back(oRun.m_dTotalMs);
    oOverheads.push_back(dOverhead);
  }
  if (oRuns.empty()) return;
  std::printf("total:    median %.1f ms, max %.1f ms\n", Median(oTotals),
              *std::max_element(oTotals.begin(), oTotals.end()));
  std::printf("overhead: median %.1f ms, max %.1f ms\n", Median(oOverheads),
              *std::max_element(oOverheads.begin(), oOverheads.end()));
}

// The watched program as the bench starts it first: a copy of the shell named kWorker running
// its loop script. Every process of that program (the service starts the later ones) is killed
// when the object goes.
class CWorker final {
 public:
  explicit CWorker(const wdx::test::CTempFolder& oFolder) : m_sProgram(oFolder.File(kWorker)) {
    std::filesystem::copy_file("/bin/sh", m_sProgram);
    std::filesystem::permissions(m_sProgram, std::filesystem::perms::owner_all);
    oFolder.Write("loop.sh", "while :; do echo x; sleep 0.05; done\n");
    m_sScript = oFolder.File("loop.sh");
    std::string sArg0 = m_sProgram;
    std::string sArg1 = m_sScript;
    char* aArgs[] = {sArg0.data(), sArg1.data(), nullptr};
    posix_spawn_file_actions_t oActions;
    posix_spawn_file_actions_init(&oActions);
    for (int iFd : {0, 1, 2}) {
      posix_spawn_file_actions_addopen(&oActions, iFd, "/dev/null", O_RDWR, 0);
    }
    if (posix_spawn(&m_iPid, m_sProgram.c_str(), &oActions, nullptr, aArgs, environ) != 0) {
      m_iPid = -1;
    }
    posix_spawn_file_actions_destroy(&oActions);
  }
  ~CWorker() {
    for (pid_t iPid : FindProcesses(m_sProgram)) kill(iPid, SIGKILL);
    if (m_iPid <= 0) return;
    kill(m_iPid, SIGKILL);
    waitpid(m_iPid, nullptr, 0);
  }
  CWorker(const CWorker&) = delete;
  CWorker& operator=(const CWorker&) = delete;

  bool IsStarted() const { return m_iPid > 0; }
  const std::string& Program() const { return m_sProgram; }
  // The [PROGS] line that starts it again.
  std::string CommandLine() const { return m_sProgram + " " + m_sScript; }

 private:
  std::string m_sProgram;
  std::string m_sScript;
  pid_t m_iPid = -1;
};

}  // namespace

int main(int argc, char** argv) {
  const int iIterations = std::max(1, argc > 1 ? std::atoi(argv[1]) : 3);
  const int iScale = std::max(1, argc > 2 ? std::atoi(argv[2]) : 1);
  const std::string sLibrary = std::string(WDX_DIST_DIR) + "/Perfwatch.so";
  wdx::test::CServiceFixture oFixture(iScale);
  wdx::test::CTempFolder& oFolder = oFixture.Folder();
  // Never a real reboot, whatever happens (RestartsB4Reboot=0 asks for none anyway).
  setenv("WDX_REBOOT_COMMAND", "/bin/true", 1);
  if (wdx::RegisterLibrary(sLibrary, false) != wdx::S_OK) {
    std::fprintf(stderr, "cannot register %s: %s\n", sLibrary.c_str(),
                 wdx::GetComponentError().c_str());
    return 1;
  }
  // The web server reset does nothing here: its own run time is not the service's.
  oFolder.Write("webreset", "#!/bin/sh\nexit 0\n");
  chmod(oFolder.File("webreset").c_str(), 0755);
  const CWorker oWorker(oFolder);
  const std::string sProgram = oWorker.Program();

  const std::vector<std::string> oSettings = {"[KEYS]",
                                              "AdminId=operator",
                                              "Password=pw",
                                              "MachineName=bench-host",
                                              "MinuteInterval=" + std::to_string(kMinuteInterval),
                                              "Sensitivity=" + std::to_string(kSensitivity),
                                              "WATCH=1",
                                              "UseIni=0",
                                              "RstrSecs=" + std::to_string(kRestarterSeconds),
                                              "RestartsB4Reboot=0",
                                              "[PROGS]",
                                              oWorker.CommandLine(),
                                              "[STOPS]",
                                              sProgram};
  SPlan oPlan;
  oPlan.m_iScale = iScale;
  oPlan.m_iProgs = 1;
  oPlan.m_iStops = 1;
  wdx::CRamFile oFile;
  oFile.Initialize(oFixture.Home().c_str(), "AutoSet.caf");
  CLogTail oTail(oFixture.Home(), "WDXSVC.log");
  if (!oWorker.IsStarted() || !oTail.IsOpen() || !oFile.LoadToRamFromListBox(oSettings) ||
      !oFile.SaveToFile() || oFixture.RunService({"-RegServer"}).m_iExitCode != 0) {
    std::fprintf(stderr, "cannot set up the service\n");
    return 1;
  }
  // "Elapsed Time" counts whole seconds: a program younger than that shows no activity yet.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  // A local server without clients ends soon: GO goes in as soon as it answers.
  std::unique_ptr<wdx::CWdxSvrClient> pClient =
      oFixture.StartServiceProcess() ? oFixture.Connect() : nullptr;
  int iResult = 0;
  if (!pClient || !pClient->OpsCommand(wdx::WDX_GO, iResult) || iResult != wdx::WDX_TRUE) {
    std::fprintf(stderr, "the service did not take GO\n");
    return 1;
  }
  std::printf(
      "restart after a kill, MinuteInterval=%d, Sensitivity=%d, WDX_TIME_SCALE=%d, "
      "1 program in [PROGS] and [STOPS]\n",
      kMinuteInterval, kSensitivity, iScale);
  std::fflush(stdout);
  std::mt19937 oRandom(8);
  std::vector<SIteration> oRuns;
  for (int i = 0; i < iIterations; ++i) {
    SIteration oRun;
    if (!RunIteration(oPlan, oTail, sProgram, oRandom, oRun)) break;
    oRuns.push_back(oRun);
  }
  PrintTable(oRuns);
  pClient->OpsCommand(wdx::WDX_STOP, iResult);
  oFixture.StopServiceProcess(10000);
  return static_cast<int>(oRuns.size()) == iIterations ? 0 : 1;
}
