#include "platform/telephony/sip/sip_send_stats.h"

#include <algorithm>
#include <cmath>

namespace wdx::sip {

void CSendIntervals::Add(Clock::time_point tSent) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (m_uPackets > 0) {
    const double dMs = std::chrono::duration<double, std::milli>(tSent - m_tLast).count();
    m_dSumMs += dMs;
    m_dSumSquaresMs += dMs * dMs;
    m_dMaxMs = std::max(m_dMaxMs, dMs);
  }
  m_tLast = tSent;
  ++m_uPackets;
}

SSendStats CSendIntervals::Get() const {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  SSendStats oStats;
  oStats.m_uPackets = m_uPackets;
  if (m_uPackets < 2) return oStats;
  const double dIntervals = static_cast<double>(m_uPackets - 1);
  oStats.m_dMeanIntervalMs = m_dSumMs / dIntervals;
  const double dVariance =
      m_dSumSquaresMs / dIntervals - oStats.m_dMeanIntervalMs * oStats.m_dMeanIntervalMs;
  oStats.m_dStdDevIntervalMs = std::sqrt(std::max(dVariance, 0.0));
  oStats.m_dMaxIntervalMs = m_dMaxMs;
  return oStats;
}

}  // namespace wdx::sip
