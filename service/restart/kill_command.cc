#include "service/restart/kill_command.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "foundation/process_log.h"
#include "platform/proc_table.h"
#include "platform/process.h"

namespace wdx {
namespace {

bool IsAllDigits(const std::string& sText) {
  return !sText.empty() && sText.size() <= 9 &&
         sText.find_first_not_of("0123456789") == std::string::npos;
}

std::string BaseName(const std::string& sPath) {
  const size_t uSlash = sPath.rfind('/');
  return uSlash == std::string::npos ? sPath : sPath.substr(uSlash + 1);
}

const char* SignalName(int iSignal) {
  return iSignal == SIGKILL ? "SIGKILL" : "SIGTERM";
}

// Signals one process; logs and returns false when it is refused or fails.
bool SignalOne(int iPid, int iSignal) {
  const std::string sPid = std::to_string(iPid);
  if (iPid <= 1 || iPid == static_cast<int>(getpid())) {
    ZuvLogError(("KILL refuses to signal process " + sPid + ".").c_str());
    return false;
  }
  if (SignalProcess(iPid, iSignal)) {
    ZuvLogMessage(
        ("KILL sent " + std::string(SignalName(iSignal)) + " to process " + sPid).c_str());
    return true;
  }
  ZuvLogError((errno == EPERM ? "KILL is not permitted to signal process " + sPid + "."
                              : "KILL finds no process " + sPid + ".")
                  .c_str());
  return false;
}

bool KillTarget(const std::string& sTarget, int iSignal) {
  if (IsAllDigits(sTarget)) return SignalOne(std::atoi(sTarget.c_str()), iSignal);
  const std::vector<int> oPids = FindProcessesByImage(sTarget);
  if (oPids.empty()) {
    ZuvLogError(("KILL finds no process named " + sTarget + ".").c_str());
    return false;
  }
  bool bAll = true;
  for (int iPid : oPids) bAll = SignalOne(iPid, iSignal) && bAll;
  return bAll;
}

}  // namespace

bool IsKillCommand(const std::vector<std::string>& oWords) {
  return !oWords.empty() && strcasecmp(oWords[0].c_str(), "KILL") == 0;
}

std::vector<int> FindProcessesByImage(const std::string& sTarget) {
  std::vector<int> oPids;
  const bool bFullPath = sTarget.find('/') != std::string::npos;
  const int iSelf = static_cast<int>(getpid());
  for (const SProcEntry& oEntry : ListProcesses()) {
    if (oEntry.m_iPid <= 1 || oEntry.m_iPid == iSelf) continue;
    const std::string sExe = ReadExePath("/proc", oEntry.m_iPid);
    if (sExe.empty()) continue;
    const std::string sImage = bFullPath ? sExe : BaseName(sExe);
    if (strcasecmp(sImage.c_str(), sTarget.c_str()) == 0) oPids.push_back(oEntry.m_iPid);
  }
  return oPids;
}

bool RunKillCommand(const std::vector<std::string>& oWords) {
  int iSignal = SIGTERM;
  std::vector<std::string> oTargets;
  for (size_t i = 1; i < oWords.size(); ++i) {
    if (strcasecmp(oWords[i].c_str(), "/f") == 0) {
      iSignal = SIGKILL;
    } else {
      oTargets.push_back(oWords[i]);
    }
  }
  if (oTargets.empty()) {
    ZuvLogError("KILL is given no process to end.");
    return false;
  }
  bool bAll = true;
  for (const std::string& sTarget : oTargets) bAll = KillTarget(sTarget, iSignal) && bAll;
  return bAll;
}

}  // namespace wdx
