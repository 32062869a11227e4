#include "service/alerts/ws_email.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "foundation/process_log.h"
#include "service/getter/get_web_page.h"

namespace wdx {

CWsEmail::CWsEmail() = default;
CWsEmail::~CWsEmail() = default;

void CWsEmail::SetCancelCheck(std::function<bool()> fnCancelled) {
  m_fnCancelled = fnCancelled;
  m_oLink.SetCancelCheck(std::move(fnCancelled));
}

void CWsEmail::SetTimeouts(int iConnectMs, int iReceiveMs) {
  m_iConnectMs = iConnectMs;
  m_iReceiveMs = iReceiveMs;
}

bool CWsEmail::Reset() {
  SetId(ZUV_ID_LIVE);
  m_pRecipients = std::make_unique<CArrayStr>();
  m_pRecipients->Initialize(WDX_SMTP_RECIPIENTS, 255);
  m_bInitialized = true;
  return true;
}

bool CWsEmail::SplitServer(const std::string& sServer, std::string& sHost, int& iPort) {
  iPort = WDX_SMTP_DEFAULT_PORT;
  sHost = sServer;
  std::string sPort;
  if (!sServer.empty() && sServer[0] == '[') {
    const size_t uClose = sServer.find(']');
    if (uClose == std::string::npos) return false;
    sHost = sServer.substr(1, uClose - 1);
    if (uClose + 1 < sServer.size()) {
      if (sServer[uClose + 1] != ':') return false;
      sPort = sServer.substr(uClose + 2);
      if (sPort.empty()) return false;
    }
  } else if (sServer.find(':') == sServer.rfind(':') && sServer.find(':') != std::string::npos) {
    sHost = sServer.substr(0, sServer.find(':'));
    sPort = sServer.substr(sServer.find(':') + 1);
    if (sPort.empty()) return false;
  }
  if (sPort.empty()) return !sHost.empty();
  if (sPort.size() > 5) return false;
  for (char c : sPort) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  iPort = std::stoi(sPort);
  return !sHost.empty() && iPort > 0 && iPort < 65536;
}

bool CWsEmail::ParseSecurity(const std::string& sText, ESmtpSecurity& eSecurity) {
  std::string sLower = CZuvStr::Trimmed(sText);
  for (char& c : sLower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (sLower.empty() || sLower == "none") {
    eSecurity = ESmtpSecurity::kNone;
  } else if (sLower == "starttls") {
    eSecurity = ESmtpSecurity::kStartTls;
  } else if (sLower == "tls") {
    eSecurity = ESmtpSecurity::kTls;
  } else {
    return false;
  }
  return true;
}

bool CWsEmail::ResolveNameToIp(const char* szName) {
  std::string sHost;
  int iPort = WDX_SMTP_DEFAULT_PORT;
  bool bOk = szName != nullptr && SplitServer(szName, sHost, iPort);
  if (!bOk)
    ZuvLogError("CWsEmail::ResolveNameToIp() bad SmtpServer: use name, name:port or [IPv6]:port.");
  addrinfo oHints{};
  oHints.ai_socktype = SOCK_STREAM;
  addrinfo* pList = nullptr;
  if (bOk && (getaddrinfo(sHost.c_str(), nullptr, &oHints, &pList) != 0 || pList == nullptr)) {
    ZuvLogError("CWsEmail::ResolveNameToIp() cannot resolve address.");
    bOk = false;
  }
  char szAddress[NI_MAXHOST] = "";
  if (bOk) {
    getnameinfo(pList->ai_addr, pList->ai_addrlen, szAddress, sizeof(szAddress), nullptr, 0,
                NI_NUMERICHOST);
  }
  if (pList != nullptr) freeaddrinfo(pList);
  if (!bOk || szAddress[0] == '\0') {
    m_oStrServerAddress.Empty();
    ZuvLogError("CWsEmail::ResolveNameToIp() failed.");
    return false;
  }
  m_oStrServerAddress.Assign(szAddress);
  m_sHost = sHost;
  m_iPort = iPort;
  return true;
}

bool CWsEmail::SendZuvStr(const char* szText) {
  if (m_oLink.SendAll(szText, m_iReceiveMs)) {
    ZuvLogEvent((std::string("CWsEmail::SendZuvStr sent: ") + szText).c_str());
    return true;
  }
  ZuvLogError(("CWsEmail::SendZuvStr() failed: " + m_oLink.GetError()).c_str());
  m_oLink.Close();
  return false;
}

bool CWsEmail::ReceiveAck(const char* szCode) {
  m_oStrLastReply.Empty();
  m_bReceived = false;
  if (!m_oLink.IsUsable()) {
    ZuvLogError("CWsEmail::ReceiveAck ioctlsocket() falied ");
    return false;
  }
  char aBuffer[WDX_SMTP_RECEIVE_BYTES + 1];
  const long iRead = m_oLink.Receive(aBuffer, WDX_SMTP_RECEIVE_BYTES, m_iReceiveMs);
  m_bReceived = iRead > 0;
  if (iRead <= 0) {
    ZuvLogError("CWsEmail::ReceiveAck recv read no bytes.");
    if (iRead < 0) ZuvLogEvent(("CWsEmail::ReceiveAck " + m_oLink.GetError()).c_str());
    return false;
  }
  if (iRead < 2) return false;
  const std::string sText(aBuffer, static_cast<size_t>(iRead));
  bool bFound = false;
  size_t uStart = 0;
  while (sText.size() - uStart > 1) {
    const size_t uLf = sText.find('\n', uStart);
    const size_t uEnd = uLf == std::string::npos ? sText.size() : uLf;
    m_oStrLastReply.Assign((sText.substr(uStart, uEnd - uStart) + "\n").c_str());
    ZuvLogEvent(m_oStrLastReply.c_str());
    if (m_oStrLastReply.Find(szCode) >= 0) bFound = true;
    if (uLf == std::string::npos) break;
    uStart = uLf + 1;
  }
  return bFound;
}

std::string CWsEmail::ZoneOffset(long lSecondsEast) {
  const char cSign = lSecondsEast < 0 ? '-' : '+';
  const long lMinutes = (lSecondsEast < 0 ? -lSecondsEast : lSecondsEast) / 60;
  char szZone[8];
  std::snprintf(szZone, sizeof(szZone), "%c%02ld%02ld", cSign, (lMinutes / 60) % 100,
                lMinutes % 60);
  return szZone;
}

void CWsEmail::FormatDate() {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const time_t tNow = time(nullptr);
  tm oLocal{};
  localtime_r(&tNow, &oLocal);
  char szDate[64];
  std::snprintf(szDate, sizeof(szDate), "%s, %d %s %04d %02d:%02d:%02d", kDays[oLocal.tm_wday % 7],
                oLocal.tm_mday, kMonths[oLocal.tm_mon % 12], oLocal.tm_year + 1900, oLocal.tm_hour,
                oLocal.tm_min, oLocal.tm_sec);
  m_oStrDate.Assign((std::string(szDate) + " " + ZoneOffset(oLocal.tm_gmtoff)).c_str());
}

bool CWsEmail::IsInternetConnected(const char* szUrl) {
  CGetWebPage oPage;
  if (m_fnCancelled) oPage.SetCancelCheck(m_fnCancelled);
  if (oPage.Go("D", szUrl) == 0) {
    ZuvLogEvent("CWsEmail::Inet Connected");
    return true;
  }
  ZuvLogEvent("CWsEmail::Inet Not Connected");
  return false;
}

bool CWsEmail::TestOutput() {
  if (m_oStrServerName.IsEmpty())
    ZuvLogError("CWsEmail::TestOutput(): Email Server name is not defined");
  if (m_oStrServerAddress.IsEmpty())
    ZuvLogError("CWsEmail::TestOutput(): Email Server name is not resolved");
  ZuvLogEvent("CWsEmail::TestOutput() 3");
  bool bOk = false;
  if (!m_oLink.Connect(m_oStrServerAddress.c_str(), m_iPort, m_iConnectMs)) {
    ZuvLogError(("CWsEmail::TestOutput() connect() failed: " + m_oLink.GetError()).c_str());
  } else {
    ZuvLogEvent("CWsEmail::TestOutput() 4");
    if (m_eSecurity == ESmtpSecurity::kTls && !m_oLink.StartTls(m_sHost, m_sCaFile, m_iConnectMs)) {
      ZuvLogError(("CWsEmail::TestOutput() TLS failed: " + m_oLink.GetError()).c_str());
    } else {
      bOk = ReceiveAck("220");
    }
    ZuvLogEvent("CWsEmail::TestOutput() 5");
  }
  m_oLink.Close();
  m_oStrResult.Assign(m_oStrServerAddress.c_str());
  m_oStrResult += bOk ? "  OK. Email server found." : "  Email failed.";
  if (!bOk) ZuvLogError("CWsEmail::TestOutput() failed.");
  return bOk;
}

}  // namespace wdx
