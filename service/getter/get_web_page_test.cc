// The page getter against real servers on loopback: statuses, redirects, refusals, time limits,
// cancelling and proxies.
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

// --- Completed requests: code 0 whatever the status ------------------------------------------

TEST_F(GetWebPageTest, Status200PassesAndLogsTheStatusEvent) {
  EXPECT_EQ(m_oPage.Go("D", Url("/ok").c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 200);
  EXPECT_TRUE(m_oPage.IsOk());
  EXPECT_EQ(m_oPage.GetUrl(), Url("/ok"));
  EXPECT_TRUE(HasEvent("CGetWebPage Go: " + Url("/ok")));
  EXPECT_TRUE(HasEvent("CGetWebPage::  Got status code 200"));
  EXPECT_EQ(CountErrorEntries(), 0);
}

TEST_F(GetWebPageTest, Status204Passes) {
  EXPECT_EQ(m_oPage.Go("D", Url("/nocontent").c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 204);
  EXPECT_TRUE(m_oPage.IsOk());
}

TEST_F(GetWebPageTest, Status404And500CompleteButAreNotOk) {
  EXPECT_EQ(m_oPage.Go("D", Url("/missing").c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 404);
  EXPECT_FALSE(m_oPage.IsOk());
  EXPECT_TRUE(HasEvent("CGetWebPage::  Got status code 404"));
  EXPECT_EQ(m_oPage.Go("D", Url("/error").c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 500);
  EXPECT_FALSE(m_oPage.IsOk());
  EXPECT_TRUE(HasEvent("CGetWebPage::  Got status code 500"));
}

TEST_F(GetWebPageTest, SendsTheFixedHeadersAndNoCache) {
  EXPECT_EQ(m_oPage.Go("D", Url("/headers").c_str()), 0);
  std::lock_guard<std::mutex> oLock(m_oMutex);
  EXPECT_EQ(m_sSeenHeaders,
            "Accept=text/*;User-Agent=MFC_Tear_Sample;Cache-Control=no-cache;Pragma=no-cache;");
}

TEST_F(GetWebPageTest, EndlessBodyReturnsWithTheStatus) {
  // A getter that read the body would run into this time limit and fail.
  CGetWebPage::SetTimeoutsForTesting(SUrlTimeouts{5000, 5, 10000});
  EXPECT_EQ(m_oPage.Go("D", Url("/endless").c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 200);
}

TEST_F(GetWebPageTest, UrlOf2000CharactersIsRequested) {
  std::string sUrl = Url("/ok?q=");
  sUrl += std::string(2000 - sUrl.size(), 'a');
  EXPECT_EQ(m_oPage.Go("D", sUrl.c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 200);
}

// --- Redirects: one is followed, the target must answer 200 -----------------------------------

TEST_F(GetWebPageTest, RedirectsToAPageThatAnswers200Pass) {
  for (int iStatus : {301, 302, 303}) {
    CGetWebPage oPage;
    EXPECT_EQ(oPage.Go("D", RedirectUrl(iStatus, Url("/ok")).c_str()), 0) << iStatus;
    EXPECT_EQ(oPage.GetStatusCode(), 200) << iStatus;
    EXPECT_TRUE(oPage.IsOk());
  }
  EXPECT_EQ(CountErrorEntries(), 0);
}

TEST_F(GetWebPageTest, RedirectToA404EndsWithCode2) {
  const std::string sUrl = RedirectUrl(302, Url("/missing"));
  EXPECT_EQ(m_oPage.Go("D", sUrl.c_str()), 2);
  EXPECT_EQ(m_oPage.GetStatusCode(), 404);
  EXPECT_FALSE(m_oPage.IsOk());
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage::  Got status code 404"));
  ExpectException(2, sUrl);
}

TEST_F(GetWebPageTest, SecondRedirectIsNotFollowed) {
  EXPECT_EQ(m_oPage.Go("D", RedirectUrl(302, RedirectUrl(301, Url("/ok"))).c_str()), 2);
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage::  Got status code 301"));
  const std::string sLoop = Url("/to/302/") + Url("/to/302/") + Url("/ok");
  EXPECT_EQ(m_oPage.Go("D", sLoop.c_str()), 2);
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage::  Got status code 302"));
}

TEST_F(GetWebPageTest, RedirectWithoutLocationEndsWithCode2) {
  EXPECT_EQ(m_oPage.Go("D", Url("/noloc").c_str()), 2);
  EXPECT_EQ(m_oPage.GetStatusCode(), 302);
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage:: Site redirects with no new location"));
  ExpectException(2, Url("/noloc"));
}

TEST_F(GetWebPageTest, RedirectToAnotherSchemeEndsWithCode2) {
  const std::string sTarget = "ftp://127.0.0.1/file.txt";
  EXPECT_EQ(m_oPage.Go("D", RedirectUrl(302, sTarget).c_str()), 2);
  EXPECT_TRUE(
      m_oLog.HasError("CGetWebPage::  this redirected URL does not reference a HTTP resource:"));
  EXPECT_TRUE(m_oLog.HasError(sTarget));
}

TEST_F(GetWebPageTest, RedirectToGarbageEndsWithCode2) {
  EXPECT_EQ(m_oPage.Go("D", RedirectUrl(302, "http://[zz").c_str()), 2);
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage:: this redirected URL could not be parsed: "));
  EXPECT_TRUE(m_oLog.HasError("http://[zz"));
}

TEST_F(GetWebPageTest, RelativeRedirectIsResolvedAgainstTheRequest) {
  EXPECT_EQ(m_oPage.Go("D", RedirectUrl(302, "/ok").c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 200);
  EXPECT_TRUE(m_oPage.IsOk());
}

TEST_F(GetWebPageTest, LocationIsTakenByItsNameAtTheStartOfAHeaderLine) {
  const std::string sOk = Url("/ok");
  const std::string sWrong = Url("/missing");
  struct SCase {
    std::string m_sHeaders;  // header lines of a 302 answer
    int m_iCode;             // what Go returns
  };
  const std::vector<SCase> oCases = {
      {"Content-Location: " + sWrong + "\r\nLocation: " + sOk, 0},
      {"X-Note: see Location: " + sWrong + "\r\nLocation: " + sOk, 0},
      {"X-Note: see Location: http://evil.example/", 2},
      {"location: " + sOk, 0},
      {"LOCATION: " + sOk, 0},
      {"Location:" + sOk, 0},
      {"Location: \t " + sOk + " \t", 0},
      {"Location:   ", 2},
      {"XLocation: " + sOk, 2},
      {"Content-Location: " + sOk, 2},
  };
  for (const SCase& oCase : oCases) {
    CCannedServer oServer("HTTP/1.1 302 Found\r\n" + oCase.m_sHeaders +
                          "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    CGetWebPage oPage;
    EXPECT_EQ(oPage.Go("D", oServer.Url().c_str()), oCase.m_iCode) << oCase.m_sHeaders;
    EXPECT_EQ(oPage.GetStatusCode(), oCase.m_iCode == 0 ? 200 : 302) << oCase.m_sHeaders;
  }
  EXPECT_EQ(m_oLog.CountErrors("CGetWebPage:: Site redirects with no new location"), 4);
  EXPECT_EQ(m_oLog.Text().find("evil.example"), std::string::npos);
}

// --- Refusals: code 1 ------------------------------------------------------------------------

TEST_F(GetWebPageTest, Status401IsAccessDenied) {
  EXPECT_EQ(m_oPage.Go("D", Url("/auth").c_str()), 1);
  EXPECT_EQ(m_oPage.GetStatusCode(), 401);
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage:: Access denied: Invalid password"));
  ExpectException(1, Url("/auth"));
}

TEST_F(GetWebPageTest, OtherSchemesAndMissingSchemeAreRefused) {
  for (const char* szUrl : {"ftp://127.0.0.1/x", "file:///etc/hostname", "127.0.0.1/ok", ""}) {
    CGetWebPage oPage;
    EXPECT_EQ(oPage.Go("D", szUrl), 1) << szUrl;
    EXPECT_EQ(oPage.GetStatusCode(), 1);
  }
  EXPECT_EQ(m_oLog.CountErrors(kNotHttp), 4);
  ExpectException(1, "ftp://127.0.0.1/x");
}

TEST_F(GetWebPageTest, UnknownOptionIsRefusedBeforeAnyRequest) {
  EXPECT_EQ(m_oPage.Go("X", Url("/ok").c_str()), 1);
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage::ParseOptions unrecognized option: X"));
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage Go: " + Url("/ok")));
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage:: bad params."));
  EXPECT_EQ(CountErrorEntries(), 3);
  EXPECT_FALSE(HasEvent("CGetWebPage Go: " + Url("/ok")));
}

TEST_F(GetWebPageTest, ControlCharactersNeverReachTheWire) {
  CSilentListener oListener;
  const std::string sBase = "http://127.0.0.1:" + std::to_string(oListener.Port());
  for (const std::string& sUrl : {sBase + "/a\r\nX-Injected: 1", sBase + "/a\nb", sBase + "/\t"}) {
    CGetWebPage oPage;
    EXPECT_EQ(oPage.Go("D", sUrl.c_str()), 1);
  }
  EXPECT_FALSE(oListener.HasPendingConnection());
  // The log stays one entry a line: the URL's control bytes are shown escaped.
  EXPECT_TRUE(m_oLog.HasError(sBase + "/a%0D%0AX-Injected: 1"));
  EXPECT_EQ(m_oLog.Text().find("\nX-Injected"), std::string::npos);
}

TEST_F(GetWebPageTest, OverlongUrlIsRefused) {
  CSilentListener oListener;
  std::string sUrl = "http://127.0.0.1:" + std::to_string(oListener.Port()) + "/";
  sUrl += std::string(WDX_URL_MAX_LENGTH, 'a');
  EXPECT_EQ(m_oPage.Go("D", sUrl.c_str()), 1);
  EXPECT_FALSE(oListener.HasPendingConnection());
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage::  Exception 1 for this URL: "));
}

// --- Transport failures: code 2 and the HTTP client error line --------------------------------

TEST_F(GetWebPageTest, UnreachableServerLogsTwoErrorLines) {
  const std::string sUrl = "http://127.0.0.1:" + std::to_string(FreePort()) + "/ok";
  EXPECT_EQ(m_oPage.Go("D", sUrl.c_str()), 2);
  EXPECT_EQ(m_oPage.GetStatusCode(), 1);
  EXPECT_EQ(CountErrorEntries(), 2);
  const std::string sLine = ErrorStartingWith("CGetWebPage::  HTTP client Exception 7: ");
  EXPECT_NE(sLine.find("connect"), std::string::npos) << sLine;
  EXPECT_TRUE(sLine.ends_with(" for this URL: ")) << sLine;
  EXPECT_TRUE(m_oLog.HasError(sUrl));
}

TEST_F(GetWebPageTest, MegabyteOfHeadersIsATransportFailure) {
  EXPECT_EQ(m_oPage.Go("D", Url("/bigheaders").c_str()), 2);
  EXPECT_FALSE(m_oPage.IsOk());
  EXPECT_NE(ErrorStartingWith("CGetWebPage::  HTTP client Exception 23: ").find("response headers"),
            std::string::npos);
}

TEST_F(GetWebPageTest, SilentServerEndsAtTheTimeLimits) {
  CSilentListener oListener;
  const std::string sUrl = "http://127.0.0.1:" + std::to_string(oListener.Port()) + "/";
  CGetWebPage::SetTimeoutsForTesting(SUrlTimeouts{1000, 60, 300});
  EXPECT_EQ(m_oPage.Go("D", sUrl.c_str()), 2);
  EXPECT_FALSE(ErrorStartingWith("CGetWebPage::  HTTP client Exception 28: ").empty());
  // The no-data limit alone ends it as well.
  CGetWebPage::SetTimeoutsForTesting(SUrlTimeouts{1000, 1, 60000});
  EXPECT_EQ(m_oPage.Go("D", sUrl.c_str()), 2);
  EXPECT_EQ(m_oLog.CountErrors(sUrl), 2);
}

TEST_F(GetWebPageTest, CancelCheckAbandonsARequestInFlight) {
  CSilentListener oListener;
  const std::string sUrl = "http://127.0.0.1:" + std::to_string(oListener.Port()) + "/";
  const auto oStart = std::chrono::steady_clock::now();
  int iAsked = 0;
  m_oPage.SetCancelCheck([&] {
    ++iAsked;
    return std::chrono::steady_clock::now() - oStart > std::chrono::milliseconds(600);
  });
  EXPECT_EQ(m_oPage.Go("D", sUrl.c_str()), 2);
  // Well under the 60 s no-data limit and the 120 s time limit still in force.
  EXPECT_LT(std::chrono::steady_clock::now() - oStart, std::chrono::seconds(20));
  EXPECT_GE(iAsked, 2);
  EXPECT_TRUE(HasEvent("CGetWebPage:: request abandoned, the service is stopping. URL: " + sUrl));
  EXPECT_EQ(CountErrorEntries(), 0);
  // A check that never fires lets requests complete.
  m_oPage.SetCancelCheck([] { return false; });
  EXPECT_EQ(m_oPage.Go("D", Url("/ok").c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 200);
}

TEST_F(GetWebPageTest, TimeLimitBoundsTheWholeRequestAndClampsToOneSecond) {
  CSilentListener oListener;
  const std::string sUrl = "http://127.0.0.1:" + std::to_string(oListener.Port()) + "/";
  CGetWebPage::SetTimeoutsForTesting(SUrlTimeouts{30000, 600, 600000});
  for (int iSeconds : {1, 0, -5}) {
    CGetWebPage oPage;
    oPage.SetTimeLimit(iSeconds);
    const auto oStart = std::chrono::steady_clock::now();
    EXPECT_EQ(oPage.Go("D", sUrl.c_str()), 2) << iSeconds;
    EXPECT_LT(std::chrono::steady_clock::now() - oStart, std::chrono::seconds(20)) << iSeconds;
  }
  EXPECT_EQ(m_oLog.CountErrors(sUrl), 3);
  EXPECT_EQ(m_oLog.Text().find("HTTP client Exception 43"), std::string::npos);
  EXPECT_FALSE(ErrorStartingWith("CGetWebPage::  HTTP client Exception 28: ").empty());
}

// --- Options ----------------------------------------------------------------------------------

TEST_F(GetWebPageTest, OptionLettersAreWholeAndCaseBlind) {
  EXPECT_TRUE(m_oPage.ParseOptions("l"));
  EXPECT_EQ(CGetWebPage::GetAccessType(), WDX_URL_ACCESS_DIRECT);
  EXPECT_TRUE(m_oPage.ParseOptions(" D "));
  EXPECT_EQ(CGetWebPage::GetAccessType(), WDX_URL_ACCESS_PROXY);
  EXPECT_TRUE(m_oPage.ParseOptions("S"));
  EXPECT_TRUE(m_oPage.ParseOptions("f"));
  EXPECT_FALSE(CGetWebPage::IsProgressMode());
  for (const char* szBad : {"DL", "", "Q", "DD"}) EXPECT_FALSE(m_oPage.ParseOptions(szBad));
  EXPECT_FALSE(m_oPage.ParseOptions(nullptr));
  EXPECT_FALSE(m_oPage.ParseOptions(std::string(5000, 'D').c_str()));
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage::ParseOptions unrecognized option: DL"));
  EXPECT_EQ(CGetWebPage::GetAccessType(), WDX_URL_ACCESS_PROXY);
  EXPECT_TRUE(CGetWebPage::IsReloadSet());
}

TEST_F(GetWebPageTest, ProxyAccessUsesTheEnvironmentAndDirectIgnoresIt) {
  const std::string sDeadProxy = "http://127.0.0.1:" + std::to_string(FreePort());
  CEnvGuard oProxy("http_proxy", sDeadProxy.c_str());
  CEnvGuard oNoProxy("no_proxy", "");
  EXPECT_EQ(m_oPage.Go("D", Url("/ok").c_str()), 2);
  EXPECT_EQ(m_oPage.Go("L", Url("/ok").c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 200);
}

TEST_F(GetWebPageTest, HttpProxySendsTheWholeUrl) {
  CCannedServer oProxy("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
  const std::string sProxy = oProxy.Url();
  CEnvGuard oProxyVar("http_proxy", sProxy.substr(0, sProxy.size() - 1).c_str());
  CEnvGuard oNoProxy("no_proxy", "");
  // Nothing listens at the URL itself: only the proxy can answer.
  const std::string sUrl = "http://127.0.0.1:" + std::to_string(FreePort()) + "/x";
  EXPECT_EQ(m_oPage.Go("D", sUrl.c_str()), 0);
  EXPECT_EQ(m_oPage.GetStatusCode(), 204);
}

TEST_F(GetWebPageTest, ProgressModeLogsConnectionAndRedirect) {
  EXPECT_EQ(m_oPage.Go("P", RedirectUrl(302, Url("/ok")).c_str()), 0);
  EXPECT_TRUE(CGetWebPage::IsProgressMode());
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage:: Opening Internet..."));
  EXPECT_TRUE(HasEvent("Connection made!"));
  EXPECT_TRUE(m_oLog.HasError("CGetWebPage:: Caution: redirected to " + Url("/ok")));
}

}  // namespace
}  // namespace wdx
