// The page getter over HTTPS: certificates checked against a test CA, the proxy tunnel and a
// redirect from http to https.
#include "service/getter/get_web_page.h"

#include <gtest/gtest.h>

#include "service/getter/get_web_page_fixture.h"

namespace wdx {
namespace {

using test::CCannedServer;
using test::CEnvGuard;
using test::CLoopbackServer;
using test::CSilentListener;
using test::CTunnelProxy;
using test::FreePort;
using test::GetWebPageHttpsTest;
using test::GetWebPageTest;
using test::kNotHttp;

TEST_F(GetWebPageHttpsTest, TrustedCertificatePasses) {
  CGetWebPage::SetCaFileForTesting(CaFile());
  EXPECT_EQ(m_oPage.Go("D", TlsUrl("/ok").c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 200);
  EXPECT_EQ(m_oPage.Go("D", TlsUrl("/missing").c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 404);
}

TEST_F(GetWebPageHttpsTest, UntrustedCertificateIsATransportFailure) {
  EXPECT_EQ(m_oPage.Go("D", TlsUrl("/ok").c_str()), 2);
  EXPECT_EQ(m_oPage.GetStatusCode(), 1);
  const std::string sLine = ErrorStartingWith("CGetWebPage::  HTTP client Exception 60: ");
  EXPECT_NE(sLine.find("certificate"), std::string::npos) << m_oLog.Text();
  EXPECT_TRUE(m_oLog.HasError(TlsUrl("/ok")));
}

TEST_F(GetWebPageHttpsTest, HttpsGoesThroughTheProxyTunnelAndIsStillVerified) {
  CTunnelProxy oProxy;
  CEnvGuard oProxyVar("https_proxy", oProxy.Url().c_str());
  CEnvGuard oNoProxy("no_proxy", "");
  EXPECT_EQ(m_oPage.Go("D", TlsUrl("/ok").c_str()), 2);  // the test CA is not trusted yet
  EXPECT_FALSE(ErrorStartingWith("CGetWebPage::  HTTP client Exception 60: ").empty());
  CGetWebPage::SetCaFileForTesting(CaFile());
  EXPECT_EQ(m_oPage.Go("D", TlsUrl("/ok").c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 200);
  const std::string sConnect = "CONNECT 127.0.0.1:" + std::to_string(m_pTls->Port()) + " HTTP/1.1;";
  EXPECT_EQ(oProxy.Requests(), sConnect + sConnect);
}

TEST_F(GetWebPageHttpsTest, RedirectFromHttpToHttpsPasses) {
  CGetWebPage::SetCaFileForTesting(CaFile());
  EXPECT_EQ(m_oPage.Go("D", RedirectUrl(301, TlsUrl("/ok")).c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 200);
  EXPECT_EQ(m_oPage.Go("D", RedirectUrl(302, TlsUrl("/missing")).c_str()), 2);
}

}  // namespace
}  // namespace wdx
