#include "service/restart/process_launch.h"

#include <algorithm>

#include "foundation/process_log.h"
#include "platform/clock.h"
#include "platform/command_words.h"
#include "platform/process.h"
#include "service/restart/kill_command.h"

namespace wdx {
namespace {

// Real time between two looks at a waited-for program: short at first, so quick programs cost
// little, then at most kMaxPollMs.
constexpr int kFirstPollMs = 2;
constexpr int kMaxPollMs = 100;

}  // namespace

bool CProcessLauncher::RunHidden(const std::string& sCommand, bool bWait) {
  return Launch(sCommand, bWait);
}

bool CProcessLauncher::Start(const std::string& sCommand) {
  return Launch(sCommand, false);
}

bool CProcessLauncher::RunAndWait(const std::string& sCommand) {
  return Launch(sCommand, true);
}

bool CProcessLauncher::Launch(const std::string& sCommand, bool bWait) {
  ReapFinished();
  std::vector<std::string> oArgs;
  if (!SplitCommandWords(sCommand, oArgs)) {
    ZuvLogError(("CProcessLauncher:: cannot read the command line: " + sCommand).c_str());
    return false;
  }
  if (IsKillCommand(oArgs)) return RunKillCommand(oArgs);
  int iExitCode = -1;
  return LaunchArgs(oArgs, sCommand, bWait, iExitCode);
}

bool CProcessLauncher::RunHiddenAndWait(const std::vector<std::string>& oArgs, int& iExitCode) {
  ReapFinished();
  iExitCode = -1;
  if (oArgs.empty()) return false;
  std::string sCommand = oArgs[0];
  for (size_t i = 1; i < oArgs.size(); ++i) sCommand += " " + oArgs[i];
  return LaunchArgs(oArgs, sCommand, true, iExitCode);
}

bool CProcessLauncher::LaunchArgs(const std::vector<std::string>& oArgs,
                                  const std::string& sCommand, bool bWait, int& iExitCode) {
  int iPid = 0;
  const bool bStarted = bWait ? SpawnChild(oArgs, iPid) : SpawnDetached(oArgs, iPid);
  if (!bStarted) {
    ZuvLogError(("CProcessLauncher:: cannot start " + sCommand).c_str());
    return false;
  }
  return !bWait || WaitForEnd(sCommand, iPid, iExitCode);
}

bool CProcessLauncher::WaitForEnd(const std::string& sCommand, int iPid, int& iExitCode) {
  int iPollMs = kFirstPollMs;
  iExitCode = -1;
  while (!ReapChild(iPid, false, iExitCode)) {
    if (m_fnStopping && m_fnStopping()) {
      ZuvLogMessage(("CProcessLauncher:: the service is stopping; leaves running (pid " +
                     std::to_string(iPid) + "): " + sCommand)
                        .c_str());
      m_oLeftRunning.push_back(iPid);
      return false;
    }
    GetClock().SleepMs(iPollMs);
    iPollMs = std::min(iPollMs * 2, kMaxPollMs);
  }
  if (iExitCode != 0) {
    ZuvLogMessage(
        ("CProcessLauncher:: exit code " + std::to_string(iExitCode) + " from " + sCommand)
            .c_str());
  }
  return true;
}

void CProcessLauncher::ReapFinished() {
  int iExitCode = 0;
  std::erase_if(m_oLeftRunning, [&](int iPid) { return ReapChild(iPid, false, iExitCode); });
}

}  // namespace wdx
