#include "service/restart/warden.h"

#include <algorithm>

#include <string>

#include "foundation/process_log.h"
#include "foundation/txt_file4.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "service/host/thread_owner.h"
#include "service/host/wdx_codes.h"
#include "service/ops/ops_mngr_thread.h"

namespace wdx {
namespace {

const char* const kBanner = "XXXXXXX**********************XXXXXXX*************************XXXXXXX";
const char* const kHeartbeatFolder = "/var/lib/wardenix/heartbeat/";

std::string TwoDigits(int iValue) {
  return std::string(1, static_cast<char>('0' + iValue / 10 % 10)) +
         static_cast<char>('0' + iValue % 10);
}

}  // namespace

bool CWarden::Initialize(const std::string& sWorkingDirectory, CThreadOwner* pShared) {
  m_bProgramLoaded = false;
  if (m_pSettings == nullptr || pShared == nullptr) return false;
  m_pShared = pShared;
  ZuvLogEvent("CWarden::Initialize 1");
  m_sBaseDirectory = sWorkingDirectory;
  if (CPW() == nullptr) {
    ZuvLogError("warden:: Creation failed for auto-watcher.");
    return false;
  }
  ZuvLogEvent("CWarden::Initialize done");
  return true;
}

void CWarden::Release() {
  DropWatcher();
  m_bHasKeys = false;
  m_bLastTestPassed = true;
}

void CWarden::Wait(int iMilliseconds) {
  IClock& oClock = GetClock();
  int iLeftMs = ScaleInterval(std::max(iMilliseconds, 0));
  do {
    const int iStepMs = std::min(iLeftMs, WDX_WAIT_POLL_MS);
    oClock.SleepMs(iStepMs);
    iLeftMs -= iStepMs;
    if (m_pShared == nullptr) continue;
    // A STOP, or a service that is being stopped, must not sit out a long wait.
    if (m_pShared->m_bTerminate) return;
    COpsMngrThread* pWorker = m_pShared->GetOpsMngrThread();
    if (pWorker != nullptr && pWorker->m_iPendingCommand == WDX_STOP) return;
  } while (iLeftMs > 0);
}

bool CWarden::RunIniDetect(std::atomic<int>& iOpsState, std::atomic<bool>& bGoFlag) {
  m_bIisResetDone = false;
  (void)iOpsState;
  (void)bGoFlag;
  return m_bProgramLoaded;  // no restart program loaded: DETECT fails
}

void CWarden::RunRestarter() {}

bool CWarden::ReBoot() {
  ZuvLogError(kBanner);
  ZuvLogError(kBanner);
  ZuvLogError("RESTART FAILURE DETECTED. Attempting REBOOT and RESTART........");
  ZuvLogError(kBanner);
  ZuvLogError(kBanner);
  ZuvLogError("Failures Detected. Re-booting server....");
  ZuvLogError("Cannot get re-boot priviledge assigned.");
  return false;
}

bool CWarden::WriteHeartbeatFile() {
  SLocalTime oNow;
  GetClock().GetLocalTime(oNow);
  const std::string sLine = TwoDigits(oNow.m_iMonth) + "/" + TwoDigits(oNow.m_iDay) + "/" +
                            TwoDigits(oNow.m_iYear % 100) + " " + TwoDigits(oNow.m_iHour) + ":" +
                            TwoDigits(oNow.m_iMinute) + ":" + TwoDigits(oNow.m_iSecond) +
                            " System working.";
  IFileSystem& oFiles = GetFileSystem();
  const std::string sPath =
      (oFiles.FolderExists(kHeartbeatFolder) ? std::string(kHeartbeatFolder) : m_sBaseDirectory) +
      "Beat.txt";
  CTxtFile4 oFile;
  bool bOk = oFile.Initialize(4096);
  if (!bOk) {
    ZuvLogError("CWarden::WriteHeartbeatFile() CTxtFile init failed.");
  } else if (oFiles.FileExists(sPath)) {
    bOk = oFile.ReOpenForReadAppend(sPath.c_str());
    if (!bOk) ZuvLogError(("CWarden::WriteHeartbeatFile() could not open " + sPath + ".").c_str());
  } else {
    bOk = oFile.Create(sPath.c_str());
    if (!bOk) ZuvLogError(("CWarden::WriteHeartbeatFile()could not create " + sPath).c_str());
  }
  // Whole or not at all, so a full disk leaves no torn line for the next one to continue.
  if (bOk && !oFile.AppendWhole(sLine + "\r\n")) {
    ZuvLogError(("CWarden::WriteHeartbeatFile()could not append " + sPath).c_str());
    bOk = false;
  }
  oFile.Close();
  if (!bOk) ZuvLogError("CWarden::WriteHeartbeatFile() failed");
  return bOk;
}

bool CWarden::RegisterObjects() {
  return true;
}

IWatcher* CWarden::CPW() {
  m_pWatcher.Reset();
  ZuvLogEvent("CWarden::CPW 1");
  CInterfacePtr<IUnknown> pUnknown;
  const HRESULT hr = CreateInstance(CLSID_Watcher, IID_IUnknown, pUnknown.Receive());
  ZuvLogEvent("CWarden::CPW 2");
  bool bOk = false;
  if (Succeeded(hr) && pUnknown) {
    ZuvLogEvent("CWarden::CPW 3");
    const HRESULT hrQuery = pUnknown->QueryInterface(IID_IWatcher, m_pWatcher.Receive());
    ZuvLogEvent("CWarden::CPW 4");
    if (Succeeded(hrQuery) && m_pWatcher) {
      ZuvLogEvent("CWarden::CPW 5");
      ++m_iInstanceCount;
      int32_t lResult = 0;
      m_pWatcher->UpdateInstanceCount(CVariant(static_cast<int32_t>(m_iInstanceCount)), &lResult);
      ZuvLogEvent("CWarden::CPW 6");
      lResult = 0;
      m_pWatcher->Reinitialize(CVariant(m_sBaseDirectory), &lResult);
      ZuvLogEvent("CWarden::CPW 7");
      bOk = lResult == -1;
    }
  }
  ZuvLogEvent("CWarden::CPW 8");
  if (!bOk) ZuvLogError("CWarden::CreateWatcher failed.");
  ZuvLogEvent("CWarden::CPW done");
  return m_pWatcher.Get();
}

void CWarden::DropWatcher() {
  if (m_pWatcher) {
    m_pWatcher.Reset();
    --m_iInstanceCount;
  }
}

bool CWarden::RecreateWatcher() {
  DropWatcher();
  CPW();
  return true;
}

void CWarden::UseWatcher(IWatcher* pWatcher) {
  DropWatcher();
  if (pWatcher == nullptr) return;
  pWatcher->AddRef();
  m_pWatcher = CInterfacePtr<IWatcher>(pWatcher);
  ++m_iInstanceCount;
}

bool CWarden::AddKey(const std::string& sCounterPath) {
  if (!m_pWatcher) return false;
  int32_t lResult = 0;
  m_pWatcher->AddKey(CVariant(sCounterPath), &lResult);
  if (lResult != -1) return false;
  m_bHasKeys = true;
  return true;
}

bool CWarden::XTst() {
  m_bLastTestPassed = false;
  ZuvLogEvent("CWarden::XTst 1.");
  if (!m_bHasKeys || !m_pWatcher) return false;
  ZuvLogEvent("CWarden::XTst 2.");
  // The sample is a service interval: WDX_TIME_SCALE shortens it, but to two seconds at least,
  // since the watcher counts whole calendar seconds (a one-second sample may last a moment).
  const int iScale = GetTimeScale();
  const int iSeconds = std::max(2, (SampleSecondsFor(m_iSensitivity) + iScale - 1) / iScale);
  m_pWatcher->SetSamplePeriod(
      CVariant(static_cast<int32_t>(ScaleInterval(SamplePeriodFor(m_iSensitivity)))));
  int32_t lResult = 0;
  m_pWatcher->GetSampleResult(CVariant(static_cast<int32_t>(iSeconds)), &lResult);
  if (lResult == -1) {
    m_bLastTestPassed = true;
    ZuvLogEvent("CWarden::XTst 2a.");
    return true;
  }
  ZuvLogEvent("CWarden::XTst 2b.");
  return false;
}

bool CWarden::GetFirstFailure(std::string& sCounterPath) {
  sCounterPath.clear();
  if (!m_pWatcher) return false;
  CVariant vResult;
  m_pWatcher->GetFirstFailure(&vResult);
  if (!vResult.ChangeTypeToString()) return false;
  sCounterPath = vResult.GetString();
  return true;
}

}  // namespace wdx
