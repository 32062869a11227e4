#include "service/alerts/phoner.h"

#include <utility>

#include "foundation/process_log.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

IRirer2Oduvo* CreateRegisteredComponent() {
  IRirer2Oduvo* pComponent = nullptr;
  const HRESULT hr =
      CreateInstance(CLSID_Rirer2Oduvo, IID_IRirer2Oduvo, reinterpret_cast<void**>(&pComponent));
  return Succeeded(hr) ? pComponent : nullptr;
}

// Releases the reference it holds when it goes.
class CComponentRef final {
 public:
  explicit CComponentRef(IRirer2Oduvo* p) : m_p(p) {}
  ~CComponentRef() {
    if (m_p != nullptr) m_p->Release();
  }
  CComponentRef(const CComponentRef&) = delete;
  CComponentRef& operator=(const CComponentRef&) = delete;
  IRirer2Oduvo* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  IRirer2Oduvo* m_p;
};

}  // namespace

const char* PhonePhraseOf(int32_t lMessageType) {
  switch (lMessageType) {
    case PHONE_MSG_APP_UP: return "Application is up again.";
    case PHONE_MSG_APP_DOWN: return "Application is down.";
    case PHONE_MSG_SERVER_UP: return "Server is back up.";
    case PHONE_MSG_SERVER_DOWN: return "Server is down.";
    case PHONE_MSG_LOCAL_URL_UP: return "Local URL is back up!";
    case PHONE_MSG_LOCAL_URL_DOWN: return "Local URL is down.";
    case PHONE_MSG_REMOTE_URL_UP: return "Remote URL is back up.";
    case PHONE_MSG_REMOTE_URL_DOWN: return "Remote URL is down.";
    default: return "";
  }
}

CPhoner::CPhoner() : CPhoner(&CreateRegisteredComponent) {}

CPhoner::CPhoner(ComponentFactory fnFactory)
    : CZuvBase("CPhoner"), m_fnFactory(std::move(fnFactory)) {}

CPhoner::~CPhoner() {
  Release();
}

IRirer2Oduvo* CPhoner::AcquireComponent() const {
  std::lock_guard<std::mutex> oGuard(m_oComponentLock);
  if (m_pRirer2Oduvo != nullptr) m_pRirer2Oduvo->AddRef();
  return m_pRirer2Oduvo;
}

void CPhoner::Release() {
  IRirer2Oduvo* pGone = nullptr;
  {
    std::lock_guard<std::mutex> oGuard(m_oComponentLock);
    std::swap(pGone, m_pRirer2Oduvo);
  }
  // The last reference ends the component's threads, which may take a few seconds.
  if (pGone != nullptr) pGone->Release();
}

bool CPhoner::Initialize(CAllSets* pSettings) {
  m_bInitialized = false;
  m_bFullReady = false;
  m_pSettings = pSettings;
  if (pSettings == nullptr) {
    ZuvLogError("CPhoner::Initialize() failed.");
    return false;
  }
  bool bOk = false;
  if (CComponentRef pOld{AcquireComponent()}) {
    int32_t lStatus = 0;
    int32_t lResult = 0;
    pOld->GetProcessingStatus(&lStatus);
    pOld->SetProcessingState(&PHONE_COMMAND_STOP, &lResult);
    ServiceSleep(1000);
    pOld->GetProcessingStatus(&lStatus);
  }
  {
    std::lock_guard<std::mutex> oGuard(m_oComponentLock);
    bOk = m_pRirer2Oduvo != nullptr;
  }
  bOk = bOk ? ReCreateRirer2Oduvo() : CreateRirer2Oduvo() != nullptr;
  if (!bOk) ZuvLogError("CPhoner::Initialize() failed.");
  m_bInitialized = bOk;
  return bOk;
}

IRirer2Oduvo* CPhoner::CreateRirer2Oduvo() {
  ZuvLogEvent("CPhoner::1");
  // The component layer needs no per-thread initialisation: it is always ready.
  DebugOutput("CPhoner::CoInitialize OK in CPhoner\n");
  ZuvLogEvent("CPhoner::CPW 2");
  IRirer2Oduvo* pComponent = m_fnFactory ? m_fnFactory() : nullptr;
  ZuvLogEvent("CPhoner::CPW 3");
  bool bOk = false;
  if (pComponent == nullptr) {
    ZuvLogError("CPhoner::3");
  } else {
    ZuvLogEvent("CPhoner::4");
    ZuvLogEvent("CPhoner::5");
    ZuvLogEvent("CPhoner::6");
    ZuvLogEvent(m_oStrWorkingDirectory.GetBuffer());
    int32_t lResult = 0;
    pComponent->Initialize(CVariant(m_oStrWorkingDirectory.GetBuffer()), &lResult);
    ZuvLogEvent("CPhoner::7");
    if (lResult == -1) {
      ZuvLogEvent("CPhoner::8");
      bOk = true;
    }
  }
  if (!bOk) {
    ZuvLogError("CPhoner::CreateRirer2Oduvo failed.");
    ZuvLogMessage("Wardenix will not work unless you either:");
    ZuvLogMessage(" 1) disable the Phone Alerts in you settings, or");
    ZuvLogMessage(" 2) fix the config problem. Probably bad SAPI or TAPI.");
  }
  m_bFullReady = bOk;
  ZuvLogEvent("CPhoner::CPW done");
  {
    std::lock_guard<std::mutex> oGuard(m_oComponentLock);
    m_pRirer2Oduvo = pComponent;
  }
  return pComponent;
}

bool CPhoner::ReCreateRirer2Oduvo() {
  Release();
  if (CreateRirer2Oduvo() == nullptr) {
    ZuvLogError("CPhoner::ReCreateRirer2Oduvo failed.");
    return false;
  }
  return true;
}

bool CPhoner::GetPhoneReadyState() {
  CComponentRef pComponent{AcquireComponent()};
  std::atomic<bool>* aFlags[4] = {&m_bCallThreadReady, &m_bSapiReady, &m_bTapiReady, &m_bFullReady};
  for (int i = 0; i < 4; ++i) {
    int32_t lAnswer = 0;
    const int32_t lQuery = PHONE_INIT_CALL_THREAD + i;
    if (pComponent) pComponent->GetInitStatus(&lQuery, &lAnswer);
    *aFlags[i] = lAnswer == -1;
  }
  return static_cast<bool>(pComponent);
}

void CPhoner::GetReadyFlags(unsigned char aReady[4]) const {
  aReady[0] = m_bCallThreadReady ? 1 : 0;
  aReady[1] = m_bSapiReady ? 1 : 0;
  aReady[2] = m_bTapiReady ? 1 : 0;
  aReady[3] = m_bFullReady ? 1 : 0;
}

int32_t CPhoner::GetProcessingStatus() {
  CComponentRef pComponent{AcquireComponent()};
  int32_t lStatus = 0;
  if (pComponent) pComponent->GetProcessingStatus(&lStatus);
  return lStatus;
}

bool CPhoner::GetAcknowledged() {
  CComponentRef pComponent{AcquireComponent()};
  int32_t lResult = 0;
  if (pComponent) pComponent->GetAcknowledgedStatus(&lResult);
  return lResult == -1;
}

}  // namespace wdx
