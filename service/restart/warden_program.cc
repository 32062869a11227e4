// The restart program of the warden: loading Wardenix.ini, the DETECT and RESTARTER sections
// and the interruptible Wait. The instructions themselves are performed in warden_perform.cc.
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/process_log.h"
#include "platform/clock.h"
#include "service/host/thread_owner.h"
#include "service/host/wdx_codes.h"
#include "service/ops/ops_mngr_thread.h"
#include "service/restart/instruction.h"
#include "service/restart/warden.h"

namespace wdx {
namespace {

// One slice of Wait in service milliseconds; STOP is honoured at the latest after each.
constexpr int kWaitSliceMs = 2000;
// Pause after DisableAutoLogon and after each RESTARTER instruction.
constexpr int kStepPauseMs = 100;

// Keys that become instructions as they are (Detect is handled on its own).
const char* const kStoredKeys[] = {"Stop",
                                   "Wait",
                                   "Start",
                                   "StartAndComplete",
                                   "WaitForFile",
                                   "DeleteSignalFile",
                                   "StartWithInternetExplorer",
                                   "Begin",
                                   "End"};

bool SameKey(const std::string& sKey, const char* szName) {
  return strcasecmp(sKey.c_str(), szName) == 0;
}

// Files of the program folder that a Detect copy file must never replace: the copy lies in the
// program folder under the signal file's name.
const char* const kOwnFiles[] = {
    "AutoSet.caf", "Wardenix.ini", "WDXSVC.log",  "Wardenix.log", "UpTime.log", "Uptime.old",
    "PhoneOuts.log", "Stats.log",  "DoZevir.log", "Beat.txt",     "RParams.txt", "webreset",
    "wdxsvc",      "wardenix",     "wdxregsvr",   "wdxsupervisor"};

bool IsOwnFile(const std::string& sName) {
  for (const char* szOwn : kOwnFiles) {
    if (strcasecmp(sName.c_str(), szOwn) == 0) return true;
  }
  const size_t uDot = sName.rfind('.');
  return uDot != std::string::npos && strcasecmp(sName.c_str() + uDot, ".so") == 0;
}

// The leading decimal number of sValue (0 when there is none), bounded to int.
int ToInt(const std::string& sValue) {
  const long long llValue = std::strtoll(sValue.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long long>(llValue, INT_MIN, INT_MAX));
}

}  // namespace

CInstruction* CWarden::GetInstruction(int iIndex) const {
  if (iIndex < 0 || iIndex >= GetInstructionCount()) return nullptr;
  return m_oInstructions[static_cast<size_t>(iIndex)].get();
}

bool CWarden::SetProgramFile(const std::string& sPath) {
  return m_oIniFile.Initialize(sPath.c_str());
}

bool CWarden::LoadFromIniFile() {
  ZuvLogBlankLines(1);
  ZuvLogEvent("|||------ Begin Loading program from Wardenix.ini");
  if (!m_oIniFile.GetFirstKeyAndValue()) {
    ZuvLogError("CWarden::LoadFromIniFile() failed");
    return false;
  }
  bool bResult = true;
  do {
    if (!LoadKey(m_oIniFile.GetKey(), m_oIniFile.GetValue())) {
      bResult = false;
      break;
    }
  } while (m_oIniFile.GetNextKeyAndValue());
  m_oIniFile.Close();
  ZuvLogEvent("|||------ End Loading program from Wardenix.ini");
  ZuvLogBlankLines(1);
  if (!bResult) ZuvLogError("CWarden::LoadFromIniFile() failed");
  return bResult;
}

bool CWarden::LoadKey(const std::string& sKey, const std::string& sValue) {
  if (SameKey(sKey, "Detect")) return !AddInstruction() || SetUpDetector(sValue);
  for (const char* szKey : kStoredKeys) {
    if (SameKey(sKey, szKey)) {
      AddInstruction();
      return true;
    }
  }
  if (SameKey(sKey, "RetryCount")) {
    m_iRetryCount = ToInt(sValue);
  } else if (SameKey(sKey, "DomainName")) {
    m_sDomainName = sValue;
  } else if (SameKey(sKey, "UserName")) {
    m_sUserName = sValue;
  } else if (SameKey(sKey, "Password")) {
    m_sPassword = sValue;
  } else if (SameKey(sKey, "MaxWait")) {
    m_iMaxWait = std::max(ToInt(sValue), 0);  // a negative bound would mean no bound
  } else if (SameKey(sKey, "PathToInternetExplorer")) {
    m_sBrowserPath = sValue;
  }
  return true;  // any other key is ignored
}

// The value is split at its last "/" into folder and file name ("/x": the folder is "/").
bool CWarden::SetUpDetector(const std::string& sValue) {
  const size_t uSlash = sValue.rfind('/');
  const std::string sFolder =
      uSlash == std::string::npos ? "" : sValue.substr(0, uSlash == 0 ? 1 : uSlash);
  const std::string sName = uSlash == std::string::npos ? sValue : sValue.substr(uSlash + 1);
  if (IsOwnFile(sName)) {
    ZuvLogError(("CWarden::LoadFromIniFile() Detect=" + sValue +
                 " would keep its copy over Wardenix's own file " + sName)
                    .c_str());
    return false;
  }
  if (m_oInstructions.back()->GetDetector().Setup(sName, sFolder, m_sBaseDirectory)) return true;
  ZuvLogError(
      ("CWarden::LoadFromIniFile() needs a folder and a file name in Detect=" + sValue).c_str());
  return false;
}

bool CWarden::AddInstruction() {
  const std::string sKey = m_oIniFile.GetKey();
  const std::string sValue = m_oIniFile.GetValue();
  ZuvLogEvent(("Load Instruction: " + sKey + " = " + sValue).c_str());
  auto pInstruction = std::make_unique<CInstruction>();
  if (GetInstructionCount() >= WDX_MAX_INSTRUCTIONS || !pInstruction->Initialize(sKey, sValue)) {
    ZuvLogError("CWarden::AddInstruction() failed");
    return false;
  }
  m_oInstructions.push_back(std::move(pInstruction));
  return true;
}

bool CWarden::IsStopping() const {
  if (m_pShared == nullptr) return false;
  if (m_pShared->m_bTerminate) return true;
  COpsMngrThread* pWorker = m_pShared->GetOpsMngrThread();
  return pWorker != nullptr && pWorker->m_iPendingCommand == WDX_STOP;
}

// Slices of kWaitSliceMs, or one slice of iMilliseconds when that is no longer; above that
// floor(iMilliseconds / slice) + 1 slices in all. Within a slice the stop is looked at every
// WDX_WAIT_POLL_MS of real time, so the service stops promptly. The wait ends at a fixed time on
// the monotonic clock, so that the small overrun of every sleep does not add up.
void CWarden::Wait(int iMilliseconds) {
  iMilliseconds = std::max(iMilliseconds, 0);
  const bool bOneSlice = iMilliseconds <= kWaitSliceMs;
  const int64_t iSlices = bOneSlice ? 1 : iMilliseconds / kWaitSliceMs + 1;
  const int64_t iTotalMs = iSlices * ScaleInterval(bOneSlice ? iMilliseconds : kWaitSliceMs);
  IClock& oClock = GetClock();
  const int64_t iEndMs = oClock.GetMonotonicMs() + iTotalMs;
  for (int64_t iLeftMs = iTotalMs; iLeftMs > 0; iLeftMs = iEndMs - oClock.GetMonotonicMs()) {
    oClock.SleepMs(static_cast<int>(std::min<int64_t>(iLeftMs, WDX_WAIT_POLL_MS)));
    if (IsStopping()) return;
  }
}

bool CWarden::RunSection(bool bDetect) {
  const std::string sName = bDetect ? "DETECT" : "RESTARTER";
  ZuvLogBlankLines(1);
  ZuvLogEvent(("|||------------Begin " + sName + " Operations").c_str());
  if (bDetect && m_bHasKeys && !XTst()) {
    ZuvLogError("Auto Watcher finds site is inoperative.");
    ZuvLogError("Is your Sensitivity set too low?.");
    ZuvLogError("Have you verified settings with Test and Set screen?.");
    return false;
  }
  bool bResult = !m_oInstructions.empty();
  bool bOpen = false;
  for (const auto& pInstruction : m_oInstructions) {
    if (!bOpen) {
      bOpen = pInstruction->Is("Begin") &&
              ContainsNoCase(pInstruction->GetValue(), bDetect ? "Detection" : "RESTARTER");
    } else if (pInstruction->Is("End")) {
      break;
    } else {
      m_pCurrent = pInstruction.get();
      if (!PerformInstruction()) {
        bResult = false;
        break;
      }
    }
    if (bDetect) continue;
    ServiceSleep(kStepPauseMs);
    // A restart is not carried on once the service is stopping. (DETECT goes on to its verdict:
    // its waits end early and WaitForFile fails once the go flag is clear.)
    if (IsStopping()) {
      ZuvLogEvent("CWarden:: the service is stopping; RESTARTER ends here.");
      bResult = false;
      break;
    }
  }
  m_pCurrent = nullptr;
  ZuvLogEvent(("|||------------End " + sName + " Operations").c_str());
  ZuvLogBlankLines(1);
  return bResult;
}

bool CWarden::RunIniDetect(std::atomic<int>& iOpsState, std::atomic<bool>& bGoFlag) {
  m_bIisResetDone = false;
  m_pGoFlag = &bGoFlag;
  if (!m_bProgramLoaded) return false;
  DisableAutoLogon();
  ServiceSleep(kStepPauseMs);
  if (!bGoFlag) return false;
  iOpsState = WDX_STATE_TESTING;
  return RunSection(true);
}

bool CWarden::RunRestarter() {
  return RunSection(false);
}

}  // namespace wdx
