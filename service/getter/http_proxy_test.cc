#include "service/getter/http_proxy.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace wdx {
namespace {

// Each case sets its own proxy variables; none is left set after the test.
class HttpProxyChoiceTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* szName : kNames) unsetenv(szName);
  }
  static constexpr const char* kNames[] = {"http_proxy", "https_proxy", "HTTPS_PROXY",
                                           "all_proxy",  "ALL_PROXY",   "no_proxy",
                                           "NO_PROXY",   "HTTP_PROXY"};
};

TEST_F(HttpProxyChoiceTest, EnvironmentNamesTheProxyUnlessNoProxyCoversTheHost) {
  struct SCase {
    std::vector<std::pair<const char*, const char*>> m_oEnv;
    std::string m_sUrl;
    std::string m_sProxy;  // "host:port", "" for none, "bad" for a refused proxy
  };
  const std::vector<SCase> oCases = {
      {{{"http_proxy", "http://p:3128"}}, "http://h/", "p:3128"},
      {{{"http_proxy", "p"}}, "http://h/", "p:1080"},
      {{{"HTTP_PROXY", "http://p:3128"}}, "http://h/", ""},
      {{{"http_proxy", "http://p:3128"}}, "https://h/", ""},
      {{{"HTTPS_PROXY", "http://s:8"}}, "https://h/", "s:8"},
      {{{"all_proxy", "http://a:9"}}, "https://h/", "a:9"},
      {{{"http_proxy", "http://p:1"}, {"no_proxy", "*"}}, "http://h/", ""},
      {{{"http_proxy", "http://p:1"}, {"no_proxy", "x, .Example.org"}},
       "http://w.example.ORG/",
       ""},
      {{{"http_proxy", "http://p:1"}, {"NO_PROXY", "example.org"}}, "http://example.org/", ""},
      {{{"http_proxy", "http://p:1"}, {"no_proxy", "ample.org"}}, "http://example.org/", "p:1"},
      {{{"http_proxy", "socks5://p:1"}}, "http://h/", "bad"},
  };
  for (const SCase& oCase : oCases) {
    TearDown();
    for (const auto& [szName, szValue] : oCase.m_oEnv) setenv(szName, szValue, 1);
    SHttpUrl oUrl;
    ASSERT_EQ(ParseHttpUrl(oCase.m_sUrl, oUrl), EUrlKind::kHttp);
    SHttpUrl oProxy;
    bool bBad = false;
    const bool bFound = FindEnvironmentProxy(oUrl, oProxy, bBad);
    const std::string sGot =
        bBad ? "bad" : (bFound ? oProxy.m_sHost + ":" + std::to_string(oProxy.m_iPort) : "");
    EXPECT_EQ(sGot, oCase.m_sProxy) << oCase.m_sUrl << " " << oCase.m_oEnv[0].second;
  }
}

}  // namespace
}  // namespace wdx
