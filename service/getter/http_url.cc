#include "service/getter/http_url.h"

#include <cctype>
#include <cstdio>
#include <string_view>

namespace wdx {
namespace {

// The scheme of sUrl (lower case) when it starts with one followed by ':', else "".
std::string SchemeOf(std::string_view sUrl) {
  if (sUrl.empty() || !std::isalpha(static_cast<unsigned char>(sUrl[0]))) return "";
  for (size_t i = 0; i < sUrl.size(); ++i) {
    const auto uChar = static_cast<unsigned char>(sUrl[i]);
    if (sUrl[i] == ':') {
      std::string sScheme(sUrl.substr(0, i));
      for (char& cChar : sScheme) cChar = static_cast<char>(std::tolower(cChar));
      return sScheme;
    }
    if (!std::isalnum(uChar) && uChar != '+' && uChar != '-' && uChar != '.') return "";
  }
  return "";
}

std::string EncodeTarget(std::string_view sTarget) {
  std::string sOut;
  for (char cChar : sTarget) {
    const auto uChar = static_cast<unsigned char>(cChar);
    if (uChar <= ' ' || uChar >= 0x7f) {
      char szHex[4];
      std::snprintf(szHex, sizeof(szHex), "%%%02X", uChar);
      sOut += szHex;
    } else {
      sOut += cChar;
    }
  }
  return sOut;
}

bool ParsePort(std::string_view sText, int& iPort) {
  if (sText.empty() || sText.size() > 5) return false;
  iPort = 0;
  for (char cChar : sText) {
    if (!std::isdigit(static_cast<unsigned char>(cChar))) return false;
    iPort = iPort * 10 + (cChar - '0');
  }
  return iPort >= 1 && iPort <= 65535;
}

bool ParseAuthority(std::string_view sAuthority, SHttpUrl& oUrl) {
  const size_t uAt = sAuthority.rfind('@');
  if (uAt != std::string_view::npos) sAuthority.remove_prefix(uAt + 1);
  std::string_view sPort;
  if (!sAuthority.empty() && sAuthority[0] == '[') {
    const size_t uClose = sAuthority.find(']');
    if (uClose == std::string_view::npos || uClose < 2) return false;
    oUrl.m_sHost = sAuthority.substr(1, uClose - 1);
    for (char cChar : oUrl.m_sHost) {
      if (!std::isxdigit(static_cast<unsigned char>(cChar)) && cChar != ':' && cChar != '.') {
        return false;
      }
    }
    const std::string_view sRest = sAuthority.substr(uClose + 1);
    if (!sRest.empty() && sRest[0] != ':') return false;
    if (!sRest.empty()) sPort = sRest.substr(1);
    if (!sRest.empty() && !ParsePort(sPort, oUrl.m_iPort)) return false;
    return true;
  }
  const size_t uColon = sAuthority.find(':');
  oUrl.m_sHost = sAuthority.substr(0, uColon);
  if (oUrl.m_sHost.empty()) return false;
  for (char cChar : oUrl.m_sHost) {
    const auto uChar = static_cast<unsigned char>(cChar);
    if (uChar <= ' ' || uChar >= 0x7f ||
        std::string_view("[]<>\"\\^`{|}%").find(cChar) != std::string_view::npos) {
      return false;
    }
  }
  if (uColon != std::string_view::npos)
    return ParsePort(sAuthority.substr(uColon + 1), oUrl.m_iPort);
  return true;
}

// Drops "." and ".." segments of an absolute path.
std::string RemoveDotSegments(const std::string& sPath) {
  std::string sOut;
  size_t uAt = 0;
  while (uAt < sPath.size()) {
    size_t uEnd = sPath.find('/', uAt + 1);
    if (uEnd == std::string::npos) uEnd = sPath.size();
    const std::string sSegment = sPath.substr(uAt, uEnd - uAt);  // with its leading "/"
    if (sSegment == "/..") {
      const size_t uCut = sOut.rfind('/');
      sOut.erase(uCut == std::string::npos ? 0 : uCut);
      if (uEnd == sPath.size()) sOut += '/';
    } else if (sSegment == "/.") {
      if (uEnd == sPath.size()) sOut += '/';
    } else {
      sOut += sSegment;
    }
    uAt = uEnd;
  }
  return sOut.empty() ? "/" : sOut;
}

}  // namespace

std::string SHttpUrl::Authority() const {
  const bool bV6 = m_sHost.find(':') != std::string::npos;
  std::string sOut = bV6 ? "[" + m_sHost + "]" : m_sHost;
  if (m_iPort != (m_bTls ? 443 : 80)) sOut += ":" + std::to_string(m_iPort);
  return sOut;
}

std::string SHttpUrl::Whole() const {
  return (m_bTls ? "https://" : "http://") + Authority() + m_sTarget;
}

EUrlKind ParseHttpUrl(const std::string& sUrl, SHttpUrl& oUrl) {
  const std::string sScheme = SchemeOf(sUrl);
  if (sScheme.empty()) return EUrlKind::kUnparsable;
  if (sScheme != "http" && sScheme != "https") return EUrlKind::kOtherScheme;
  std::string_view sRest(sUrl);
  sRest.remove_prefix(sScheme.size() + 1);
  if (sRest.substr(0, 2) != "//") return EUrlKind::kUnparsable;
  sRest.remove_prefix(2);
  const size_t uEnd = sRest.find_first_of("/?#");
  SHttpUrl oOut;
  oOut.m_bTls = sScheme == "https";
  oOut.m_iPort = oOut.m_bTls ? 443 : 80;
  if (!ParseAuthority(sRest.substr(0, uEnd), oOut)) return EUrlKind::kUnparsable;
  std::string_view sTarget = uEnd == std::string_view::npos ? "" : sRest.substr(uEnd);
  sTarget = sTarget.substr(0, sTarget.find('#'));
  oOut.m_sTarget = EncodeTarget(sTarget);
  if (oOut.m_sTarget.empty() || oOut.m_sTarget[0] != '/') oOut.m_sTarget.insert(0, "/");
  oUrl = oOut;
  return EUrlKind::kHttp;
}

std::string ResolveUrl(const std::string& sBase, const std::string& sReference) {
  if (!SchemeOf(sReference).empty()) return sReference;
  SHttpUrl oBase;
  if (ParseHttpUrl(sBase, oBase) != EUrlKind::kHttp) return sReference;
  const std::string sOrigin = (oBase.m_bTls ? "https://" : "http://") + oBase.Authority();
  if (sReference.rfind("//", 0) == 0) return (oBase.m_bTls ? "https:" : "http:") + sReference;
  const std::string sBasePath = oBase.m_sTarget.substr(0, oBase.m_sTarget.find('?'));
  if (sReference.empty() || sReference[0] == '#') return oBase.Whole();
  if (sReference[0] == '?') return sOrigin + sBasePath + sReference;
  const size_t uQuery = sReference.find_first_of("?#");
  const std::string sPath = sReference.substr(0, uQuery);
  const std::string sTail = uQuery == std::string::npos ? "" : sReference.substr(uQuery);
  const std::string sMerged =
      sPath[0] == '/' ? sPath : sBasePath.substr(0, sBasePath.rfind('/') + 1) + sPath;
  return sOrigin + RemoveDotSegments(sMerged) + sTail;
}

}  // namespace wdx
