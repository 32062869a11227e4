// CConsoleGuard: the rules every request to the web console passes before it is served.
//
//   1. The Host header names the console itself ("127.0.0.1:PORT" or "localhost:PORT"), else
//      421: a page of another site whose name was made to resolve to 127.0.0.1 (DNS rebinding)
//      is refused.
//   2. Only GET, HEAD and POST (405).
//   3. "/?token=T" logs in: the right token gives a new session (its cookie is set and the
//      browser sent on to "/"), a wrong one 403.
//   4. Everything else needs the cookie of a live session (401).
//   5. A POST needs the session's CSRF token in the X-CSRF-Token header, and when it carries an
//      Origin header, the console's own origin (403).
//
// Threading: Check is safe from any thread once the port is set.
#pragma once

#include <string>

#include "console/web/console_sessions.h"

namespace wdx {

inline constexpr const char* kSessionCookie = "wdx_session";
inline constexpr const char* kCsrfHeader = "X-CSRF-Token";

// What the guard looks at in a request.
struct SRequestFacts {
  std::string m_sMethod;
  std::string m_sPath;
  std::string m_sHost;
  bool m_bHasOrigin = false;
  std::string m_sOrigin;
  std::string m_sCookie;  // the whole Cookie header
  std::string m_sCsrf;    // the X-CSRF-Token header
  bool m_bHasToken = false;
  std::string m_sToken;  // the "token" query parameter
};

struct SGuardVerdict {
  enum EKind { kPass, kLogin, kRefuse };
  EKind m_eKind = kRefuse;
  int m_iStatus = 0;           // of a refusal
  std::string m_sText;         // why it was refused, for the operator
  SConsoleSession m_oSession;  // of a request that passes
};

class CConsoleGuard final {
 public:
  CConsoleGuard(std::string sToken, const CConsoleSessions& oSessions)
      : m_sToken(std::move(sToken)), m_oSessions(oSessions) {}
  CConsoleGuard(const CConsoleGuard&) = delete;
  CConsoleGuard& operator=(const CConsoleGuard&) = delete;

  void SetPort(int iPort) { m_iPort = iPort; }
  SGuardVerdict Check(const SRequestFacts& oFacts) const;

  // The value of the session cookie in a Cookie header; "" when it has none.
  static std::string SessionId(const std::string& sCookieHeader);

 private:
  bool IsOwnHost(const std::string& sHost) const;
  bool IsOwnOrigin(const std::string& sOrigin) const;

  const std::string m_sToken;
  const CConsoleSessions& m_oSessions;
  int m_iPort = 0;
};

}  // namespace wdx
