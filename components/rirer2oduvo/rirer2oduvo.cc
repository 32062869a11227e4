#include "components/rirer2oduvo/rirer2oduvo.h"

#include <string>

#include "components/rirer2oduvo/calling_thread.h"
#include "components/rirer2oduvo/tapi_event_thread.h"
#include "foundation/process_log.h"

namespace wdx {
namespace {

using rirer::CCallingThread;
using rirer::CThreadOwner;

constexpr HRESULT kTypeMismatch = static_cast<HRESULT>(0x80020005u);
constexpr int kUnlockRetries = 100;
constexpr int kLockWaitMs = rirer::OWNER_LOCK_WAIT_MS;

void Answer(int32_t* plResult, bool bTrue) {
  if (plResult != nullptr) *plResult = bTrue ? -1 : 0;
}

// The Variant as text; false when it cannot be converted.
bool TextOf(const CVariant& vValue, std::string& sText) {
  CVariant vText = vValue;
  if (vText.GetType() != VT_BSTR && !vText.ChangeTypeToString()) return false;
  sText = vText.GetString();
  return true;
}

}  // namespace

CRirer2Oduvo::CRirer2Oduvo(rirer::IPhoneEngines& oEngines) : m_oEngines(oEngines) {}

CRirer2Oduvo::~CRirer2Oduvo() {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  DisposeOwner();
  m_pLog.reset();  // removes itself from the process log pointer
}

void CRirer2Oduvo::DisposeOwner() {
  std::unique_ptr<CThreadOwner> pOwner;
  {
    std::lock_guard<std::mutex> oGuard(m_oOwnerLock);
    pOwner = std::move(m_pOwner);
  }
  CThreadOwner::Dispose(std::move(pOwner));
}

CCallingThread* CRirer2Oduvo::CallingThread() const {
  return m_pOwner ? m_pOwner->GetCallingThread() : nullptr;
}

bool CRirer2Oduvo::OpenLog(const std::string& sFolder) {
  auto pLog = std::make_unique<CLogFile>();
  pLog->SetMaxSize(LOG_DEFAULT_MAX_SIZE);
  pLog->SetFolder(sFolder.c_str());
  if (!pLog->Initialize(PHONE_LOG_BASE_NAME)) return false;
  SetProcessLog(pLog.get());
  m_pLog = std::move(pLog);  // the previous log (a second Initialize) closes here
  for (int iCount : {42, 41, 40, 39}) ZuvLogMessage(std::string(iCount, 'X').c_str());
  ZuvLogMessage("XXXX   Rirer2Oduvo Started");
  for (int iCount : {37, 36}) ZuvLogMessage(std::string(iCount, 'X').c_str());
  return true;
}

HRESULT CRirer2Oduvo::Initialize(const CVariant& pvWorkingDirectory, int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  Answer(plngResult, false);
  std::string sFolder;
  if (!TextOf(pvWorkingDirectory, sFolder)) return kTypeMismatch;
  if (!sFolder.empty() && sFolder.back() != '/') sFolder += '/';
  // Called again: the first owner's threads end before anything is replaced.
  DisposeOwner();
  m_oStrWorkingDirectory.Assign(sFolder.c_str());
  const bool bLogOpen = OpenLog(sFolder);
  auto pOwner = std::make_unique<CThreadOwner>(m_oEngines);
  pOwner->m_oStrWorkingDirectory.Assign(m_oStrWorkingDirectory);
  const bool bStarted = pOwner->StartThreads();
  {
    std::lock_guard<std::mutex> oOwnerGuard(m_oOwnerLock);
    m_pOwner = std::move(pOwner);
  }
  Answer(plngResult, bLogOpen && bStarted);
  return S_OK;
}

HRESULT CRirer2Oduvo::AddAddress(const CVariant& pvName, const CVariant& pvNumber,
                                 int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  Answer(plngResult, false);
  std::string sName, sNumber;
  if (!TextOf(pvName, sName) || !TextOf(pvNumber, sNumber)) return kTypeMismatch;
  if (!m_pOwner) return S_OK;
  rirer::CContactLedger& oLedger = m_pOwner->m_oContactLedger;
  if (!oLedger.Lock(kLockWaitMs)) {
    ZuvLogError("CRirer2Oduvo::AddAddress() cannot lock m_oContactLedger.");
    return S_OK;
  }
  const bool bAdded = oLedger.AddAddress(sName, sNumber);
  if (!oLedger.UnLock(kUnlockRetries)) {
    ZuvLogError("CRirer2Oduvo::AddAddress() cannot unlock m_oContactLedger.");
  }
  Answer(plngResult, bAdded);
  return S_OK;
}

HRESULT CRirer2Oduvo::DeleteAddresses(int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  Answer(plngResult, false);
  if (!m_pOwner) return S_OK;
  rirer::CContactLedger& oLedger = m_pOwner->m_oContactLedger;
  if (!oLedger.Lock(kLockWaitMs)) {
    ZuvLogError("CRirer2Oduvo::DeleteAddresses() cannot lock m_oContactLedger.");
    return S_OK;
  }
  const bool bDeleted = oLedger.DeleteAll();
  if (!oLedger.UnLock(kUnlockRetries)) {
    ZuvLogError("CRirer2Oduvo::DeleteAddresses() cannot unlock m_oContactLedger.");
  }
  Answer(plngResult, bDeleted);
  return S_OK;
}

HRESULT CRirer2Oduvo::SendAlerts(int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  Answer(plngResult, false);
  if (!m_pOwner) return S_OK;
  ZuvLogEvent("CRirer2Oduvo::SendAlerts() 1.");
  CCallingThread* pThread = CallingThread();
  if (pThread == nullptr || m_pOwner->m_bCallingThreadEnded) {
    ZuvLogError("CRirer2Oduvo::SendAlerts() failed.");  // nobody to hand the request to
    return S_OK;
  }
  CZuvEvent& oEvent = m_pOwner->m_oEventBeginCalling;
  if (!oEvent.Lock(kLockWaitMs)) {
    ZuvLogError("CRirer2Oduvo::SendAlerts() cannot lock m_oEventBeginCalling.");
    return S_OK;
  }
  pThread->SetWorkingDirectory(m_oStrWorkingDirectory.GetBuffer());
  // The cycle counts as running from the hand-over: a client that polls at once does not read
  // the previous cycle's final status.
  pThread->m_lProcessingStatus = rirer::STATUS_CALLING;
  pThread->m_bSendRequested = true;
  oEvent.Fire();
  if (!oEvent.UnLock(kUnlockRetries)) {
    ZuvLogError("CRirer2Oduvo::SendAlerts() cannot unlock m_oEventBeginCalling.");
    return S_OK;
  }
  ZuvLogEvent("CRirer2Oduvo::SendAlerts() succeeded.");
  Answer(plngResult, true);
  return S_OK;
}

HRESULT CRirer2Oduvo::SetMessage1(const CVariant& pvMessageText) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  std::string sText;
  if (!TextOf(pvMessageText, sText)) return kTypeMismatch;
  CCallingThread* pThread = CallingThread();
  if (pThread == nullptr) return S_OK;
  ZuvLogEvent("CRirer2Oduvo::SetMessage1() 1.");
  CZuvEvent& oLocker = m_pOwner->m_oParamLocker;
  if (!oLocker.Lock(kLockWaitMs)) {
    ZuvLogError("CRirer2Oduvo::SetMessage1() cannot lock m_oParamLocker.");
    return S_OK;
  }
  ZuvLogEvent("CRirer2Oduvo::SetMessage1() 2.");
  // Only the spoken part is kept: a longer text would never be heard.
  pThread->m_oStrMessageText.Assign(rirer::SpokenText(sText, rirer::SPOKEN_TEXT_MAX_CHARS).c_str());
  ZuvLogEvent("CRirer2Oduvo::SetMessage1() 3 MSG Text:");
  ZuvLogEvent(pThread->m_oStrMessageText.GetBuffer());
  if (!oLocker.UnLock(kUnlockRetries)) {
    ZuvLogError("CRirer2Oduvo::SetMessage1() cannot unlock m_oParamLocker.");
  } else {
    ZuvLogEvent("CRirer2Oduvo::SetMessage1() succeeded.");
  }
  return S_OK;
}

HRESULT CRirer2Oduvo::SetAcknowledgeState(const CVariant& pvEnable, int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  Answer(plngResult, false);
  CCallingThread* pThread = CallingThread();
  if (pThread == nullptr) return S_OK;
  CZuvEvent& oLocker = m_pOwner->m_oParamLocker;
  if (!oLocker.Lock(kLockWaitMs)) {
    ZuvLogError("CRirer2Oduvo::SetAcknowledgeState() cannot lock m_oParamLocker.");
    return S_OK;
  }
  pThread->m_bAcknowledge = static_cast<int16_t>(pvEnable.GetInt32()) != 0;
  ZuvLogEvent(pThread->m_bAcknowledge
                  ? "CRirer2Oduvo::SetAcknowledgeState() was set to USE acknowledgement."
                  : "CRirer2Oduvo::SetAcknowledgeState() was set to NOT USE acknowledgement.");
  Answer(plngResult, true);
  if (!oLocker.UnLock(kUnlockRetries)) {
    ZuvLogError("CRirer2Oduvo::SetAcknowledgeState() cannot unlock m_oParamLocker.");
  }
  return S_OK;
}

HRESULT CRirer2Oduvo::MessageType(const CVariant& pvType, int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  Answer(plngResult, false);
  std::string sType;
  if (!TextOf(pvType, sType)) return kTypeMismatch;
  if (!m_pOwner) return S_OK;
  CZuvEvent& oLocker = m_pOwner->m_oParamLocker;
  if (!oLocker.Lock(kLockWaitMs)) {
    ZuvLogError("CRirer2Oduvo::MessageType() cannot lock m_oParamLocker.");
    return S_OK;
  }
  m_pOwner->m_oStrMessageType.Assign(
      rirer::SpokenText(sType, rirer::SPOKEN_TEXT_MAX_CHARS).c_str());
  Answer(plngResult, true);
  if (!oLocker.UnLock(kUnlockRetries)) {
    ZuvLogError("CRirer2Oduvo::MessageType() cannot unlock m_oParamLocker.");
  }
  return S_OK;
}

HRESULT CRirer2Oduvo::GetAcknowledgedStatus(int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  CCallingThread* pThread = CallingThread();
  Answer(plngResult, pThread != nullptr && pThread->m_bAcknowledged);
  return S_OK;
}

HRESULT CRirer2Oduvo::SetRefToZuvEvent(CZuvEvent* pEventObject, int32_t* plngResult) {
  std::lock_guard<std::recursive_mutex> oGuard(m_oLock);
  CCallingThread* pThread = CallingThread();
  if (pThread != nullptr) pThread->m_pZuvEvent = pEventObject;
  Answer(plngResult, pThread != nullptr);
  return S_OK;
}

HRESULT CRirer2Oduvo::GetProcessingStatus(int32_t* plngResult) {
  std::lock_guard<std::mutex> oGuard(m_oOwnerLock);
  CCallingThread* pThread = CallingThread();
  if (plngResult != nullptr)
    *plngResult = pThread != nullptr ? pThread->m_lProcessingStatus.load() : 0;
  return S_OK;
}

HRESULT CRirer2Oduvo::SetProcessingState(const int32_t* plngCommandedState, int32_t* plngResult) {
  std::lock_guard<std::mutex> oGuard(m_oOwnerLock);
  Answer(plngResult, false);
  CCallingThread* pThread = CallingThread();
  if (pThread == nullptr || plngCommandedState == nullptr) return S_OK;
  pThread->m_lCommandedState = *plngCommandedState;
  Answer(plngResult, true);
  return S_OK;
}

HRESULT CRirer2Oduvo::GetInitStatus(const int32_t* plngCommand, int32_t* plngStatus) {
  std::lock_guard<std::mutex> oGuard(m_oOwnerLock);
  Answer(plngStatus, false);
  if (plngCommand == nullptr || !m_pOwner) return S_OK;
  CCallingThread* pThread = m_pOwner->GetCallingThread();
  rirer::CZuvTapiEventThread* pEvents = m_pOwner->GetTapiEventThread();
  switch (*plngCommand) {
    case PHONE_INIT_CALL_THREAD:
      Answer(plngStatus, pThread != nullptr);
      break;
    case PHONE_INIT_SAPI:
      Answer(plngStatus, pThread != nullptr && pThread->m_bSapiReady);
      break;
    case PHONE_INIT_TAPI:
      Answer(plngStatus, pThread != nullptr && pThread->m_bTapiReady);
      break;
    case PHONE_INIT_READY:
      Answer(plngStatus, pEvents != nullptr && pEvents->m_bGo);
      break;
    default:
      break;
  }
  return S_OK;
}

}  // namespace wdx
