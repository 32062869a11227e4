// One outbound SIP call: an INVITE with our audio offer to the number's request URI, sent to the
// numeric address of its next hop (the host is resolved here, with the system's resolver, on the
// dialling thread), with digest authentication when a proxy challenges once (the account's user
// and password). Provisional responses keep the call in progress; a final answer decides:
//   2xx with a usable answer   connected (audio started, CS_CONNECTED delivered before Connect
//                              returns); an unusable answer is acknowledged, hung up, REJECTED
//   486, 600                   TEL_E_BUSY
//   480, 408, 487              TEL_E_NOANSWER
//   other 3xx-6xx, 401/407 that cannot be answered, transport errors, unknown hosts
//                              TEL_E_REJECTED
// Nothing final within the ring time-out (45 s of service time, ScaleInterval), even from a
// next hop that never answers at all, cancels the call: TEL_E_NOANSWER. Each failure writes one platform log error "SIP: call to <number> failed:
// <reason>". Once connected, a BYE from the far end ends the call (CS_DISCONNECTED, the wave
// devices fail from then on); keys pressed at the far end (RFC 4733 through the audio, or SIP
// INFO application/dtmf-relay and application/dtmf) become TE_DIGITEVENT events.
//
// Threading: as ITelCall. libre's objects of the call live on the SIP thread (sip_stack.h): the
// members hand work to it, and the call may be released on any thread (its SIP side is then
// freed on the SIP thread).
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "platform/telephony/sip/sip_uri.h"
#include "platform/telephony/tel_events.h"
#include "platform/telephony/telephony.h"

namespace wdx::sip {

inline constexpr int kSipRingTimeoutMs = 45000;  // service time

struct SSipCallSetup {
  std::string m_sNumber;  // as dialled (names the call in its log lines)
  SSipTarget m_oTarget;
  std::string m_sFromUri;   // the account; empty: "sip:wardenix@<local address>"
  std::string m_sAuthUser;  // the account's user; empty: a challenge cannot be answered
  std::string m_sPassword;
};

class CSipCall final : public ITelCall, public std::enable_shared_from_this<CSipCall> {
 public:
  CSipCall(SSipCallSetup oSetup, std::shared_ptr<CTelEventHub> pHub);
  ~CSipCall() override;
  CSipCall(const CSipCall&) = delete;
  CSipCall& operator=(const CSipCall&) = delete;

  HRESULT Connect(bool bSync) override;
  HRESULT Disconnect() override;
  HRESULT GetID(const std::string& sDeviceClass, uint32_t& uDeviceId) override;
  int GetCallState() const override { return m_iState.load(); }
  const std::string& GetNumber() const override { return m_oSetup.m_sNumber; }

 private:
  struct SLeg;  // the SIP-thread side: session, audio, ring timer
  friend struct SLeg;

  HRESULT Dial();
  // What the SIP thread found out while the call rang: hr (S_OK: connected) and why.
  void Decide(HRESULT hr, const std::string& sReason);
  // The SIP thread connected the call: devices known, CS_CONNECTED posted; its sequence or 0
  // when the call was no longer ringing.
  uint64_t Connected(uint32_t uWaveOut, uint32_t uWaveIn);
  // The far end (or the network) ended a connected call.
  void Ended(const std::string& sReason);
  HRESULT Fail(HRESULT hr, const std::string& sReason);
  // Under m_oLock: the new state, told to the sinks; the sequence number of its event.
  uint64_t SetState(int iState);
  void ReleaseLeg();

  const SSipCallSetup m_oSetup;
  const std::shared_ptr<CTelEventHub> m_pHub;
  std::mutex m_oLock;
  std::condition_variable m_oDecided;
  std::atomic<int> m_iState{CS_IDLE};
  bool m_bDecided = false;
  HRESULT m_hrOutcome = S_OK;
  std::string m_sReason;
  uint64_t m_uConnectedEvent = 0;
  uint32_t m_uWaveOut = 0;
  uint32_t m_uWaveIn = 0;
  std::shared_ptr<SLeg> m_pLeg;  // set by Connect; used on the SIP thread
};

}  // namespace wdx::sip
