#include "service/getter/http_url.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wdx {
namespace {

TEST(HttpUrlTest, ParsesHttpUrlsAndRefusesTheRest) {
  struct SCase {
    std::string m_sUrl;
    EUrlKind m_eKind;
    std::string m_sWhole;  // for kHttp: the URL rebuilt from its parts
    std::string m_sHost;
    int m_iPort;
  };
  const std::vector<SCase> oCases = {
      {"http://127.0.0.1:8080/a?b=c#frag", EUrlKind::kHttp, "http://127.0.0.1:8080/a?b=c",
       "127.0.0.1", 8080},
      {"HTTPS://Example.org", EUrlKind::kHttp, "https://Example.org/", "Example.org", 443},
      {"http://user:pw@host/x", EUrlKind::kHttp, "http://host/x", "host", 80},
      {"http://[::1]:81/", EUrlKind::kHttp, "http://[::1]:81/", "::1", 81},
      {"http://h/a b\xC3\xA9", EUrlKind::kHttp, "http://h/a%20b%C3%A9", "h", 80},
      {"http://h?q", EUrlKind::kHttp, "http://h/?q", "h", 80},
      {"ftp://h/x", EUrlKind::kOtherScheme, "", "", 0},
      {"file:///etc/hostname", EUrlKind::kOtherScheme, "", "", 0},
      {"127.0.0.1/ok", EUrlKind::kUnparsable, "", "", 0},
      {"", EUrlKind::kUnparsable, "", "", 0},
      {"http:/h/x", EUrlKind::kUnparsable, "", "", 0},
      {"http://[zz", EUrlKind::kUnparsable, "", "", 0},
      {"http://h:0/", EUrlKind::kUnparsable, "", "", 0},
      {"http://h:65536/", EUrlKind::kUnparsable, "", "", 0},
      {"http://h:8x/", EUrlKind::kUnparsable, "", "", 0},
      {"http:///x", EUrlKind::kUnparsable, "", "", 0},
      {"http://a b/", EUrlKind::kUnparsable, "", "", 0},
  };
  for (const SCase& oCase : oCases) {
    SHttpUrl oUrl;
    EXPECT_EQ(ParseHttpUrl(oCase.m_sUrl, oUrl), oCase.m_eKind) << oCase.m_sUrl;
    if (oCase.m_eKind != EUrlKind::kHttp) continue;
    EXPECT_EQ(oUrl.Whole(), oCase.m_sWhole) << oCase.m_sUrl;
    EXPECT_EQ(oUrl.m_sHost, oCase.m_sHost) << oCase.m_sUrl;
    EXPECT_EQ(oUrl.m_iPort, oCase.m_iPort) << oCase.m_sUrl;
  }
}

TEST(HttpUrlTest, ResolvesRedirectTargetsAsBrowsersDo) {
  const std::string sBase = "http://h:8/a/b/c?q=1";
  const std::vector<std::pair<std::string, std::string>> oCases = {
      {"https://other/x", "https://other/x"},
      {"//other/x", "http://other/x"},
      {"/root", "http://h:8/root"},
      {"d", "http://h:8/a/b/d"},
      {"../d?x#f", "http://h:8/a/d?x#f"},
      {"./d/./e/../f", "http://h:8/a/b/d/f"},
      {"../../../../d", "http://h:8/d"},
      {"?z", "http://h:8/a/b/c?z"},
      {"ftp://h/x", "ftp://h/x"},
  };
  for (const auto& [sReference, sExpected] : oCases) {
    EXPECT_EQ(ResolveUrl(sBase, sReference), sExpected) << sReference;
  }
}

}  // namespace
}  // namespace wdx
