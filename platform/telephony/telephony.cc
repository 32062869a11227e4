// The telephony object: one address over the backends, the notification thread, and the list
// of calls that a shutdown hangs up.
#include "platform/telephony/telephony.h"

#include <mutex>

#include "platform/platform_log.h"
#include "platform/speech/speech.h"
#include "platform/telephony/tel_backend.h"
#include "platform/telephony/tel_events.h"

namespace wdx {
namespace {

constexpr size_t kMaxNumberLength = 255;
constexpr size_t kLoggedNumberLength = 64;

void LogRefusedNumber(const std::string& sNumber, const char* szReason) {
  std::string sShown = sNumber.substr(0, kLoggedNumberLength);
  if (sNumber.size() > kLoggedNumberLength) sShown += "...";
  const std::string sText = "Telephony: cannot dial \"" + sShown + "\": " + szReason;
  PlatformLogError(sText.c_str());
}

// What the telephony object and its address share; the address may outlive the object.
struct STelCore {
  std::shared_ptr<CTelEventHub> m_pHub = std::make_shared<CTelEventHub>();
  std::vector<std::unique_ptr<ITelBackend>> m_aBackends;
  std::mutex m_oLock;
  bool m_bInitialized = false;
  std::vector<std::weak_ptr<ITelCall>> m_aCalls;  // to hang up at shutdown
};

class CTelAddress final : public ITelAddress {
 public:
  explicit CTelAddress(std::shared_ptr<STelCore> pCore) : m_pCore(std::move(pCore)) {}

  const std::string& GetName() const override { return m_sName; }
  HRESULT QueryMediaType(int iMediaType) override {
    return iMediaType == TAPIMEDIATYPE_AUDIO ? S_OK : S_FALSE;
  }
  HRESULT CreateCall(const std::string& sNumber, int iAddressType, int iMediaTypes,
                     std::shared_ptr<ITelCall>& pCall) override;

 private:
  const std::string m_sName = "Wardenix line";
  const std::shared_ptr<STelCore> m_pCore;
};

HRESULT CTelAddress::CreateCall(const std::string& sNumber, int iAddressType, int iMediaTypes,
                                std::shared_ptr<ITelCall>& pCall) {
  pCall.reset();
  if (iAddressType != LINEADDRESSTYPE_PHONENUMBER || (iMediaTypes & TAPIMEDIATYPE_AUDIO) == 0) {
    return E_INVALIDARG;
  }
  if (sNumber.empty() || sNumber.size() > kMaxNumberLength) {
    LogRefusedNumber(sNumber, sNumber.empty() ? "the number is empty" : "the number is too long");
    return TEL_E_BADNUMBER;
  }
  std::lock_guard<std::mutex> oGuard(m_pCore->m_oLock);
  if (!m_pCore->m_bInitialized) return TEL_E_NOTINITIALIZED;
  for (const auto& pBackend : m_pCore->m_aBackends) {
    if (!pBackend->CanDial(sNumber)) continue;
    const HRESULT hr = pBackend->CreateCall(sNumber, m_pCore->m_pHub, pCall);
    if (hr == TEL_E_BADNUMBER && pBackend.get() == m_pCore->m_aBackends.front().get()) {
      LogRefusedNumber(sNumber, "no such simulated callee");
    }
    if (hr == TEL_E_NOLINE) {
      LogRefusedNumber(sNumber, "no telephone line is configured for this number");
    }
    if (!Succeeded(hr)) return hr;
    auto& aCalls = m_pCore->m_aCalls;
    std::erase_if(aCalls, [](const std::weak_ptr<ITelCall>& pOld) { return pOld.expired(); });
    aCalls.push_back(pCall);
    return S_OK;
  }
  LogRefusedNumber(sNumber, "no telephone line is configured for this number");
  return TEL_E_NOLINE;
}

class CTelephony final : public ITelephony {
 public:
  CTelephony(const std::string& sWorkingFolder, FnSipAccount fnSipAccount)
      : m_pCore(std::make_shared<STelCore>()) {
    m_pCore->m_aBackends.push_back(CreateSimBackend(sWorkingFolder));
    m_pCore->m_aBackends.push_back(CreateSipBackend(std::move(fnSipAccount)));
    m_pAddress = std::make_shared<CTelAddress>(m_pCore);
  }
  ~CTelephony() override { Shutdown(); }
  CTelephony(const CTelephony&) = delete;
  CTelephony& operator=(const CTelephony&) = delete;

  HRESULT Initialize() override;
  HRESULT Shutdown() override;
  HRESULT EnumerateAddresses(std::vector<std::shared_ptr<ITelAddress>>& aAddresses) override;
  HRESULT Advise(ITelEventSink* pSink, uint32_t& uCookie) override;
  HRESULT Unadvise(uint32_t uCookie) override;
  HRESULT SetEventFilter(int iEventMask) override;

 private:
  const std::shared_ptr<STelCore> m_pCore;
  std::shared_ptr<ITelAddress> m_pAddress;
};

HRESULT CTelephony::Initialize() {
  std::lock_guard<std::mutex> oGuard(m_pCore->m_oLock);
  if (!m_pCore->m_bInitialized) {
    m_pCore->m_pHub->Start();
    m_pCore->m_bInitialized = true;
  }
  return S_OK;
}

HRESULT CTelephony::Shutdown() {
  std::vector<std::weak_ptr<ITelCall>> aCalls;
  {
    std::lock_guard<std::mutex> oGuard(m_pCore->m_oLock);
    if (!m_pCore->m_bInitialized) return S_OK;
    m_pCore->m_bInitialized = false;
    aCalls.swap(m_pCore->m_aCalls);
  }
  for (const auto& pWeak : aCalls) {
    if (auto pCall = pWeak.lock()) pCall->Disconnect();
  }
  m_pCore->m_pHub->Stop();  // after the hang-ups have been told
  return S_OK;
}

HRESULT CTelephony::EnumerateAddresses(std::vector<std::shared_ptr<ITelAddress>>& aAddresses) {
  aAddresses.clear();
  std::lock_guard<std::mutex> oGuard(m_pCore->m_oLock);
  if (!m_pCore->m_bInitialized) return TEL_E_NOTINITIALIZED;
  aAddresses.push_back(m_pAddress);
  return S_OK;
}

HRESULT CTelephony::Advise(ITelEventSink* pSink, uint32_t& uCookie) {
  uCookie = m_pCore->m_pHub->Advise(pSink);
  return uCookie != 0 ? S_OK : E_POINTER;
}

HRESULT CTelephony::Unadvise(uint32_t uCookie) {
  return m_pCore->m_pHub->Unadvise(uCookie) ? S_OK : E_INVALIDARG;
}

HRESULT CTelephony::SetEventFilter(int iEventMask) {
  m_pCore->m_pHub->SetFilter(iEventMask & (TE_CALLNOTIFICATION | TE_CALLSTATE | TE_DIGITEVENT));
  return S_OK;
}

}  // namespace

const char* DescribeTelephonyResult(HRESULT hr) {
  switch (hr) {
    case S_OK:
      return "success";
    case TEL_E_BADNUMBER:
      return "not a number that can be dialled";
    case TEL_E_NOLINE:
      return "no telephone line for this number";
    case TEL_E_BUSY:
      return "busy";
    case TEL_E_NOANSWER:
      return "no answer";
    case TEL_E_REJECTED:
      return "the call was rejected";
    case TEL_E_DISCONNECTED:
      return "the call was disconnected";
    case TEL_E_NOTINITIALIZED:
      return "telephony is not initialised";
    case E_INVALIDARG:
      return "invalid argument";
    case E_FAIL:
      return "failure";
    default:
      return "unknown telephony result";
  }
}

HRESULT CreateTelephony(const std::string& sWorkingFolder,
                        std::unique_ptr<ITelephony>& pTelephony) {
  return CreateTelephony(sWorkingFolder, FnSipAccount(), pTelephony);
}

HRESULT CreateTelephony(const std::string& sWorkingFolder, FnSipAccount fnSipAccount,
                        std::unique_ptr<ITelephony>& pTelephony) {
  pTelephony = std::make_unique<CTelephony>(sWorkingFolder, std::move(fnSipAccount));
  return S_OK;
}

}  // namespace wdx
