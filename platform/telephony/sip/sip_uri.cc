#include "platform/telephony/sip/sip_uri.h"

#include <cctype>
#include <cstring>

namespace wdx::sip {
namespace {

constexpr uint16_t kDefaultPort = 5060;

bool IsAlnum(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

bool StartsWithNoCase(const std::string& sText, const char* szPrefix) {
  const size_t uLength = std::strlen(szPrefix);
  if (sText.size() < uLength) return false;
  for (size_t i = 0; i < uLength; ++i) {
    if (std::tolower(static_cast<unsigned char>(sText[i])) != szPrefix[i]) return false;
  }
  return true;
}

// The user part of a SIP URI: unreserved characters, the user-unreserved ones and escapes.
bool IsUserPart(const std::string& sUser) {
  if (sUser.empty()) return false;
  for (char c : sUser) {
    if (!IsAlnum(c) && std::strchr("-_.!~*'()&=+$,;?/%", c) == nullptr) return false;
  }
  return true;
}

bool ParsePort(const std::string& sText, uint16_t& uPort) {
  if (sText.empty() || sText.size() > 5) return false;
  unsigned uValue = 0;
  for (char c : sText) {
    if (c < '0' || c > '9') return false;
    uValue = uValue * 10 + static_cast<unsigned>(c - '0');
  }
  if (uValue == 0 || uValue > 65535) return false;
  uPort = static_cast<uint16_t>(uValue);
  return true;
}

// A host name (dot-separated labels of letters, digits and '-') or an IPv4 address.
bool IsHostName(const std::string& sHost) {
  if (sHost.empty() || sHost.size() > 253) return false;
  size_t uLabel = 0;
  for (size_t i = 0; i <= sHost.size(); ++i) {
    if (i == sHost.size() || sHost[i] == '.') {
      if (uLabel == 0 || uLabel > 63) return false;
      uLabel = 0;
    } else if (IsAlnum(sHost[i]) || sHost[i] == '-') {
      ++uLabel;
    } else {
      return false;
    }
  }
  return true;
}

bool IsIpv6Text(const std::string& sHost) {
  if (sHost.find(':') == std::string::npos) return false;
  for (char c : sHost) {
    if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') return false;
  }
  return true;
}

// "host[:port]" or "[v6][:port]"; uPort stays kDefaultPort when none is written.
bool ParseHostPort(const std::string& sText, std::string& sHost, uint16_t& uPort) {
  uPort = kDefaultPort;
  std::string sPort;
  bool bHasPort = false;
  if (!sText.empty() && sText[0] == '[') {
    const size_t uClose = sText.find(']');
    if (uClose == std::string::npos) return false;
    sHost = sText.substr(1, uClose - 1);
    if (!IsIpv6Text(sHost)) return false;
    const std::string sRest = sText.substr(uClose + 1);
    if (!sRest.empty()) {
      if (sRest[0] != ':') return false;
      sPort = sRest.substr(1);
      bHasPort = true;
    }
  } else {
    const size_t uColon = sText.find(':');
    sHost = sText.substr(0, uColon);
    if (!IsHostName(sHost)) return false;
    if (uColon != std::string::npos) {
      sPort = sText.substr(uColon + 1);
      bHasPort = true;
    }
  }
  return !bHasPort || ParsePort(sPort, uPort);
}

// The user part of a telephone number as the request URI writes it, or "" when a character
// cannot be dialled (cBad tells which).
std::string TelephoneUser(const std::string& sNumber, char& cBad) {
  std::string sUser;
  cBad = 0;
  for (char c : sNumber) {
    if (c == ' ' || c == '(' || c == ')') continue;
    if (c == '#') {
      sUser += "%23";  // '#' must be escaped in a SIP URI
    } else if (IsAlnum(c) || std::strchr("+*.-_", c) != nullptr) {
      sUser += c;
    } else {
      cBad = c;
      return "";
    }
  }
  return sUser;
}

}  // namespace

std::string FormatHostPort(const std::string& sHost, uint16_t uPort) {
  std::string sText = sHost.find(':') != std::string::npos ? "[" + sHost + "]" : sHost;
  if (uPort != 0) sText += ":" + std::to_string(uPort);
  return sText;
}

bool ParseSipAccountUri(const std::string& sAccount, SSipAccountUri& oAccount,
                        std::string& sReason) {
  oAccount = SSipAccountUri{};
  const size_t uAt = sAccount.find('@');
  if (!StartsWithNoCase(sAccount, "sip:") || uAt == std::string::npos ||
      !IsUserPart(sAccount.substr(4, uAt - 4)) ||
      !ParseHostPort(sAccount.substr(uAt + 1), oAccount.m_oDomainHop.m_sHost,
                     oAccount.m_oDomainHop.m_uPort)) {
    sReason = "the SIP account \"" + sAccount + "\" is not of the form sip:user@domain";
    return false;
  }
  oAccount.m_sUser = sAccount.substr(4, uAt - 4);
  oAccount.m_sDomain = sAccount.substr(uAt + 1);
  return true;
}

bool ParseSipProxy(const std::string& sProxy, SSipHop& oHop, std::string& sReason) {
  oHop = SSipHop{};
  std::string sText = StartsWithNoCase(sProxy, "sip:") ? sProxy.substr(4) : sProxy;
  const size_t uParams = sText.find(';');
  bool bOk = true;
  if (uParams != std::string::npos) {
    const std::string sParams = sText.substr(uParams);
    sText.resize(uParams);
    if (StartsWithNoCase(sParams, ";transport=udp") && sParams.size() == 14) {
      oHop.m_eTransport = ESipTransport::UDP;
    } else if (StartsWithNoCase(sParams, ";transport=tcp") && sParams.size() == 14) {
      oHop.m_eTransport = ESipTransport::TCP;
    } else {
      bOk = false;
    }
  }
  if (!bOk || !ParseHostPort(sText, oHop.m_sHost, oHop.m_uPort)) {
    sReason = "the SIP proxy \"" + sProxy + "\" is not of the form host[:port][;transport=udp|tcp]";
    oHop = SSipHop{};
    return false;
  }
  return true;
}

ESipNumber ParseSipNumber(const std::string& sNumber, const SSipAccount& oAccount,
                          SSipTarget& oTarget, std::string& sReason) {
  oTarget = SSipTarget{};
  if (StartsWithNoCase(sNumber, "sip:")) {
    const size_t uAt = sNumber.find('@');
    if (uAt == std::string::npos || !IsUserPart(sNumber.substr(4, uAt - 4)) ||
        !ParseHostPort(sNumber.substr(uAt + 1), oTarget.m_oNextHop.m_sHost,
                       oTarget.m_oNextHop.m_uPort)) {
      sReason = "a SIP number must have the form sip:user@host[:port]";
      return ESipNumber::BAD_FORM;
    }
    oTarget.m_sRequestUri = "sip:" + sNumber.substr(4);
    oTarget.m_bDirect = true;
    return ESipNumber::OK;
  }
  char cBad = 0;
  const std::string sUser = TelephoneUser(sNumber, cBad);
  if (sUser.empty()) {
    sReason = cBad != 0
                  ? std::string("the number has a character that cannot be dialled: '") + cBad + "'"
                  : "the number has no digits";
    return ESipNumber::BAD_FORM;
  }
  if (oAccount.m_sAccount.empty()) {
    sReason = "no SIP account is set";
    return ESipNumber::NO_ACCOUNT;
  }
  SSipAccountUri oUri;
  if (!ParseSipAccountUri(oAccount.m_sAccount, oUri, sReason)) return ESipNumber::BAD_SETTING;
  SSipHop oHop = oUri.m_oDomainHop;
  if (!oAccount.m_sProxy.empty() && !ParseSipProxy(oAccount.m_sProxy, oHop, sReason)) {
    return ESipNumber::BAD_SETTING;
  }
  oTarget.m_sRequestUri = "sip:" + sUser + "@" + oUri.m_sDomain;
  oTarget.m_oNextHop = oHop;
  return ESipNumber::OK;
}

}  // namespace wdx::sip
