#include "components/perfwatch/watcher.h"

#include <string>

#include "foundation/process_log.h"

namespace wdx {
namespace {

constexpr const char* kStatsBaseName = "Stats";
constexpr const char* kStartedLine = "XXXX   Watcher Started";

std::string TextOf(const CVariant& vValue) {
  CVariant vText = vValue;
  if (vText.GetType() != VT_BSTR && !vText.ChangeTypeToString()) return "";
  return vText.GetString();
}

void Answer(int32_t* plResult, bool bTrue) {
  if (plResult != nullptr) *plResult = bTrue ? -1 : 0;
}

void LogWithCount(const char* szText, int32_t lCount) {
  const std::string sText = szText + std::to_string(lCount);
  ZuvLogEvent(sText.c_str());
}

}  // namespace

CWatcher::CWatcher() : m_pLog(std::make_unique<CLogFile>()) {
  m_pLog->SetMaxSize(LOG_DEFAULT_MAX_SIZE);
}

CWatcher::~CWatcher() {
  LogWithCount("CWatcher::FinalRelease: InstanceCount=", m_lInstanceCount);
  m_pSampler.reset();
  m_pLog.reset();  // unbinds itself when it is the current log
}

void CWatcher::StartStatsLog(const std::string& sDirectory) {
  SetProcessLog(m_pLog.get());
  m_pLog->SetFolder(sDirectory.c_str());
  m_pLog->Initialize(kStatsBaseName);
  m_pLog->EnableBlankLines(true);
  for (int iCount : {42, 41, 40, 39}) m_pLog->LogEvent(std::string(iCount, 'X').c_str());
  m_pLog->LogEvent(kStartedLine);
  for (int iCount : {37, 36}) m_pLog->LogEvent(std::string(iCount, 'X').c_str());
  m_pLog->EnableBlankLines(false);
}

HRESULT CWatcher::Reinitialize(const CVariant& vLogDirectory, int32_t* plResult) {
  if (m_lInstanceCount == 1) StartStatsLog(TextOf(vLogDirectory));
  LogWithCount("CWatcher::Reinitialize: InstanceCount=", m_lInstanceCount);
  m_pSampler.reset();
  m_pSampler = std::make_unique<CPW>();
  Answer(plResult, true);
  return S_OK;
}

HRESULT CWatcher::ReadAllCounters(int32_t* plResult) {
  Answer(plResult, IsSamplerLive() && m_pSampler->ReadVals());
  return S_OK;
}

HRESULT CWatcher::GetDeltaByIndex(const CVariant& vIndex, CVariant* pvDelta) {
  int32_t lDelta = 0;
  const int32_t lIndex = vIndex.GetInt32();
  if (IsSamplerLive() && lIndex >= 0 && lIndex < m_pSampler->GetKeyCount()) {
    ZuvLogEvent("CPW GDBI 1");
    if (!m_pSampler->GetDelta(lIndex, lDelta)) lDelta = 0;
  }
  if (pvDelta != nullptr) *pvDelta = CVariant(lDelta);
  return S_OK;
}

HRESULT CWatcher::AllDeltasArePositive(int32_t* plResult) {
  Answer(plResult, IsSamplerLive() && m_pSampler->GetFlag());
  return S_OK;
}

HRESULT CWatcher::AddKey(const CVariant& vNewKey, int32_t* plResult) {
  ZuvLogEvent("CWatcher::AddKey");
  Answer(plResult, m_pSampler != nullptr && m_pSampler->AddKey(TextOf(vNewKey).c_str()));
  return S_OK;
}

HRESULT CWatcher::IsReady(int32_t* plReady) {
  ZuvLogEvent("CWatcher::IsReady");
  Answer(plReady, IsSamplerLive());
  return S_OK;
}

HRESULT CWatcher::GetCounterVal(const CVariant& vName, int32_t* plResult) {
  ZuvLogEvent("CWatcher::GetCounterVal");
  const int32_t lValue = IsSamplerLive() ? m_pSampler->GetVal(TextOf(vName).c_str()) : 0;
  if (plResult != nullptr) *plResult = lValue;
  return S_OK;
}

HRESULT CWatcher::GetSampleResult(const CVariant& vSampleSeconds, int32_t* plResult) {
  ZuvLogEvent("CWatcher::GetSampleResult");
  bool bPassed = false;
  if (m_pSampler != nullptr) {
    m_pSampler->SetSampleSeconds(static_cast<uint32_t>(vSampleSeconds.GetInt32()));
    bPassed = m_pSampler->IsLive() && m_pSampler->Activity();
  }
  Answer(plResult, bPassed);
  return S_OK;
}

HRESULT CWatcher::SetSamplePeriod(const CVariant& vSamplePeriod) {
  ZuvLogEvent("CWatcher::SetSamplePeriod");
  if (m_pSampler != nullptr) m_pSampler->SetSamplePeriod(vSamplePeriod.GetInt32());
  return S_OK;
}

HRESULT CWatcher::UpdateInstanceCount(const CVariant& vInstance, int32_t* plResult) {
  m_lInstanceCount = vInstance.GetInt32();
  Answer(plResult, true);
  return S_OK;
}

HRESULT CWatcher::GetFirstFailure(CVariant* pvResult) {
  const std::string sFailure = m_pSampler != nullptr ? m_pSampler->GetFirstFailure() : "";
  if (pvResult != nullptr) *pvResult = CVariant(sFailure);
  return S_OK;
}

}  // namespace wdx
