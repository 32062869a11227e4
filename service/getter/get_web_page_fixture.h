// Shared fixtures of the page getter's tests: a loopback server with the routes the tests
// ask for, the captured process log, an environment guard and, for HTTPS, a test CA made with
// the openssl tool once per suite.
//
// Threading: one test thread; the loopback server answers on its own threads.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include "tests/support/log_capture.h"
#include "tests/support/loopback_servers.h"
#include "tests/support/temp_folder.h"

#include "service/getter/get_web_page.h"

namespace wdx::test {

inline constexpr const char* kNotHttp = "CGetWebPage:: can only use URLs beginning with http:////";

class CEnvGuard final {
 public:
  CEnvGuard(const char* szName, const char* szValue) : m_sName(szName) {
    if (const char* szOld = std::getenv(szName)) m_oOld = szOld;
    setenv(szName, szValue, 1);
  }
  ~CEnvGuard() {
    if (!m_oOld) unsetenv(m_sName.c_str());
    if (m_oOld) setenv(m_sName.c_str(), m_oOld->c_str(), 1);
  }
  CEnvGuard(const CEnvGuard&) = delete;
  CEnvGuard& operator=(const CEnvGuard&) = delete;

 private:
  std::string m_sName;
  std::optional<std::string> m_oOld;
};

class GetWebPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetGetterSettings();
    AddRoutes(m_oServer.Http());
    ASSERT_TRUE(m_oServer.Start());
    ASSERT_TRUE(m_oLog.IsReady());
  }
  void TearDown() override {
    m_oServer.Stop();
    ResetGetterSettings();
  }
  static void ResetGetterSettings() {
    CGetWebPage::ResetOptionsForTesting();
    CGetWebPage::SetTimeoutsForTesting(SUrlTimeouts{});
    CGetWebPage::SetCaFileForTesting("");
  }

  void AddRoutes(httplib::Server& oHttp) {
    using httplib::Request;
    using httplib::Response;
    oHttp.Get("/ok",
              [](const Request&, Response& oRes) { oRes.set_content("fine", "text/plain"); });
    oHttp.Get("/nocontent", [](const Request&, Response& oRes) { oRes.status = 204; });
    oHttp.Get("/error", [](const Request&, Response& oRes) { oRes.status = 500; });
    oHttp.Get("/auth", [](const Request&, Response& oRes) { oRes.status = 401; });
    oHttp.Get("/noloc", [](const Request&, Response& oRes) { oRes.status = 302; });
    oHttp.Get(R"(/to/(\d+)/(.*))", [](const Request& oReq, Response& oRes) {
      oRes.set_redirect(oReq.matches[2].str(), std::stoi(oReq.matches[1].str()));
    });
    oHttp.Get("/headers", [this](const Request& oReq, Response& oRes) {
      std::lock_guard<std::mutex> oLock(m_oMutex);
      for (const char* szName : {"Accept", "User-Agent", "Cache-Control", "Pragma"}) {
        m_sSeenHeaders += std::string(szName) + "=" + oReq.get_header_value(szName) + ";";
      }
      oRes.status = 200;
    });
    oHttp.Get("/bigheaders", [](const Request&, Response& oRes) {
      for (int i = 0; i < 1000; ++i)
        oRes.set_header("X-Pad-" + std::to_string(i), std::string(1000, 'p'));
    });
    oHttp.Get("/endless", [](const Request&, Response& oRes) {
      oRes.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& oSink) {
        const std::string sChunk(16384, 'x');
        return oSink.write(sChunk.data(), sChunk.size());
      });
    });
  }

  std::string Url(const std::string& sPath) const {
    return "http://127.0.0.1:" + std::to_string(m_oServer.Port()) + sPath;
  }
  // A path that redirects with iStatus to sTarget.
  std::string RedirectUrl(int iStatus, const std::string& sTarget) const {
    return Url("/to/" + std::to_string(iStatus) + "/" + sTarget);
  }
  bool HasEvent(const std::string& sText) const {
    return m_oLog.Text().find(" (event): " + sText + "\r\r\n") != std::string::npos;
  }
  int CountErrorEntries() const {
    const std::string sAll = m_oLog.Text();
    int iCount = 0;
    for (size_t uAt = sAll.find(" Error: "); uAt != std::string::npos;
         uAt = sAll.find(" Error: ", uAt + 1)) {
      ++iCount;
    }
    return iCount;
  }
  // The text of the first error entry that starts with sPrefix ("" if none).
  std::string ErrorStartingWith(const std::string& sPrefix) const {
    const std::string sAll = m_oLog.Text();
    const size_t uAt = sAll.find(" Error: " + sPrefix);
    if (uAt == std::string::npos) return "";
    const size_t uStart = uAt + 8;
    return sAll.substr(uStart, sAll.find("\r\r\n", uStart) - uStart);
  }
  void ExpectException(int iCode, const std::string& sUrl) const {
    EXPECT_TRUE(
        m_oLog.HasError("CGetWebPage::  Exception " + std::to_string(iCode) + " for this URL: "));
    EXPECT_TRUE(m_oLog.HasError(sUrl));
  }

  test::CLogCapture m_oLog;
  CLoopbackServer m_oServer{std::make_unique<httplib::Server>()};
  std::mutex m_oMutex;
  std::string m_sSeenHeaders;
  CGetWebPage m_oPage;
};

// A test CA and a server certificate for 127.0.0.1 made with the openssl tool, once per suite.
class GetWebPageHttpsTest : public GetWebPageTest {
 protected:
  static void SetUpTestSuite() {
    s_pCerts = std::make_unique<test::CTempFolder>();
    const std::string sDir = s_pCerts->Path();
    s_pCerts->Write("ext.cnf",
                    "subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n");
    const std::string sKey = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    const std::string sScript =
        "cd '" + sDir + "' && openssl req -x509" + sKey +
        " -keyout ca.key -out ca.pem -days 2 -subj '/CN=Wardenix Test CA' && openssl req" + sKey +
        " -keyout server.key -out server.csr -subj '/CN=localhost' && openssl x509 -req"
        " -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2"
        " -extfile ext.cnf";
    s_bCertsMade = std::system(("(" + sScript + ") >/dev/null 2>&1").c_str()) == 0;
  }
  static void TearDownTestSuite() { s_pCerts.reset(); }

  void SetUp() override {
    ASSERT_TRUE(s_bCertsMade) << "the openssl tool could not make the test certificates";
    GetWebPageTest::SetUp();
    const std::string sDir = s_pCerts->Path();
    m_pTls = std::make_unique<CLoopbackServer>(std::make_unique<httplib::SSLServer>(
        (sDir + "server.pem").c_str(), (sDir + "server.key").c_str()));
    AddRoutes(m_pTls->Http());
    ASSERT_TRUE(m_pTls->Start());
  }
  void TearDown() override {
    m_pTls.reset();
    GetWebPageTest::TearDown();
  }
  std::string TlsUrl(const std::string& sPath) const {
    return "https://127.0.0.1:" + std::to_string(m_pTls->Port()) + sPath;
  }
  static std::string CaFile() { return s_pCerts->File("ca.pem"); }

  static inline std::unique_ptr<test::CTempFolder> s_pCerts;
  static inline bool s_bCertsMade = false;
  std::unique_ptr<CLoopbackServer> m_pTls;
};

}  // namespace wdx::test
