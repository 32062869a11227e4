// The intervals between the RTP packets a call's audio sent, summed as they happen: how many
// packets, the mean, standard deviation and largest interval between them.
//
// Threading: Add and Get are safe from any thread (one lock).
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>

#include "platform/telephony/sip/sip_media.h"

namespace wdx::sip {

class CSendIntervals final {
 public:
  using Clock = std::chrono::steady_clock;

  // A packet was sent at tSent (times come in order).
  void Add(Clock::time_point tSent);
  SSendStats Get() const;

 private:
  mutable std::mutex m_oLock;
  uint64_t m_uPackets = 0;
  Clock::time_point m_tLast;
  double m_dSumMs = 0;
  double m_dSumSquaresMs = 0;
  double m_dMaxMs = 0;
};

}  // namespace wdx::sip
