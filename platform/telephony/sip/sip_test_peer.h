// For the tests of a call's audio: SDP texts in and out of libre's buffers, and CRawPeer, a bare
// RTP endpoint of the test's own that answers an offer and sends loud audio or key presses
// (RFC 4733) as the test tells it, from its own socket.
//
// Threading: everything here runs on the SIP thread (sip_stack.h), as all of libre does.
#pragma once

#include <gtest/gtest.h>
#include <re.h>
#include <rem.h>

#include <algorithm>
#include <atomic>
#include <string>

namespace wdx::sip::test {

inline constexpr size_t kPeerFrame = 160;

inline struct sa Loopback() {
  struct sa oIp {};
  sa_set_str(&oIp, "127.0.0.1", 0);
  return oIp;
}

inline struct mbuf* ToBuffer(const std::string& sText) {
  struct mbuf* pBuffer = mbuf_alloc(sText.size() + 1);
  mbuf_write_str(pBuffer, sText.c_str());
  pBuffer->pos = 0;
  return pBuffer;
}

inline std::string FromBuffer(const struct mbuf* pBuffer) {
  return std::string(reinterpret_cast<const char*>(pBuffer->buf), pBuffer->end);
}

// A bare RTP endpoint of the test's own, on the SIP thread: it answers an offer with PCMU and
// telephone-event and sends what the test tells it to. Its members run on the SIP thread.
class CRawPeer final {
 public:
  CRawPeer() {
    const struct sa oIp = Loopback();
    EXPECT_EQ(rtp_listen(&m_pRtp, IPPROTO_UDP, &oIp, 33000, 40000, false, OnRtp, nullptr, this), 0);
    EXPECT_EQ(telev_alloc(&m_pEvents, TELEV_PTIME), 0);
  }
  ~CRawPeer() {
    mem_deref(m_pRtp);
    mem_deref(m_pEvents);
    mem_deref(m_pSdp);
  }
  CRawPeer(const CRawPeer&) = delete;
  CRawPeer& operator=(const CRawPeer&) = delete;

  // Our answer to sOffer; the offerer's address is kept as where to send.
  std::string Answer(const std::string& sOffer) {
    const struct sa* pLocal = rtp_local(m_pRtp);
    struct sdp_media* pAudio = nullptr;
    EXPECT_EQ(sdp_session_alloc(&m_pSdp, pLocal), 0);
    EXPECT_EQ(sdp_media_add(&pAudio, m_pSdp, sdp_media_audio, sa_port(pLocal), sdp_proto_rtpavp),
              0);
    sdp_format_add(nullptr, pAudio, false, "0", "PCMU", 8000, 1, nullptr, nullptr, nullptr, false,
                   nullptr);
    sdp_format_add(nullptr, pAudio, false, "101", telev_rtpfmt, 8000, 1, nullptr, nullptr, nullptr,
                   false, "0-15");
    struct mbuf* pOffer = ToBuffer(sOffer);
    EXPECT_EQ(sdp_decode(m_pSdp, pOffer, true), 0);
    mem_deref(pOffer);
    m_oTarget = *sdp_media_raddr(pAudio);
    struct mbuf* pAnswer = nullptr;
    EXPECT_EQ(sdp_encode(&pAnswer, m_pSdp, false), 0);
    const std::string sAnswer = pAnswer ? FromBuffer(pAnswer) : "";
    mem_deref(pAnswer);
    return sAnswer;
  }
  void SetTarget(const struct sa& oTarget) { m_oTarget = oTarget; }
  const struct sa& GetTarget() const { return m_oTarget; }

  // uCount PCMU packets of a loud square wave, all at once.
  void SendLoud(size_t uCount) {
    for (size_t u = 0; u < uCount; ++u) {
      uint8_t aPayload[kPeerFrame];
      for (size_t i = 0; i < kPeerFrame; ++i)
        aPayload[i] = g711_pcm2ulaw(i % 20 < 10 ? 9000 : -9000);
      Send(0, false, aPayload, sizeof(aPayload));
      m_uTimestamp += kPeerFrame;
    }
  }

  // The key presses of sKeys as RFC 4733 events, each repeated uCopies times; with bLoseStart
  // only the end packets are sent, as if the rest were lost.
  void SendKeys(const std::string& sKeys, int iCopies, bool bLoseStart) {
    for (char cKey : sKeys) {
      telev_send(m_pEvents, telev_digit2code(cKey), false);
      telev_send(m_pEvents, telev_digit2code(cKey), true);
      m_uTimestamp += 8000;
      bool bMarker = false;
      uint8_t aPayload[16];
      for (;;) {
        struct mbuf* pEvent = mbuf_alloc(16);
        const int iError = telev_poll(m_pEvents, &bMarker, pEvent);
        const size_t uSize = pEvent->end;
        std::copy_n(pEvent->buf, uSize, aPayload);
        mem_deref(pEvent);
        if (iError != 0) break;
        const bool bEnd = (aPayload[1] & 0x80) != 0;
        for (int i = 0; i < iCopies && (bEnd || !bLoseStart); ++i)
          Send(101, bMarker, aPayload, uSize);
      }
    }
  }

  int Received() const { return m_iReceived.load(); }

 private:
  static void OnRtp(const struct sa*, const struct rtp_header*, struct mbuf*, void* pArg) {
    ++static_cast<CRawPeer*>(pArg)->m_iReceived;
  }
  void Send(uint8_t uPt, bool bMarker, const uint8_t* pPayload, size_t uSize) {
    struct mbuf* pPacket = mbuf_alloc(RTP_HEADER_SIZE + uSize);
    pPacket->end = pPacket->pos = RTP_HEADER_SIZE;
    mbuf_write_mem(pPacket, pPayload, uSize);
    pPacket->pos = RTP_HEADER_SIZE;
    EXPECT_EQ(rtp_send(m_pRtp, &m_oTarget, false, bMarker, uPt, m_uTimestamp, pPacket), 0);
    mem_deref(pPacket);
  }

  struct rtp_sock* m_pRtp = nullptr;
  struct telev* m_pEvents = nullptr;
  struct sdp_session* m_pSdp = nullptr;
  struct sa m_oTarget {};
  uint32_t m_uTimestamp = 1000;
  std::atomic<int> m_iReceived{0};
};

}  // namespace wdx::sip::test
