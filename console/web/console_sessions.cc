#include "console/web/console_sessions.h"

#include "console/web/console_token.h"

namespace wdx {

bool CConsoleSessions::Create(SConsoleSession& oSession) {
  oSession.m_sId = RandomHex(32);
  oSession.m_sCsrf = RandomHex(32);
  if (oSession.m_sId.empty() || oSession.m_sCsrf.empty()) return false;
  std::lock_guard<std::mutex> oLock(m_oMutex);
  m_oSessions.push_back(oSession);
  if (m_oSessions.size() > kMaxSessions) m_oSessions.pop_front();
  return true;
}

bool CConsoleSessions::Find(const std::string& sId, SConsoleSession& oSession) const {
  if (sId.empty()) return false;
  std::lock_guard<std::mutex> oLock(m_oMutex);
  for (const SConsoleSession& oKnown : m_oSessions) {
    if (SameSecret(oKnown.m_sId, sId)) {
      oSession = oKnown;
      return true;
    }
  }
  return false;
}

}  // namespace wdx
