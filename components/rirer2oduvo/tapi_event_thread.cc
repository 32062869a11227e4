#include "components/rirer2oduvo/tapi_event_thread.h"

#include "components/rirer2oduvo/calling_thread.h"
#include "components/rirer2oduvo/thread_owner.h"
#include "foundation/process_log.h"
#include "platform/clock.h"
#include "platform/debug_output.h"

namespace wdx::rirer {
namespace {

constexpr int kGoPollMs = 2000;
constexpr int kSettleMs = 150;
constexpr int kUnlockRetries = 100;

const char* CallStateLine(int iState) {
  switch (iState) {
    case CS_INPROGRESS:
      return "CZuvTapiEventThread::OnTapiEvent: CS_INPROGRESS";
    case CS_CONNECTED:
      return "CZuvTapiEventThread::OnTapiEvent: CS_CONNECTED";
    case CS_DISCONNECTED:
      return "CZuvTapiEventThread::OnTapiEvent: CS_DISCONNECTED";
    default:
      return nullptr;
  }
}

}  // namespace

// ---- CTapiEventSink ----

HRESULT CTapiEventSink::Event(const STelEvent& oEvent) {
  AddRef();
  if (CZuvTapiEventThread* pThread = m_pEventThread.load()) pThread->OnTapiEvent(oEvent);
  Release();
  return S_OK;
}

uint32_t CTapiEventSink::Release() {
  const uint32_t lLeft = m_lRefCount.fetch_sub(1) - 1;
  if (lLeft == 0) delete this;
  return lLeft;
}

// ---- CZuvTapiEventThread ----

CZuvTapiEventThread::CZuvTapiEventThread(CThreadOwner* pOwner)
    : m_pOwner(pOwner), m_oEventLock(EVENT_NEW_PHONE_NAME), m_oNotifyLock(EVENT_NEW_PHONE_NAME) {}

CZuvTapiEventThread::~CZuvTapiEventThread() {
  Join();
}

bool CZuvTapiEventThread::Resume() {
  if (m_oThread.joinable()) return true;
  try {
    m_oThread = std::thread([this] { InitInstance(); });
  } catch (...) {
    return false;
  }
  return true;
}

void CZuvTapiEventThread::Join() {
  if (m_oThread.joinable()) m_oThread.join();
}

void CZuvTapiEventThread::Detach() {
  if (m_oThread.joinable()) m_oThread.detach();
}

void CZuvTapiEventThread::InitInstance() {
  Initialize();
  m_bInitEnded = true;
  KeepAlive();
  Unregister();
  ZuvLogEvent("CZuvTapiEventThread::InitInstance() calls ExitInstance");
  m_pOwner->m_bTapiEventThreadEnded = true;
}

bool CZuvTapiEventThread::Initialize() {
  m_bTapiEventThreadIsReady = false;
  m_bInitialized = false;
  ZuvLogEvent("CZuvTapiEventThread::Initialize() 0.");
  while (!m_bGo && !m_pOwner->m_bTerminateThreads) ServiceSleep(kGoPollMs);
  ZuvLogEvent("CZuvTapiEventThread::Initialize() 1.");
  if (m_pOwner->m_bTerminateThreads) {
    ZuvLogEvent("CZuvTapiEventThread::Initialize() got TerminateThread msg .");
    return false;
  }
  m_pTAPIEventNotification = m_pOwner->m_pTAPIEventNotification;
  const char* szMissing = nullptr;
  if (m_pCallingThread == nullptr) {
    szMissing = "CZuvTapiEventThread::Initialize() m_pCallingThread == NULL.";
  } else if (m_pTapi == nullptr) {
    szMissing = "CZuvTapiEventThread::Initialize() m_pTapi == NULL.";
  } else if (m_pTAPIEventNotification == nullptr) {
    szMissing = "CZuvTapiEventThread::Initialize() m_pTAPIEventNotification == NULL.";
  }
  if (szMissing != nullptr) {
    ZuvLogError(szMissing);
    ZuvLogError("CZuvTapiEventThread::Initialize() failed.");
    return false;
  }
  if (m_pTAPIEventNotification->GetRefCount() == 0) m_pTAPIEventNotification->AddRef();
  if (!Succeeded(RegisterTapiEventInterface())) {
    ZuvLogError("CZuvTapiEventThread::Initialize() RegisterTapiEventInterface failed");
    ZuvLogError("CZuvTapiEventThread::Initialize() failed.");
    return false;
  }
  m_pTAPIEventNotification->Attach(this);
  m_bTapiEventThreadIsReady = true;
  ZuvLogEvent("CZuvTapiEventThread::Initialize() succeeded.");
  ServiceSleep(kSettleMs);
  m_bInitialized = true;
  return true;
}

HRESULT CZuvTapiEventThread::RegisterTapiEventInterface() {
  HRESULT hr = m_pTapi->Advise(m_pTAPIEventNotification, m_uAdviseCookie);
  if (!Succeeded(hr)) return hr;
  m_bAdvised = true;
  return m_pTapi->SetEventFilter(TE_CALLNOTIFICATION | TE_CALLSTATE | TE_DIGITEVENT);
}

void CZuvTapiEventThread::Unregister() {
  if (m_pTAPIEventNotification != nullptr) m_pTAPIEventNotification->Attach(nullptr);
  if (m_bAdvised && m_pTapi != nullptr) m_pTapi->Unadvise(m_uAdviseCookie);
  m_bAdvised = false;
}

void CZuvTapiEventThread::OnTapiEvent(const STelEvent& oEvent) {
  ZuvLogEvent("CZuvTapiEventThread::OnTapiEvent 0");
  if (oEvent.m_iEvent == TE_CALLNOTIFICATION) {
    // Incoming calls are not answered.
    ZuvLogEvent("CZuvTapiEventThread::OnTapiEvent: TE_CALLNOTIFICATION");
  } else if (oEvent.m_iEvent == TE_CALLSTATE) {
    ZuvLogEvent("CZuvTapiEventThread::OnTapiEvent: TE_CALLSTATE");
    if (m_pCallingThread != nullptr) m_pCallingThread->m_lCallState = oEvent.m_iCallState;
    if (const char* szLine = CallStateLine(oEvent.m_iCallState)) ZuvLogEvent(szLine);
  } else if (oEvent.m_iEvent == TE_DIGITEVENT) {
    ZuvLogEvent(("CZuvTapiEventThread::OnTapiEvent: TE_DIGITEVENT " + std::string(1, oEvent.m_cDigit))
                    .c_str());
    // Pressing 1 answers as saying YES does; only a key of the call on the line counts.
    if (m_pCallingThread != nullptr && oEvent.m_cDigit == '1' &&
        m_pCallingThread->m_lCallState == CS_CONNECTED) {
      m_pCallingThread->m_bKeypadYes = true;
    }
  } else {
    ZuvLogEvent("CZuvTapiEventThread::OnTapiEvent: event was not processed");
  }
  if (m_oNotifyLock.Lock(OWNER_LOCK_WAIT_MS)) {
    m_oNotifyLock.UnLock(kUnlockRetries);
  } else {
    DebugOutput("CZuvTapiEventThread::OnTapiEvent cannot lock m_oEventNewPhone.\n");
  }
  m_pOwner->m_oEventNewPhone.Fire();
}

void CZuvTapiEventThread::KeepAlive() {
  CZuvEvent& oEvent = m_pOwner->m_oEventNewPhone;
  oEvent.SetTimeout(m_iWaitTimeoutMs);
  while (!m_pOwner->m_bTerminateThreads) {
    const bool bLocked = m_oEventLock.Lock(OWNER_LOCK_WAIT_MS);
    oEvent.Clear();
    if (bLocked) m_oEventLock.UnLock(kUnlockRetries);
    // An end requested while the event was cleared is seen here, not 10 s later.
    if (m_pOwner->m_bTerminateThreads) break;
    oEvent.Wait();
  }
}

}  // namespace wdx::rirer
