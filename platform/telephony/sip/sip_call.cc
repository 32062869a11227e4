#include "platform/telephony/sip/sip_call.h"

#include <netdb.h>
#include <re.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>

#include "platform/clock.h"
#include "platform/platform_log.h"
#include "platform/speech/speech.h"
#include "platform/telephony/sip/sip_agent.h"
#include "platform/telephony/sip/sip_info.h"
#include "platform/telephony/sip/sip_media.h"
#include "platform/telephony/sip/sip_stack.h"

namespace wdx::sip {
namespace {

// How long past the ring time-out Connect waits for the SIP thread before it gives up itself.
constexpr int kDecisionGraceMs = 10000;

std::string Text(const struct pl& oText) {
  return std::string(oText.p ? oText.p : "", oText.l);
}

HRESULT MapStatus(uint16_t uStatus) {
  switch (uStatus) {
    case 486:
    case 600:
      return TEL_E_BUSY;
    case 408:
    case 480:
    case 487:
      return TEL_E_NOANSWER;
    default:
      return TEL_E_REJECTED;
  }
}

// The numeric address of a hop, found with the system's resolver (so /etc/hosts counts).
bool Resolve(const SSipHop& oHop, struct sa& oAddress, std::string& sError) {
  struct addrinfo oHints {};
  oHints.ai_family = AF_UNSPEC;
  oHints.ai_socktype = oHop.m_eTransport == ESipTransport::TCP ? SOCK_STREAM : SOCK_DGRAM;
  struct addrinfo* pFound = nullptr;
  const int iError =
      ::getaddrinfo(oHop.m_sHost.c_str(), std::to_string(oHop.m_uPort).c_str(), &oHints, &pFound);
  if (iError != 0 || pFound == nullptr) {
    sError = "cannot find the host " + oHop.m_sHost + ": " + ::gai_strerror(iError);
    return false;
  }
  const bool bOk = sa_set_sa(&oAddress, pFound->ai_addr) == 0;
  ::freeaddrinfo(pFound);
  if (!bOk) sError = "cannot use the address of the host " + oHop.m_sHost;
  return bOk;
}

std::string AddressText(const struct sa& oAddress) {
  char szText[64] = "";
  sa_ntop(&oAddress, szText, sizeof(szText));
  return szText;
}

}  // namespace

// The SIP side of a call. Lives on the SIP thread: created by Dial, released (session ended,
// audio stopped) by Release, freed there too.
struct CSipCall::SLeg : std::enable_shared_from_this<CSipCall::SLeg> {
  SLeg(std::weak_ptr<CSipCall> pCall, const SSipCallSetup& oSetup)
      : m_pCall(std::move(pCall)), m_oSetup(oSetup) {
    tmr_init(&m_oRingTimer);
  }
  ~SLeg() { Release(); }
  SLeg(const SLeg&) = delete;
  SLeg& operator=(const SLeg&) = delete;

  bool Start(const struct sa& oDest, std::string& sError);
  // Ends the session (CANCEL while it rings, BYE once answered) and stops the audio. bLater:
  // from within a libre handler of the session, which must not free it under its own feet.
  void Release(bool bLater = false);
  // Ends the session only (the ring timer and the audio stay).
  void DropSession(bool bLater);

  static int OnAuth(char** ppUser, char** ppPassword, const char* szRealm, void* pArg);
  static int OnOffer(struct mbuf** ppAnswer, const struct sip_msg* pMsg, void* pArg);
  static int OnAnswer(const struct sip_msg* pMsg, void* pArg);
  static void OnProgress(const struct sip_msg* pMsg, void* pArg);
  static void OnEstablished(const struct sip_msg* pMsg, void* pArg);
  static void OnInfo(struct sip* pSip, const struct sip_msg* pMsg, void* pArg);
  static void OnClose(int iError, const struct sip_msg* pMsg, void* pArg);
  static void OnRingTimeout(void* pArg);
  void OnDigit(char cDigit);

  const std::weak_ptr<CSipCall> m_pCall;
  const SSipCallSetup m_oSetup;
  struct sipsess* m_pSession = nullptr;
  std::unique_ptr<CSipMedia> m_pMedia;
  struct tmr m_oRingTimer;
  bool m_bAnswered = false;
  std::string m_sAnswerProblem;  // why the far end's answer could not be used
};

bool CSipCall::SLeg::Start(const struct sa& oDest, std::string& sError) {
  struct sa oLocal;
  if (!FindLocalAddress(oDest, oLocal, sError)) return false;
  SSipEndpoint* pEndpoint = CSipAgent::Get().GetEndpoint(oLocal, sError);
  if (pEndpoint == nullptr) return false;
  if (!CSipMedia::Create(
          oLocal, [this](char cDigit) { OnDigit(cDigit); }, m_pMedia, sError)) {
    return false;
  }
  struct mbuf* pOffer = nullptr;
  int iError = m_pMedia->EncodeOffer(&pOffer);
  if (iError != 0) {
    sError = std::string("cannot write the audio offer: ") + std::strerror(iError);
    return false;
  }
  // The request goes to the next hop's numeric address (libre adds ";lr"); a direct number
  // that names its host by address needs no route.
  const SSipHop& oHop = m_oSetup.m_oTarget.m_oNextHop;
  struct sa oNumeric;
  const bool bRoute =
      !m_oSetup.m_oTarget.m_bDirect || sa_set_str(&oNumeric, oHop.m_sHost.c_str(), 0) != 0;
  const std::string sRoute = "sip:" + FormatHostPort(AddressText(oDest), sa_port(&oDest)) +
                             (oHop.m_eTransport == ESipTransport::TCP ? ";transport=tcp" : "");
  const char* aRoutes[] = {sRoute.c_str()};
  const std::string sFrom = m_oSetup.m_sFromUri.empty()
                                ? "sip:wardenix@" + FormatHostPort(AddressText(oLocal), 0)
                                : m_oSetup.m_sFromUri;
  const std::string sContact = m_oSetup.m_sAuthUser.empty() ? "wardenix" : m_oSetup.m_sAuthUser;
  iError = sipsess_connect(
      &m_pSession, pEndpoint->m_pSessions, m_oSetup.m_oTarget.m_sRequestUri.c_str(), "Wardenix",
      sFrom.c_str(), sContact.c_str(), bRoute ? aRoutes : nullptr, bRoute ? 1 : 0,
      "application/sdp", pOffer, OnAuth, this, false, OnOffer, OnAnswer, OnProgress, OnEstablished,
      OnInfo, nullptr, OnClose, this, "Allow: INVITE, ACK, BYE, CANCEL, INFO\r\n");
  mem_deref(pOffer);
  if (iError != 0) {
    m_pSession = nullptr;
    sError = std::string("cannot send the INVITE: ") + std::strerror(iError);
    return false;
  }
  tmr_start(&m_oRingTimer, static_cast<uint64_t>(ScaleInterval(kSipRingTimeoutMs)), OnRingTimeout,
            this);
  return true;
}

void CSipCall::SLeg::Release(bool bLater) {
  tmr_cancel(&m_oRingTimer);
  DropSession(bLater);
  if (m_pMedia) m_pMedia->Stop();
  if (!bLater) m_pMedia.reset();
}

void CSipCall::SLeg::DropSession(bool bLater) {
  if (m_pSession == nullptr) return;
  struct sipsess* pSession = m_pSession;
  m_pSession = nullptr;
  // Later: the leg stays until then, as the session may still call it.
  if (!bLater ||
      !CSipStack::Get().Post([pSession, pSelf = shared_from_this()] { mem_deref(pSession); })) {
    mem_deref(pSession);
  }
}

int CSipCall::SLeg::OnAuth(char** ppUser, char** ppPassword, const char*, void* pArg) {
  const SLeg& oLeg = *static_cast<SLeg*>(pArg);
  if (oLeg.m_oSetup.m_sAuthUser.empty()) return EAUTH;
  const int iError = str_dup(ppUser, oLeg.m_oSetup.m_sAuthUser.c_str());
  return iError != 0 ? iError : str_dup(ppPassword, oLeg.m_oSetup.m_sPassword.c_str());
}

int CSipCall::SLeg::OnOffer(struct mbuf** ppAnswer, const struct sip_msg* pMsg, void* pArg) {
  SLeg& oLeg = *static_cast<SLeg*>(pArg);
  std::string sReason;
  if (oLeg.m_pMedia && oLeg.m_pMedia->TakeOffer(pMsg->mb, ppAnswer, sReason)) return 0;
  const std::string sText = "SIP: call to " + oLeg.m_oSetup.m_sNumber +
                            ": a new offer from the far end was refused: " + sReason;
  PlatformLogError(sText.c_str());
  return EPROTO;
}

int CSipCall::SLeg::OnAnswer(const struct sip_msg* pMsg, void* pArg) {
  SLeg& oLeg = *static_cast<SLeg*>(pArg);
  std::string sReason;
  if (oLeg.m_pMedia && oLeg.m_pMedia->TakeAnswer(pMsg->mb, sReason)) return 0;
  oLeg.m_sAnswerProblem = sReason.empty() ? "no audio" : sReason;
  return EPROTO;  // libre acknowledges the 200, hangs up and tells OnClose
}

void CSipCall::SLeg::OnProgress(const struct sip_msg*, void*) {}  // still ringing

void CSipCall::SLeg::OnEstablished(const struct sip_msg*, void* pArg) {
  SLeg& oLeg = *static_cast<SLeg*>(pArg);
  tmr_cancel(&oLeg.m_oRingTimer);
  oLeg.m_bAnswered = true;
  const std::shared_ptr<CSipCall> pCall = oLeg.m_pCall.lock();
  std::string sError;
  if (pCall == nullptr || !oLeg.m_pMedia->Start(sError)) {
    oLeg.Release(true);
    if (pCall) pCall->Decide(TEL_E_REJECTED, "the call's audio cannot start: " + sError);
    return;
  }
  if (pCall->Connected(oLeg.m_pMedia->GetWaveOutId(), oLeg.m_pMedia->GetWaveInId()) == 0) {
    oLeg.Release(true);  // hung up meanwhile
  }
}

void CSipCall::SLeg::OnInfo(struct sip* pSip, const struct sip_msg* pMsg, void* pArg) {
  SLeg& oLeg = *static_cast<SLeg*>(pArg);
  const std::string sType = Text(pMsg->ctyp.type) + "/" + Text(pMsg->ctyp.subtype);
  const std::string sBody(reinterpret_cast<const char*>(mbuf_buf(pMsg->mb)),
                          mbuf_get_left(pMsg->mb));
  const char cDigit = ReadInfoDigit(sType, sBody);
  if (cDigit == 0 && !IsKeypadInfo(sType)) {
    (void)sip_reply(pSip, pMsg, 415, "Unsupported Media Type");
    return;
  }
  (void)sip_reply(pSip, pMsg, 200, "OK");
  if (cDigit != 0) oLeg.OnDigit(cDigit);
}

void CSipCall::SLeg::OnDigit(char cDigit) {
  const std::shared_ptr<CSipCall> pCall = m_pCall.lock();
  if (pCall && pCall->GetCallState() == CS_CONNECTED) pCall->m_pHub->PostDigit(pCall, cDigit);
}

void CSipCall::SLeg::OnClose(int iError, const struct sip_msg* pMsg, void* pArg) {
  SLeg& oLeg = *static_cast<SLeg*>(pArg);
  if (!oLeg.m_bAnswered && pMsg == nullptr && iError == ETIMEDOUT) {
    // Nothing came back at all: the ring time-out decides, as for a callee that never answers.
    oLeg.DropSession(true);
    return;
  }
  const bool bAnswered = oLeg.m_bAnswered;
  const std::string sProblem = oLeg.m_sAnswerProblem;
  oLeg.Release(true);
  const std::shared_ptr<CSipCall> pCall = oLeg.m_pCall.lock();
  if (pCall == nullptr) return;
  if (bAnswered) {
    pCall->Ended(iError == ECONNRESET ? "the far end hung up"
                                      : std::string("the call was lost: ") + std::strerror(iError));
  } else if (pMsg != nullptr && pMsg->scode >= 300) {
    pCall->Decide(MapStatus(pMsg->scode), std::to_string(pMsg->scode) + " " + Text(pMsg->reason));
  } else if (!sProblem.empty()) {
    pCall->Decide(TEL_E_REJECTED, "the answer cannot be used: " + sProblem);
  } else {
    pCall->Decide(TEL_E_REJECTED, std::string("SIP error: ") + std::strerror(iError));
  }
}

void CSipCall::SLeg::OnRingTimeout(void* pArg) {
  SLeg& oLeg = *static_cast<SLeg*>(pArg);
  oLeg.Release();  // CANCEL (libre sends it once the far end has said anything)
  if (const std::shared_ptr<CSipCall> pCall = oLeg.m_pCall.lock()) {
    pCall->Decide(TEL_E_NOANSWER,
                  "no answer within " + std::to_string(kSipRingTimeoutMs / 1000) + " s");
  }
}

CSipCall::CSipCall(SSipCallSetup oSetup, std::shared_ptr<CTelEventHub> pHub)
    : m_oSetup(std::move(oSetup)), m_pHub(std::move(pHub)) {}

CSipCall::~CSipCall() {
  // The SIP side is freed on the SIP thread, never in a handler that is running there now.
  if (m_pLeg) CSipStack::Get().Post([pLeg = std::move(m_pLeg)] { pLeg->Release(); });
}

uint64_t CSipCall::SetState(int iState) {
  m_iState.store(iState);
  return m_pHub->Post(shared_from_this(), TE_CALLSTATE, iState);
}

HRESULT CSipCall::Connect(bool bSync) {
  if (!bSync) return E_INVALIDARG;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    if (m_iState.load() == CS_DISCONNECTED) return TEL_E_DISCONNECTED;
    if (m_iState.load() != CS_IDLE) return E_UNEXPECTED;
    SetState(CS_INPROGRESS);
  }
  const HRESULT hr = Dial();
  if (hr != S_OK) return hr;
  std::unique_lock<std::mutex> oGuard(m_oLock);
  const auto oWait = std::chrono::milliseconds(ScaleInterval(kSipRingTimeoutMs) + kDecisionGraceMs);
  if (!m_oDecided.wait_for(oGuard, oWait,
                           [&] { return m_bDecided || m_iState.load() != CS_INPROGRESS; })) {
    oGuard.unlock();
    return Fail(TEL_E_NOANSWER,
                "no answer within " + std::to_string(kSipRingTimeoutMs / 1000) + " s");
  }
  if (m_iState.load() == CS_CONNECTED) {
    const uint64_t uConnected = m_uConnectedEvent;
    oGuard.unlock();
    m_pHub->WaitDelivered(uConnected);
    return m_iState.load() == CS_CONNECTED ? S_OK : TEL_E_DISCONNECTED;
  }
  if (m_iState.load() != CS_INPROGRESS) return TEL_E_DISCONNECTED;
  const HRESULT hrOutcome = m_hrOutcome;
  const std::string sReason = m_sReason;
  oGuard.unlock();
  return Fail(hrOutcome, sReason);
}

HRESULT CSipCall::Dial() {
  struct sa oDest;
  std::string sError;
  if (!Resolve(m_oSetup.m_oTarget.m_oNextHop, oDest, sError)) return Fail(TEL_E_REJECTED, sError);
  bool bStarted = false;
  const std::shared_ptr<SLeg> pLeg = std::make_shared<SLeg>(weak_from_this(), m_oSetup);
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    m_pLeg = pLeg;
  }
  bool bHungUp = false;
  if (!CSipStack::Get().Call([&] {
        bHungUp = m_iState.load() != CS_INPROGRESS;  // else Disconnect releases it after this
        bStarted = !bHungUp && pLeg->Start(oDest, sError);
      })) {
    sError = "the SIP stack is not running";
  }
  if (bHungUp) return TEL_E_DISCONNECTED;
  return bStarted ? S_OK : Fail(TEL_E_REJECTED, sError);
}

void CSipCall::Decide(HRESULT hr, const std::string& sReason) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (m_bDecided || m_iState.load() != CS_INPROGRESS) return;
  m_bDecided = true;
  m_hrOutcome = hr;
  m_sReason = sReason;
  m_oDecided.notify_all();
}

uint64_t CSipCall::Connected(uint32_t uWaveOut, uint32_t uWaveIn) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (m_bDecided || m_iState.load() != CS_INPROGRESS) return 0;
  m_bDecided = true;
  m_uWaveOut = uWaveOut;
  m_uWaveIn = uWaveIn;
  m_uConnectedEvent = SetState(CS_CONNECTED);
  m_oDecided.notify_all();
  return m_uConnectedEvent;
}

void CSipCall::Ended(const std::string& sReason) {
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    if (m_iState.load() != CS_CONNECTED) return;
    SetState(CS_DISCONNECTED);
    m_uWaveOut = m_uWaveIn = 0;
  }
  const std::string sText = "SIP: call to " + m_oSetup.m_sNumber + " ended: " + sReason;
  PlatformLogMessage(sText.c_str());
}

HRESULT CSipCall::Fail(HRESULT hr, const std::string& sReason) {
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    if (m_iState.load() != CS_INPROGRESS) return TEL_E_DISCONNECTED;
    SetState(CS_DISCONNECTED);
  }
  ReleaseLeg();
  std::string sText = "SIP: call to " + m_oSetup.m_sNumber;
  if (!m_oSetup.m_oTarget.m_bDirect) sText += " (" + m_oSetup.m_oTarget.m_sRequestUri + ")";
  sText += " failed: " + sReason;
  PlatformLogError(sText.c_str());
  return hr;
}

HRESULT CSipCall::Disconnect() {
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    const int iState = m_iState.load();
    if (iState == CS_DISCONNECTED) return S_OK;
    if (iState == CS_IDLE) {
      m_iState.store(CS_DISCONNECTED);  // never dialled: nothing to tell
      return S_OK;
    }
    SetState(CS_DISCONNECTED);
    m_uWaveOut = m_uWaveIn = 0;
    m_oDecided.notify_all();
  }
  ReleaseLeg();
  return S_OK;
}

void CSipCall::ReleaseLeg() {
  std::shared_ptr<SLeg> pLeg;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    pLeg = m_pLeg;
  }
  if (pLeg) CSipStack::Get().Call([&] { pLeg->Release(); });
}

HRESULT CSipCall::GetID(const std::string& sDeviceClass, uint32_t& uDeviceId) {
  uDeviceId = 0;
  if (sDeviceClass != "wave/out" && sDeviceClass != "wave/in") return E_INVALIDARG;
  std::lock_guard<std::mutex> oGuard(m_oLock);
  uDeviceId = sDeviceClass == "wave/out" ? m_uWaveOut : m_uWaveIn;
  return uDeviceId != 0 ? S_OK : E_FAIL;
}

}  // namespace wdx::sip
