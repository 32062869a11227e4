#include "components/perfwatch/pw.h"

#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "foundation/process_log.h"

namespace wdx {
namespace {

void LogWithStatus(const char* szText, PDH_STATUS lStatus) {
  const std::string sText = szText + std::to_string(lStatus);
  ZuvLogError(sText.c_str());
}

}  // namespace

CPW::CPW(QueryFactory fnOpenQuery) : m_fnOpenQuery(std::move(fnOpenQuery)) {}

bool CPW::AddKey(const char* szPath) {
  if (!m_bInitialized) {
    SetId(ZUV_ID_LIVE);
    if (!m_oKeys.Initialize(PW_MAX_KEYS, PW_MAX_KEY_LENGTH)) return false;
    m_bInitialized = true;
  }
  return m_oKeys.SetNext(szPath != nullptr ? szPath : "");
}

bool CPW::IsLive() const {
  if (!m_bInitialized) {
    ZuvLogError("CPW::IsLive() Object is not initialized.");
    return false;
  }
  return CZuvBase::IsLive() && m_oKeys.GetUsedCount() > 0;
}

const char* CPW::KeyAt(int iIndex) {
  const char* szKey = m_oKeys.GetAt(iIndex);
  return szKey != nullptr ? szKey : "";
}

bool CPW::OpenQuery() {
  if (m_bQueryReady) return true;
  const int iKeys = GetKeyCount();
  m_oHandles.assign(static_cast<size_t>(iKeys), -1);
  m_oLastValues.assign(static_cast<size_t>(iKeys), 0);
  m_oDeltas.assign(static_cast<size_t>(iKeys), 0);
  m_pQuery = m_fnOpenQuery ? m_fnOpenQuery() : nullptr;
  if (!m_pQuery) {
    ZuvLogError("CPW OpenQ failed.");
    return false;
  }
  for (int i = 0; i < iKeys; ++i) {
    m_lLastStatus = m_pQuery->AddCounter(KeyAt(i), m_oHandles[static_cast<size_t>(i)]);
    if (m_lLastStatus != PDH_CSTATUS_VALID_DATA) {
      ZuvLogError("CPW Add failed.");
      return false;
    }
    ZuvLogEvent("CPW PTR 1");
  }
  m_bQueryReady = true;
  return true;
}

bool CPW::ReadVals() {
  m_bFlag = false;
  if (!m_bQueryReady && !OpenQuery()) return false;
  m_lLastStatus = m_pQuery->Collect();
  if (m_lLastStatus != PDH_CSTATUS_VALID_DATA) {
    ZuvLogError("CPW CollectQueryData failed.");
    return false;
  }
  m_bFlag = true;
  ZuvLogEvent("CPW RCV 3");
  for (size_t u = 0; u < m_oHandles.size(); ++u) {
    ZuvLogEvent("CPW RCV 2");
    m_lLastStatus = m_pQuery->GetLong(m_oHandles[u], m_lCounterValue);
    if (m_lLastStatus != PDH_CSTATUS_VALID_DATA) {
      LogWithStatus("CPW GetFormattedValue failed: ", m_lLastStatus);
      break;
    }
    m_oDeltas[u] = static_cast<int32_t>(static_cast<uint32_t>(m_lCounterValue) -
                                        static_cast<uint32_t>(m_oLastValues[u]));
    m_oLastValues[u] = m_lCounterValue;
    if (m_oDeltas[u] != 0) m_bFlag = false;
    ZuvLogEvent("CPW RCV 1");
  }
  ZuvLogEvent("CPW::ReadVals() worked.");
  return true;
}

int32_t CPW::GetVal(const char* szName) {
  if (szName == nullptr || *szName == '\0') {
    ZuvLogError("CPW has empty ProcessName.");
    return -1;
  }
  int iFound = -1;
  for (int i = 0; i < GetKeyCount(); ++i) {
    CZuvStr oKey(KeyAt(i));
    if (oKey.IsEmpty()) break;
    if (oKey.EqualsNoCase(szName)) {
      iFound = i;
      break;
    }
  }
  if (iFound < 0) {
    const std::string sText = std::string("CPW cannot find key: ") + szName;
    ZuvLogError(sText.c_str());
    return -1;
  }
  if (!m_bQueryReady && !OpenQuery()) return -1;
  if (static_cast<size_t>(iFound) >= m_oHandles.size()) return -1;  // added after the query
  m_lLastStatus = m_pQuery->Collect();
  if (m_lLastStatus != PDH_CSTATUS_VALID_DATA) {
    ZuvLogError("CPW Query failed.");
    return -1;
  }
  m_lLastStatus = m_pQuery->GetLong(m_oHandles[static_cast<size_t>(iFound)], m_lCounterValue);
  if (m_lLastStatus != PDH_CSTATUS_VALID_DATA) {
    LogWithStatus("CPW GetValue failed: ", m_lLastStatus);
    return -1;
  }
  ZuvLogEvent("CPW GetVal() worked.");
  return m_lCounterValue;
}

// One pass over the keys not yet active; bAborted is set when a collection or read failed.
bool CPW::ActivityPass(bool& bAborted) {
  m_bFlag = true;
  for (size_t u = 0; u < m_oHandles.size(); ++u) {
    if (m_oLastValues[u] > 0) continue;
    m_lLastStatus = m_pQuery->Collect();
    if (m_lLastStatus != PDH_CSTATUS_VALID_DATA) {
      ZuvLogError("CPW Activity Q failed.");
      bAborted = true;
      break;
    }
    m_lLastStatus = m_pQuery->GetLong(m_oHandles[u], m_lCounterValue);
    if (m_lLastStatus != PDH_CSTATUS_VALID_DATA) {
      LogWithStatus("CPW Activity() Get failed: ", m_lLastStatus);
      ZuvLogError("Your process may not be running.");
      bAborted = true;
      break;
    }
    if (m_lCounterValue > 0) {
      m_oLastValues[u] = m_lCounterValue;
    } else {
      m_bFlag = false;
    }
  }
  if (bAborted) m_bFlag = false;
  return m_bFlag;
}

bool CPW::Activity() {
  const std::time_t tStart = std::time(nullptr);
  if (!m_bQueryReady && !OpenQuery()) return false;
  m_bFlag = true;
  std::fill(m_oLastValues.begin(), m_oLastValues.end(), 0);
  bool bResult = false;
  if (m_uSampleSeconds != 0) {
    bool bAborted = false;
    while (true) {
      if (ActivityPass(bAborted)) {
        bResult = true;
        break;
      }
      if (bAborted) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(m_iSamplePeriodMs));
      const auto uPassed = static_cast<uint32_t>(std::time(nullptr) - tStart);
      if (uPassed >= m_uSampleSeconds) break;
    }
  }
  ReportInactive();
  return bResult;
}

void CPW::ReportInactive() {
  for (size_t u = 0; u < m_oLastValues.size(); ++u) {
    if (m_oLastValues[u] > 0) continue;
    ZuvLogError("**---------------------------------------------------------------");
    const std::string sText = std::string("Activity read 0: ") + KeyAt(static_cast<int>(u));
    ZuvLogError(sText.c_str());
  }
}

bool CPW::GetDelta(int iIndex, int32_t& lDelta) const {
  if (iIndex < 0 || static_cast<size_t>(iIndex) >= m_oDeltas.size()) return false;
  lDelta = m_oDeltas[static_cast<size_t>(iIndex)];
  return true;
}

std::string CPW::GetFirstFailure() {
  for (size_t u = 0; u < m_oLastValues.size(); ++u) {
    if (m_oLastValues[u] <= 0) return KeyAt(static_cast<int>(u));
  }
  return "";
}

}  // namespace wdx
