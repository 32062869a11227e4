// The audio of one SIP call: its SDP offer and answer, its RTP socket, G.711 (PCMU or PCMA) at
// 8 kHz in 20 ms frames both ways, a small jitter buffer for what arrives, RFC 4733 keypad
// events, and the call's two wave devices (platform/audio/wave_devices.h) over all that.
//
// The SDP offer names PCMU (0), PCMA (8) and telephone-event/8000 (101), ptime 20, sendrecv.
// The answer's first format that is PCMU or PCMA is used both ways; an answer that cannot be read,
// names no common codec or gives no address is refused with a reason. Packets from any address
// other than the answer's RTP address are dropped.
//
// Once started, a 20 ms clock sends one frame a tick (what the wave-out device was given, or
// silence) and hands one frame from the jitter buffer (silence when it is empty or nobody
// listens) to the wave-in device's reader. Write blocks while a second of audio waits to be sent;
// Read blocks until the line has given that much. After Stop both devices report the line gone.
//
// Threading: Create, the SDP members, Start, Stop and the destructor run on the SIP thread
// (sip_stack.h); the wave devices are used from the speech threads; GetSendStats from any thread.
// The digit handler is called on the SIP thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct mbuf;
struct sa;

namespace wdx::sip {

// The intervals between RTP packets sent, for the benchmark of send jitter.
struct SSendStats {
  uint64_t m_uPackets = 0;
  double m_dMeanIntervalMs = 0;
  double m_dStdDevIntervalMs = 0;
  double m_dMaxIntervalMs = 0;
};

class CSipMedia {
 public:
  virtual ~CSipMedia() = default;

  // An RTP socket on oLocalIp (any free even port); false with sError when none can be opened.
  // fnDigit is told each key pressed (RFC 4733), once per key press.
  static bool Create(const struct sa& oLocalIp, std::function<void(char)> fnDigit,
                     std::unique_ptr<CSipMedia>& pMedia, std::string& sError);

  // Our offer (a new buffer the caller frees with mem_deref); an errno value on failure.
  virtual int EncodeOffer(struct mbuf** ppOffer) = 0;
  // Reads the far end's answer to our offer; false with sReason when it is unusable.
  virtual bool TakeAnswer(struct mbuf* pAnswer, std::string& sReason) = 0;
  // A new offer from the far end within the call (a re-INVITE): our answer in *ppAnswer.
  virtual bool TakeOffer(struct mbuf* pOffer, struct mbuf** ppAnswer, std::string& sReason) = 0;

  // Starts the 20 ms clock and registers the wave devices; false with sError when it cannot.
  virtual bool Start(std::string& sError) = 0;
  // The line is gone: the clock stops, Write and Read fail from now on. Harmless when repeated.
  virtual void Stop() = 0;

  // The wave devices' identifiers once started, 0 before.
  virtual uint32_t GetWaveOutId() const = 0;
  virtual uint32_t GetWaveInId() const = 0;
  // "PCMU" or "PCMA" once an answer has been taken, "" before.
  virtual std::string GetCodecName() const = 0;
  virtual SSendStats GetSendStats() const = 0;
};

}  // namespace wdx::sip
