// The web console's sessions: each login with the token makes one, known by a random id (the
// session cookie) and holding a random CSRF token that every POST of the session must carry.
// Sessions live in memory only and end with the console; the oldest are dropped when there are
// more than kMaxSessions, so repeated logins cannot grow the console without bound.
//
// Threading: safe from any thread (one mutex).
#pragma once

#include <deque>
#include <mutex>
#include <string>

namespace wdx {

struct SConsoleSession {
  std::string m_sId;
  std::string m_sCsrf;
};

class CConsoleSessions final {
 public:
  static constexpr size_t kMaxSessions = 32;

  CConsoleSessions() = default;
  CConsoleSessions(const CConsoleSessions&) = delete;
  CConsoleSessions& operator=(const CConsoleSessions&) = delete;

  // False when no random bytes could be had.
  bool Create(SConsoleSession& oSession);
  // The session of the id; false when there is none.
  bool Find(const std::string& sId, SConsoleSession& oSession) const;

 private:
  mutable std::mutex m_oMutex;
  std::deque<SConsoleSession> m_oSessions;  // oldest first
};

}  // namespace wdx
