// The warden's watcher client: the Perfwatch component, its keys and the activity test.
#include <algorithm>
#include <string>

#include "foundation/process_log.h"
#include "platform/clock.h"
#include "service/restart/warden.h"

namespace wdx {

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
