// SHttpUrl: the parts of an http or https URL that one GET request needs, and the resolution of
// a redirect target against the URL it came from (RFC 3986, section 5.2).
//
// Threading: plain values and pure functions.
#pragma once

#include <string>

namespace wdx {

enum class EUrlKind { kHttp, kOtherScheme, kUnparsable };

struct SHttpUrl {
  bool m_bTls = false;
  std::string m_sHost;  // name or address as written; IPv6 without its brackets
  int m_iPort = 0;
  std::string m_sTarget;  // path and query, never empty ("/" at least), fragment dropped

  // "host" or "host:port" as the Host header and a CONNECT request name it.
  std::string Authority() const;
  // The whole URL again, scheme://authority/target.
  std::string Whole() const;
};

// Splits sUrl; oUrl is filled in only for kHttp. Blanks and bytes above 127 in the target are
// percent-encoded; credentials before an "@" in the authority are dropped.
EUrlKind ParseHttpUrl(const std::string& sUrl, SHttpUrl& oUrl);

// sReference read relative to sBase (an absolute URL): the absolute URL it names.
std::string ResolveUrl(const std::string& sBase, const std::string& sReference);

}  // namespace wdx
