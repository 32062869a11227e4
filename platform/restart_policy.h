// When a failed service may be started again: at most m_iMaxRestarts restarts within any
// window of m_iWindowMs milliseconds (the supervisor's "5 times in 60 s").
//
// Threading: one thread.
#pragma once

#include <cstdint>
#include <deque>

namespace wdx {

class CRestartPolicy final {
 public:
  CRestartPolicy(int iMaxRestarts, int64_t iWindowMs)
      : m_iMaxRestarts(iMaxRestarts), m_iWindowMs(iWindowMs) {}

  // True (and the restart counted) when one more restart at iNowMs stays within the limit.
  bool AllowRestart(int64_t iNowMs);

 private:
  int m_iMaxRestarts;
  int64_t m_iWindowMs;
  std::deque<int64_t> m_oRestarts;  // times of the restarts inside the window
};

}  // namespace wdx
