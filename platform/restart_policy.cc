#include "platform/restart_policy.h"

namespace wdx {

bool CRestartPolicy::AllowRestart(int64_t iNowMs) {
  while (!m_oRestarts.empty() && iNowMs - m_oRestarts.front() >= m_iWindowMs) {
    m_oRestarts.pop_front();
  }
  if (static_cast<int>(m_oRestarts.size()) >= m_iMaxRestarts) return false;
  m_oRestarts.push_back(iNowMs);
  return true;
}

}  // namespace wdx
