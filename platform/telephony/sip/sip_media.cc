#include "platform/telephony/sip/sip_media.h"

#include <re.h>
#include <rem.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/platform_log.h"
#include "platform/telephony/sip/sip_send_stats.h"
#include "platform/telephony/sip/sip_wave.h"

namespace wdx::sip {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t kPcmuPt = 0;
constexpr uint8_t kPcmaPt = 8;
constexpr int kEventPt = 101;
constexpr auto kFrameTime = std::chrono::milliseconds(20);
constexpr uint32_t kPtimeMs = 20;
// A clock that fell this far behind (a stalled thread) starts afresh instead of catching up.
constexpr auto kMaxLateness = std::chrono::milliseconds(100);
constexpr uint16_t kFirstRtpPort = 16384;
constexpr uint16_t kLastRtpPort = 32766;
constexpr uint32_t kJitterMinFrames = 1;
constexpr uint32_t kJitterMaxFrames = 5;

enum class ECodec { NONE, PCMU, PCMA };

std::string ErrnoText(int iError) {
  return std::strerror(iError);
}

// Appends the samples of one G.711 payload (by its payload type) to aSamples.
void DecodeG711(uint8_t uPt, const uint8_t* pData, size_t uSize, std::vector<int16_t>& aSamples) {
  for (size_t i = 0; i < uSize; ++i)
    aSamples.push_back(uPt == kPcmaPt ? g711_alaw2pcm(pData[i]) : g711_ulaw2pcm(pData[i]));
}

class CSipMediaImpl final : public CSipMedia {
 public:
  explicit CSipMediaImpl(std::function<void(char)> fnDigit)
      : m_fnDigit(std::move(fnDigit)), m_pLine(std::make_shared<CSipLineAudio>()) {
    tmr_init(&m_oTimer);
  }
  ~CSipMediaImpl() override;
  CSipMediaImpl(const CSipMediaImpl&) = delete;
  CSipMediaImpl& operator=(const CSipMediaImpl&) = delete;

  bool Open(const struct sa& oLocalIp, std::string& sError);

  int EncodeOffer(struct mbuf** ppOffer) override;
  bool TakeAnswer(struct mbuf* pAnswer, std::string& sReason) override;
  bool TakeOffer(struct mbuf* pOffer, struct mbuf** ppAnswer, std::string& sReason) override;
  bool Start(std::string& sError) override;
  void Stop() override;
  uint32_t GetWaveOutId() const override { return m_uWaveOut.load(); }
  uint32_t GetWaveInId() const override { return m_uWaveIn.load(); }
  std::string GetCodecName() const override;
  SSendStats GetSendStats() const override;

 private:
  static void OnRtp(const struct sa* pSource, const struct rtp_header* pHeader, struct mbuf* pData,
                    void* pArg);
  static void OnTick(void* pArg);
  bool TakeRemote(std::string& sReason);
  void ReceiveEvent(const struct rtp_header& oHeader, struct mbuf* pData);
  void SendFrame();
  void PassFrame();
  void ScheduleTick();

  const std::function<void(char)> m_fnDigit;
  const std::shared_ptr<CSipLineAudio> m_pLine;
  struct rtp_sock* m_pRtp = nullptr;
  struct sdp_session* m_pSdp = nullptr;
  struct sdp_media* m_pAudio = nullptr;  // owned by m_pSdp
  struct jbuf* m_pJitter = nullptr;
  struct telev* m_pEvents = nullptr;
  struct mbuf* m_pSendBuffer = nullptr;
  struct tmr m_oTimer;

  // The far end, from its last usable SDP.
  struct sa m_oRemote {};
  bool m_bHaveRemote = false;
  int m_iRemoteEventPt = -1;
  std::atomic<ECodec> m_eCodec{ECodec::NONE};

  bool m_bStarted = false;
  bool m_bStopped = false;
  std::atomic<uint32_t> m_uWaveOut{0};
  std::atomic<uint32_t> m_uWaveIn{0};

  // The send clock: frame m_uTick is due at m_tBase + m_uTick * 20 ms.
  Clock::time_point m_tBase;
  uint64_t m_uTick = 0;
  uint32_t m_uTimestamp = 0;
  bool m_bMarker = true;

  // What arrived: decoded samples not handed on yet, the stream's source, the last key press.
  std::vector<int16_t> m_aArrived;
  uint32_t m_uRemoteSsrc = 0;
  bool m_bHaveSsrc = false;
  bool m_bEventSeen = false;
  uint32_t m_uEventTs = 0;
  uint64_t m_uReceived = 0;
  uint64_t m_uDropped = 0;

  CSendIntervals m_oSent;
};

CSipMediaImpl::~CSipMediaImpl() {
  Stop();
  mem_deref(m_pRtp);
  mem_deref(m_pSdp);
  mem_deref(m_pJitter);
  mem_deref(m_pEvents);
  mem_deref(m_pSendBuffer);
  if (m_uWaveOut != 0) CWaveDeviceTable::RemoveWaveOut(m_uWaveOut);
  if (m_uWaveIn != 0) CWaveDeviceTable::RemoveWaveIn(m_uWaveIn);
}

bool CSipMediaImpl::Open(const struct sa& oLocalIp, std::string& sError) {
  int iError = rtp_listen(&m_pRtp, IPPROTO_UDP, &oLocalIp, kFirstRtpPort, kLastRtpPort, true, OnRtp,
                          nullptr, this);
  if (iError != 0) {
    sError = "cannot open an RTP socket: " + ErrnoText(iError);
    return false;
  }
  const struct sa* pLocal = rtp_local(m_pRtp);
  iError = sdp_session_alloc(&m_pSdp, pLocal);
  if (iError == 0)
    iError = sdp_media_add(&m_pAudio, m_pSdp, sdp_media_audio, sa_port(pLocal), sdp_proto_rtpavp);
  if (iError == 0)
    iError = sdp_format_add(nullptr, m_pAudio, false, "0", "PCMU", 8000, 1, nullptr, nullptr,
                            nullptr, false, nullptr);
  if (iError == 0)
    iError = sdp_format_add(nullptr, m_pAudio, false, "8", "PCMA", 8000, 1, nullptr, nullptr,
                            nullptr, false, nullptr);
  if (iError == 0)
    iError = sdp_format_add(nullptr, m_pAudio, false, "101", telev_rtpfmt, 8000, 1, nullptr,
                            nullptr, nullptr, false, "0-15");
  if (iError == 0) iError = sdp_media_set_lattr(m_pAudio, true, sdp_attr_ptime, "%u", kPtimeMs);
  if (iError == 0) iError = jbuf_alloc(&m_pJitter, kJitterMinFrames, kJitterMaxFrames);
  if (iError == 0) iError = telev_alloc(&m_pEvents, TELEV_PTIME);
  if (iError == 0) {
    m_pSendBuffer = mbuf_alloc(RTP_HEADER_SIZE + kLineFrameSamples);
    if (m_pSendBuffer == nullptr) iError = ENOMEM;
  }
  if (iError != 0) {
    sError = "cannot set up the call's audio: " + ErrnoText(iError);
    return false;
  }
  return true;
}

int CSipMediaImpl::EncodeOffer(struct mbuf** ppOffer) {
  if (ppOffer == nullptr) return EINVAL;
  return sdp_encode(ppOffer, m_pSdp, true);
}

bool CSipMediaImpl::TakeAnswer(struct mbuf* pAnswer, std::string& sReason) {
  if (pAnswer == nullptr) {
    sReason = "the answer has no SDP";
    return false;
  }
  const size_t uPos = pAnswer->pos;
  const int iError = sdp_decode(m_pSdp, pAnswer, false);
  pAnswer->pos = uPos;
  if (iError != 0) {
    sReason = "the SDP answer cannot be read (" + ErrnoText(iError) + ")";
    return false;
  }
  return TakeRemote(sReason);
}

bool CSipMediaImpl::TakeOffer(struct mbuf* pOffer, struct mbuf** ppAnswer, std::string& sReason) {
  if (pOffer == nullptr || ppAnswer == nullptr) {
    sReason = "the offer has no SDP";
    return false;
  }
  const size_t uPos = pOffer->pos;
  int iError = sdp_decode(m_pSdp, pOffer, true);
  pOffer->pos = uPos;
  if (iError != 0) {
    sReason = "the SDP offer cannot be read (" + ErrnoText(iError) + ")";
    return false;
  }
  if (!TakeRemote(sReason)) return false;
  iError = sdp_encode(ppAnswer, m_pSdp, false);
  if (iError != 0) {
    sReason = "cannot write the SDP answer (" + ErrnoText(iError) + ")";
    return false;
  }
  return true;
}

// Reads the far end's audio stream from the SDP just decoded; what was in use stays when it is
// unusable.
bool CSipMediaImpl::TakeRemote(std::string& sReason) {
  if (sdp_media_rport(m_pAudio) == 0) {
    sReason = "the SDP names no audio stream we can use";
    return false;
  }
  const struct sa* pRemote = sdp_media_raddr(m_pAudio);
  if (pRemote == nullptr || !sa_isset(pRemote, SA_ADDR)) {
    sReason = "the SDP gives no connection address";
    return false;
  }
  ECodec eCodec = ECodec::NONE;
  const struct list* pFormats = sdp_media_format_lst(m_pAudio, false);
  for (struct le* pItem = pFormats ? pFormats->head : nullptr; pItem; pItem = pItem->next) {
    const auto* pFormat = static_cast<const struct sdp_format*>(pItem->data);
    if (!pFormat->sup) continue;
    if (pFormat->pt == kPcmuPt) eCodec = ECodec::PCMU;
    if (pFormat->pt == kPcmaPt) eCodec = ECodec::PCMA;
    if (eCodec != ECodec::NONE) break;
  }
  if (eCodec == ECodec::NONE) {
    sReason = "the SDP names no common codec (PCMU or PCMA)";
    return false;
  }
  const struct sdp_format* pEvents = sdp_media_rformat(m_pAudio, telev_rtpfmt);
  m_iRemoteEventPt = pEvents ? pEvents->pt : -1;
  m_oRemote = *pRemote;
  m_bHaveRemote = true;
  m_eCodec = eCodec;
  return true;
}

bool CSipMediaImpl::Start(std::string& sError) {
  if (m_bStopped) {
    sError = "the call's audio was stopped";
    return false;
  }
  if (!m_bHaveRemote) {
    sError = "the far end's audio address is not known yet";
    return false;
  }
  if (m_bStarted) return true;
  m_bStarted = true;
  m_uWaveOut = CWaveDeviceTable::AddWaveOut(std::make_shared<CSipWaveOut>(m_pLine));
  m_uWaveIn = CWaveDeviceTable::AddWaveIn(std::make_shared<CSipWaveIn>(m_pLine));
  struct sa oRtcp {};
  sdp_media_raddr_rtcp(m_pAudio, &oRtcp);
  rtcp_start(m_pRtp, "wardenix", &oRtcp);
  m_tBase = Clock::now();
  m_uTick = 0;
  tmr_start(&m_oTimer, 0, OnTick, this);
  return true;
}

void CSipMediaImpl::Stop() {
  if (m_bStopped) return;
  m_bStopped = true;
  tmr_cancel(&m_oTimer);
  m_pLine->Close();
  if (m_pJitter) jbuf_flush(m_pJitter);
  if (!m_bStarted) return;
  if (m_uDropped > 0) {
    const std::string sText = "SIP: " + std::to_string(m_uDropped) +
                              " RTP packets from addresses other than the far end's were dropped";
    PlatformLogMessage(sText.c_str());
  }
  if (m_uReceived == 0)
    PlatformLogMessage("SIP: no audio arrived from the far end during the call");
}

std::string CSipMediaImpl::GetCodecName() const {
  switch (m_eCodec.load()) {
    case ECodec::PCMU:
      return "PCMU";
    case ECodec::PCMA:
      return "PCMA";
    case ECodec::NONE:
      break;
  }
  return "";
}

SSendStats CSipMediaImpl::GetSendStats() const {
  return m_oSent.Get();
}

void CSipMediaImpl::OnRtp(const struct sa* pSource, const struct rtp_header* pHeader,
                          struct mbuf* pData, void* pArg) {
  auto* pThis = static_cast<CSipMediaImpl*>(pArg);
  if (!pThis->m_bHaveRemote || pThis->m_bStopped) return;
  if (!sa_cmp(pSource, &pThis->m_oRemote, SA_ALL)) {
    ++pThis->m_uDropped;
    return;
  }
  if (pHeader->pt == kPcmuPt || pHeader->pt == kPcmaPt) {
    if (pThis->m_bHaveSsrc && pHeader->ssrc != pThis->m_uRemoteSsrc) jbuf_flush(pThis->m_pJitter);
    pThis->m_bHaveSsrc = true;
    pThis->m_uRemoteSsrc = pHeader->ssrc;
    ++pThis->m_uReceived;
    jbuf_put(pThis->m_pJitter, pHeader, pData);  // late and duplicate packets are refused there
  } else if (pHeader->pt == kEventPt || pHeader->pt == pThis->m_iRemoteEventPt) {
    pThis->ReceiveEvent(*pHeader, pData);
  }
}

// A key press is reported once, at its first packet that arrives (usually its start, its end
// when the start was lost); the packets of one key press share their timestamp, and a later key
// press has a later one.
void CSipMediaImpl::ReceiveEvent(const struct rtp_header& oHeader, struct mbuf* pData) {
  if (mbuf_get_left(pData) < 4) return;
  int iEvent = mbuf_buf(pData)[0];
  bool bEnd = false;
  const int iError = telev_recv(m_pEvents, pData, &iEvent, &bEnd);
  if (iError != 0 && iError != EALREADY) return;
  if (m_bEventSeen && static_cast<int32_t>(oHeader.ts - m_uEventTs) <= 0) return;
  m_bEventSeen = true;
  m_uEventTs = oHeader.ts;
  const int iDigit = telev_code2digit(iEvent);
  if (iDigit >= 0 && m_fnDigit) m_fnDigit(static_cast<char>(iDigit));
}

void CSipMediaImpl::OnTick(void* pArg) {
  auto* pThis = static_cast<CSipMediaImpl*>(pArg);
  if (pThis->m_bStopped) return;
  pThis->SendFrame();
  pThis->PassFrame();
  pThis->ScheduleTick();
}

void CSipMediaImpl::ScheduleTick() {
  ++m_uTick;
  const Clock::time_point tNow = Clock::now();
  Clock::time_point tDue = m_tBase + m_uTick * kFrameTime;
  if (tNow - tDue > kMaxLateness) {
    m_tBase = tNow;
    m_uTick = 1;
    tDue = tNow + kFrameTime;
  }
  const auto iWaitUs = std::chrono::duration_cast<std::chrono::microseconds>(tDue - tNow).count();
  const uint64_t uDelayMs = iWaitUs <= 0 ? 0 : static_cast<uint64_t>((iWaitUs + 500) / 1000);
  tmr_start(&m_oTimer, uDelayMs, OnTick, this);
}

void CSipMediaImpl::SendFrame() {
  int16_t aFrame[kLineFrameSamples];
  m_pLine->TakeOutFrame(aFrame);
  const bool bPcma = m_eCodec.load() == ECodec::PCMA;
  uint8_t aPayload[kLineFrameSamples];
  for (size_t i = 0; i < kLineFrameSamples; ++i)
    aPayload[i] = bPcma ? g711_pcm2alaw(aFrame[i]) : g711_pcm2ulaw(aFrame[i]);
  struct mbuf* pBuffer = m_pSendBuffer;
  mbuf_rewind(pBuffer);
  mbuf_set_end(pBuffer, RTP_HEADER_SIZE);  // room for the header rtp_send puts in front
  mbuf_set_pos(pBuffer, RTP_HEADER_SIZE);
  if (mbuf_write_mem(pBuffer, aPayload, sizeof(aPayload)) != 0) return;
  mbuf_set_pos(pBuffer, RTP_HEADER_SIZE);
  const int iError = rtp_send(m_pRtp, &m_oRemote, false, m_bMarker, bPcma ? kPcmaPt : kPcmuPt,
                              m_uTimestamp, pBuffer);
  m_uTimestamp += kLineFrameSamples;
  if (iError != 0) return;  // the next tick tries again; a lost frame is heard as a click
  m_bMarker = false;
  m_oSent.Add(Clock::now());
}

// Hands one frame of what arrived to the wave-in device: silence when the jitter buffer has
// nothing (yet).
void CSipMediaImpl::PassFrame() {
  while (m_aArrived.size() < kLineFrameSamples) {
    struct rtp_header oHeader {};
    void* pMemory = nullptr;
    if (jbuf_get(m_pJitter, &oHeader, &pMemory) != 0) break;
    auto* pData = static_cast<struct mbuf*>(pMemory);
    DecodeG711(oHeader.pt, mbuf_buf(pData), mbuf_get_left(pData), m_aArrived);
    mem_deref(pMemory);
  }
  int16_t aFrame[kLineFrameSamples] = {};
  const size_t uTake = std::min(kLineFrameSamples, m_aArrived.size());
  std::copy_n(m_aArrived.begin(), uTake, aFrame);
  m_aArrived.erase(m_aArrived.begin(), m_aArrived.begin() + static_cast<std::ptrdiff_t>(uTake));
  m_pLine->PutInFrame(aFrame);
}

}  // namespace

bool CSipMedia::Create(const struct sa& oLocalIp, std::function<void(char)> fnDigit,
                       std::unique_ptr<CSipMedia>& pMedia, std::string& sError) {
  pMedia.reset();
  auto pNew = std::make_unique<CSipMediaImpl>(std::move(fnDigit));
  if (!pNew->Open(oLocalIp, sError)) return false;
  pMedia = std::move(pNew);
  return true;
}

}  // namespace wdx::sip
