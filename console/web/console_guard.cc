#include "console/web/console_guard.h"

#include "console/web/console_token.h"

namespace wdx {
namespace {

SGuardVerdict Refuse(int iStatus, std::string sText) {
  SGuardVerdict oVerdict;
  oVerdict.m_iStatus = iStatus;
  oVerdict.m_sText = std::move(sText);
  return oVerdict;
}

std::string Trim(const std::string& sText) {
  const size_t uFirst = sText.find_first_not_of(" \t");
  if (uFirst == std::string::npos) return "";
  return sText.substr(uFirst, sText.find_last_not_of(" \t") - uFirst + 1);
}

}  // namespace

std::string CConsoleGuard::SessionId(const std::string& sCookieHeader) {
  size_t uAt = 0;
  while (uAt <= sCookieHeader.size()) {
    size_t uEnd = sCookieHeader.find(';', uAt);
    if (uEnd == std::string::npos) uEnd = sCookieHeader.size();
    const std::string sPair = sCookieHeader.substr(uAt, uEnd - uAt);
    const size_t uEquals = sPair.find('=');
    if (uEquals != std::string::npos && Trim(sPair.substr(0, uEquals)) == kSessionCookie)
      return Trim(sPair.substr(uEquals + 1));
    uAt = uEnd + 1;
  }
  return "";
}

bool CConsoleGuard::IsOwnHost(const std::string& sHost) const {
  const std::string sPort = ":" + std::to_string(m_iPort);
  return sHost == "127.0.0.1" + sPort || sHost == "localhost" + sPort;
}

bool CConsoleGuard::IsOwnOrigin(const std::string& sOrigin) const {
  return sOrigin.rfind("http://", 0) == 0 && IsOwnHost(sOrigin.substr(7));
}

SGuardVerdict CConsoleGuard::Check(const SRequestFacts& oFacts) const {
  const std::string sOwn = "127.0.0.1:" + std::to_string(m_iPort);
  if (!IsOwnHost(oFacts.m_sHost))
    return Refuse(421, "This console answers only at http://" + sOwn + "/.");
  const bool bPost = oFacts.m_sMethod == "POST";
  if (!bPost && oFacts.m_sMethod != "GET" && oFacts.m_sMethod != "HEAD")
    return Refuse(405, "The console takes GET and POST requests only.");
  if (oFacts.m_sPath == "/" && oFacts.m_bHasToken && !bPost) {
    if (!SameSecret(oFacts.m_sToken, m_sToken))
      return Refuse(403,
                    "The address's token is not this console's. Open the address that "
                    "\"wardenix console\" printed.");
    SGuardVerdict oVerdict;
    oVerdict.m_eKind = SGuardVerdict::kLogin;
    return oVerdict;
  }
  SGuardVerdict oVerdict;
  if (!m_oSessions.Find(SessionId(oFacts.m_sCookie), oVerdict.m_oSession))
    return Refuse(401, "No console session: open the address that \"wardenix console\" printed.");
  if (bPost) {
    if (oFacts.m_bHasOrigin && !IsOwnOrigin(oFacts.m_sOrigin))
      return Refuse(403, "The request came from another site's page.");
    if (!SameSecret(oFacts.m_sCsrf, oVerdict.m_oSession.m_sCsrf))
      return Refuse(403, "The request lacks the session's CSRF token.");
  }
  oVerdict.m_eKind = SGuardVerdict::kPass;
  return oVerdict;
}

}  // namespace wdx
