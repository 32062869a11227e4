// CConsoleServer on loopback, asked by a plain HTTP client: the rules every request passes
// (host, method, token, session cookie, CSRF token, origin), the API's routing and errors, and
// what it serves besides.
#include "console/web/console_server.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

const std::string kToken(64, 'c');

class ConsoleServerTest : public testing::Test {
 protected:
  void SetUp() override {
    m_oServer.AddGet("/api/echo", [](const SApiRequest& oRequest) {
      nlohmann::json oQuery = nlohmann::json::object();
      for (const auto& [sKey, sValue] : oRequest.m_oQuery) oQuery[sKey] = sValue;
      return SApiReply::Ok({{"path", oRequest.m_sPath}, {"query", oQuery}});
    });
    m_oServer.AddPost("/api/echo", [](const SApiRequest& oRequest) {
      return SApiReply::Ok({{"body", oRequest.m_oBody}});
    });
    m_oServer.AddGet("/api/throws",
                     [](const SApiRequest&) -> SApiReply { throw std::runtime_error("broken"); });
    m_oServer.AddGet("/api/bytes", [](const SApiRequest&) {
      return SApiReply::Error(409, std::string("log line \xff\xfe end"));
    });
    std::string sError;
    ASSERT_TRUE(m_oServer.Start(0, sError)) << sError;
    m_sHost = "127.0.0.1:" + std::to_string(m_oServer.Port());
    m_sCookie = Login();
    ASSERT_FALSE(m_sCookie.empty());
    m_sCsrf = Csrf(m_sCookie);
    ASSERT_EQ(m_sCsrf.size(), 64u);
  }

  httplib::Result Send(const std::string& sMethod, const std::string& sPath,
                       httplib::Headers oHeaders = {}, const std::string& sBody = "") {
    httplib::Client oClient("127.0.0.1", m_oServer.Port());
    httplib::Request oRequest;
    oRequest.method = sMethod;
    oRequest.path = sPath;
    oHeaders.emplace("Host", m_sHost);  // emplace: a Host of the case wins
    oRequest.headers = std::move(oHeaders);
    oRequest.body = sBody;
    if (!sBody.empty()) oRequest.set_header("Content-Type", "application/json");
    return oClient.send(oRequest);
  }

  // The "name=value" of a new session's cookie.
  std::string Login() {
    httplib::Result oReply = Send("GET", "/?token=" + kToken);
    if (!oReply || oReply->status != 303 || oReply->get_header_value("Location") != "/") return "";
    const std::string sSetCookie = oReply->get_header_value("Set-Cookie");
    return sSetCookie.substr(0, sSetCookie.find(';'));
  }

  std::string Csrf(const std::string& sCookie) {
    httplib::Result oReply = Send("GET", "/api/session", {{"Cookie", sCookie}});
    if (!oReply || oReply->status != 200) return "";
    return nlohmann::json::parse(oReply->body).value("csrf", "");
  }

  test::CTempFolder m_oFolder;
  CConsoleServer m_oServer{m_oFolder.Path(), kToken};
  std::string m_sHost;
  std::string m_sCookie;
  std::string m_sCsrf;
};

TEST_F(ConsoleServerTest, RequestRules) {
  const std::string sPort = std::to_string(m_oServer.Port());
  const std::string sOther = std::to_string(m_oServer.Port() == 65535 ? 1 : m_oServer.Port() + 1);
  enum { kNoCookie, kCookie, kCookieAmongOthers, kStaleCookie };
  enum { kNoCsrf, kCsrf, kWrongCsrf };
  struct SCase {
    const char* szName;
    const char* szMethod;
    std::string sPath;
    std::string sHost;  // "" for the console's own
    int iCookie;
    int iCsrf;
    std::string sOrigin;  // "" for none
    int iStatus;
  };
  const std::vector<SCase> oCases = {
      {"page with session", "GET", "/", "", kCookie, kNoCsrf, "", 200},
      {"page by localhost", "GET", "/", "localhost:" + sPort, kCookie, kNoCsrf, "", 200},
      {"cookie among others", "GET", "/", "", kCookieAmongOthers, kNoCsrf, "", 200},
      {"page without session", "GET", "/", "", kNoCookie, kNoCsrf, "", 401},
      {"unknown session", "GET", "/", "", kStaleCookie, kNoCsrf, "", 401},
      {"asset without session", "GET", "/assets/common.js", "", kNoCookie, kNoCsrf, "", 401},
      {"API without session", "GET", "/api/echo", "", kNoCookie, kNoCsrf, "", 401},
      {"wrong token", "GET", "/?token=" + std::string(64, 'd'), "", kNoCookie, kNoCsrf, "", 403},
      {"short token", "GET", "/?token=c", "", kNoCookie, kNoCsrf, "", 403},
      {"empty token", "GET", "/?token=", "", kCookie, kNoCsrf, "", 403},
      {"token by POST", "POST", "/?token=" + kToken, "", kNoCookie, kNoCsrf, "", 401},
      {"right token elsewhere", "GET", "/api/echo?token=" + kToken, "", kNoCookie, kNoCsrf, "",
       401},
      {"other host", "GET", "/api/echo", "rebind.example:" + sPort, kCookie, kNoCsrf, "", 421},
      {"other port", "GET", "/api/echo", "127.0.0.1:" + sOther, kCookie, kNoCsrf, "", 421},
      {"host without port", "GET", "/api/echo", "127.0.0.1", kCookie, kNoCsrf, "", 421},
      {"login at other host", "GET", "/?token=" + kToken, "evil.example", kNoCookie, kNoCsrf, "",
       421},
      {"POST with token", "POST", "/api/echo", "", kCookie, kCsrf, "", 200},
      {"POST without token", "POST", "/api/echo", "", kCookie, kNoCsrf, "", 403},
      {"POST with wrong token", "POST", "/api/echo", "", kCookie, kWrongCsrf, "", 403},
      {"POST without session", "POST", "/api/echo", "", kNoCookie, kCsrf, "", 401},
      {"POST from own origin", "POST", "/api/echo", "", kCookie, kCsrf, "http://" + m_sHost, 200},
      {"POST from localhost", "POST", "/api/echo", "", kCookie, kCsrf, "http://localhost:" + sPort,
       200},
      {"POST from other site", "POST", "/api/echo", "", kCookie, kCsrf, "http://evil.example", 403},
      {"POST from other port", "POST", "/api/echo", "", kCookie, kCsrf,
       "http://127.0.0.1:" + sOther, 403},
      {"POST from opaque origin", "POST", "/api/echo", "", kCookie, kCsrf, "null", 403},
      {"PUT", "PUT", "/api/echo", "", kCookie, kCsrf, "", 405},
      {"DELETE", "DELETE", "/api/echo", "", kCookie, kCsrf, "", 405},
      {"HEAD", "HEAD", "/", "", kCookie, kNoCsrf, "", 200},
  };
  for (const SCase& oCase : oCases) {
    httplib::Headers oHeaders;
    if (!oCase.sHost.empty()) oHeaders.emplace("Host", oCase.sHost);
    if (oCase.iCookie == kCookie) oHeaders.emplace("Cookie", m_sCookie);
    if (oCase.iCookie == kCookieAmongOthers)
      oHeaders.emplace("Cookie", "a=1; " + m_sCookie + "; b=2");
    if (oCase.iCookie == kStaleCookie)
      oHeaders.emplace("Cookie", "wdx_session=" + std::string(64, '0'));
    if (oCase.iCsrf == kCsrf) oHeaders.emplace("X-CSRF-Token", m_sCsrf);
    if (oCase.iCsrf == kWrongCsrf) oHeaders.emplace("X-CSRF-Token", std::string(64, '0'));
    if (!oCase.sOrigin.empty()) oHeaders.emplace("Origin", oCase.sOrigin);
    const bool bPost = std::string(oCase.szMethod) == "POST";
    httplib::Result oReply = Send(oCase.szMethod, oCase.sPath, oHeaders, bPost ? "{\"a\":1}" : "");
    ASSERT_TRUE(oReply) << oCase.szName;
    EXPECT_EQ(oReply->status, oCase.iStatus) << oCase.szName << ": " << oReply->body;
    // Every reply, refusals too, carries the security headers.
    EXPECT_EQ(oReply->get_header_value("X-Content-Type-Options"), "nosniff") << oCase.szName;
    EXPECT_NE(oReply->get_header_value("Content-Security-Policy").find("frame-ancestors 'none'"),
              std::string::npos)
        << oCase.szName;
    if (oCase.iStatus >= 400 && oCase.sPath.rfind("/api/", 0) == 0 && oCase.iStatus != 405) {
      EXPECT_FALSE(nlohmann::json::parse(oReply->body).value("error", "").empty()) << oCase.szName;
    }
  }
}

TEST_F(ConsoleServerTest, LoginCookieAndSessions) {
  httplib::Result oReply = Send("GET", "/?token=" + kToken);
  ASSERT_TRUE(oReply);
  const std::string sSetCookie = oReply->get_header_value("Set-Cookie");
  EXPECT_NE(sSetCookie.find("; HttpOnly"), std::string::npos) << sSetCookie;
  EXPECT_NE(sSetCookie.find("; SameSite=Strict"), std::string::npos) << sSetCookie;
  EXPECT_NE(sSetCookie.find("; Path=/"), std::string::npos) << sSetCookie;
  const std::string sSecond = sSetCookie.substr(0, sSetCookie.find(';'));
  EXPECT_NE(sSecond, m_sCookie);
  const std::string sCsrf = Csrf(sSecond);
  EXPECT_NE(sCsrf, m_sCsrf);
  // A session's CSRF token does not pass for another session.
  httplib::Result oCrossed =
      Send("POST", "/api/echo", {{"Cookie", sSecond}, {"X-CSRF-Token", m_sCsrf}}, "{}");
  ASSERT_TRUE(oCrossed);
  EXPECT_EQ(oCrossed->status, 403);
  // Logins beyond the limit drop the oldest session.
  for (size_t i = 1; i < CConsoleSessions::kMaxSessions; ++i) ASSERT_FALSE(Login().empty());
  EXPECT_EQ(Send("GET", "/api/session", {{"Cookie", m_sCookie}})->status, 401);
  EXPECT_EQ(Send("GET", "/api/session", {{"Cookie", sSecond}})->status, 200);
}

TEST_F(ConsoleServerTest, ApiRoutingAndErrors) {
  const httplib::Headers oGet = {{"Cookie", m_sCookie}};
  const httplib::Headers oPost = {{"Cookie", m_sCookie}, {"X-CSRF-Token", m_sCsrf}};
  httplib::Result oEcho = Send("GET", "/api/echo?name=service&lines=5", oGet);
  ASSERT_TRUE(oEcho);
  EXPECT_EQ(
      nlohmann::json::parse(oEcho->body),
      (nlohmann::json{{"path", "/api/echo"}, {"query", {{"name", "service"}, {"lines", "5"}}}}));
  EXPECT_EQ(oEcho->get_header_value("Cache-Control"), "no-store");
  EXPECT_EQ(oEcho->get_header_value("Content-Type"), "application/json; charset=utf-8");
  struct SCase {
    const char* szMethod;
    const char* szPath;
    std::string sBody;
    int iStatus;
    std::string sReply;  // the whole JSON reply
  };
  const std::vector<SCase> oCases = {
      {"POST", "/api/echo", "{\"on\":true}", 200, R"({"body":{"on":true}})"},
      {"POST", "/api/echo", "", 200, R"({"body":null})"},
      {"POST", "/api/echo", "{\"on\":", 400,
       R"({"error":"The request body is not a JSON object."})"},
      {"POST", "/api/echo", "[1,2]", 400, R"({"error":"The request body is not a JSON object."})"},
      {"POST", "/api/echo", std::string(CConsoleServer::kMaxBodyBytes + 1, ' '), 413,
       R"({"error":"The request body is larger than the console takes."})"},
      {"GET", "/api/none", "", 404, R"({"error":"There is nothing at /api/none."})"},
      {"POST", "/api/throws", "{}", 405, R"({"error":"Use GET for /api/throws."})"},
      {"GET", "/api/throws", "", 500, R"({"error":"The console failed: broken"})"},
      {"GET", "/api/bytes", "", 409, "{\"error\":\"log line \xEF\xBF\xBD\xEF\xBF\xBD end\"}"},
  };
  for (const SCase& oCase : oCases) {
    const bool bPost = std::string(oCase.szMethod) == "POST";
    httplib::Result oReply = Send(oCase.szMethod, oCase.szPath, bPost ? oPost : oGet, oCase.sBody);
    ASSERT_TRUE(oReply) << oCase.szPath;
    EXPECT_EQ(oReply->status, oCase.iStatus) << oCase.szPath << " " << oCase.sBody.substr(0, 20);
    EXPECT_EQ(oReply->body, oCase.sReply) << oCase.szPath;
  }
}

TEST_F(ConsoleServerTest, PageAssetsAndProgramFolderFiles) {
  m_oFolder.Write("UptimeReport.html", "<html><body>report</body></html>");
  m_oFolder.Write("AutoSet.caf", "secret settings");
  const httplib::Headers oGet = {{"Cookie", m_sCookie}};
  struct SCase {
    const char* szPath;
    int iStatus;
    const char* szType;  // "" when not checked
    const char* szBodyPart;
  };
  const std::vector<SCase> oCases = {
      {"/", 200, "text/html; charset=utf-8", "<main id=\"main-window\">"},
      {"/assets/index.html", 200, "text/html; charset=utf-8", "/assets/common.js"},
      {"/assets/common.js", 200, "text/javascript; charset=utf-8", "wdx.openDialog"},
      {"/assets/app.css", 200, "text/css; charset=utf-8", ".wdx-dialog"},
      {"/assets/favicon.svg", 200, "image/svg+xml", "<svg"},
      {"/assets/none.js", 404, "", "There is nothing at /assets/none.js."},
      {"/assets/../AutoSet.caf", 404, "", ""},
      {"/files/UptimeReport.html", 200, "text/html; charset=utf-8", "report"},
      {"/files/Wardenix.htm", 404, "", "Wardenix.htm is not in the program folder."},
      {"/files/AutoSet.caf", 404, "", ""},
      {"/files/../AutoSet.caf", 404, "", ""},
      {"/AutoSet.caf", 404, "", ""},
  };
  for (const SCase& oCase : oCases) {
    httplib::Result oReply = Send("GET", oCase.szPath, oGet);
    ASSERT_TRUE(oReply) << oCase.szPath;
    EXPECT_EQ(oReply->status, oCase.iStatus) << oCase.szPath;
    if (*oCase.szType) {
      EXPECT_EQ(oReply->get_header_value("Content-Type"), oCase.szType) << oCase.szPath;
    }
    EXPECT_NE(oReply->body.find(oCase.szBodyPart), std::string::npos) << oCase.szPath;
    EXPECT_EQ(oReply->body.find("secret settings"), std::string::npos) << oCase.szPath;
  }
  // The program-folder pages may carry their own style but no script at all.
  const std::string sCsp =
      Send("GET", "/files/UptimeReport.html", oGet)->get_header_value("Content-Security-Policy");
  EXPECT_NE(sCsp.find("default-src 'none'"), std::string::npos) << sCsp;
  EXPECT_EQ(sCsp.find("script-src"), std::string::npos) << sCsp;
}

// Sends one request on the connection and reads its whole reply ("" when none came).
std::string Exchange(int iFd, const std::string& sRequest) {
  send(iFd, sRequest.data(), sRequest.size(), MSG_NOSIGNAL);
  std::string sReply;
  char aBuffer[4096];
  for (;;) {
    const size_t uHead = sReply.find("\r\n\r\n");
    const size_t uLength = sReply.find("Content-Length: ");
    if (uHead != std::string::npos && uLength != std::string::npos &&
        sReply.size() >= uHead + 4 + std::stoul(sReply.substr(uLength + 16)))
      return sReply;
    const ssize_t iRead = recv(iFd, aBuffer, sizeof aBuffer, 0);
    if (iRead <= 0) return "";
    sReply.append(aBuffer, static_cast<size_t>(iRead));
  }
}

TEST_F(ConsoleServerTest, ARefusedPostKeepsTheConnectionInStep) {
  // A page of an earlier console run posts with its stale session; the browser then sends its
  // next request on the same connection.
  const int iFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in oAddress = {};
  oAddress.sin_family = AF_INET;
  oAddress.sin_port = htons(static_cast<uint16_t>(m_oServer.Port()));
  oAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(iFd, reinterpret_cast<sockaddr*>(&oAddress), sizeof oAddress), 0);
  timeval oWait = {10, 0};
  setsockopt(iFd, SOL_SOCKET, SO_RCVTIMEO, &oWait, sizeof oWait);
  const std::string sBody = "{\"text\":\"" + std::string(200000, 'x') + "\"}";
  const std::string sPost = Exchange(
      iFd, "POST /api/echo HTTP/1.1\r\nHost: " + m_sHost + "\r\nCookie: wdx_session=old\r\n" +
               "Content-Type: application/json\r\nContent-Length: " + std::to_string(sBody.size()) +
               "\r\n\r\n" + sBody);
  EXPECT_EQ(sPost.rfind("HTTP/1.1 401 Unauthorized\r\n", 0), 0u) << sPost;
  // Each security header once, though the refusal was decided after the body.
  EXPECT_EQ(sPost.find("nosniff"), sPost.rfind("nosniff")) << sPost;
  const std::string sGet = Exchange(iFd, "GET /api/session HTTP/1.1\r\nHost: " + m_sHost +
                                             "\r\nCookie: " + m_sCookie + "\r\n\r\n");
  EXPECT_EQ(sGet.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << sGet;
  close(iFd);
}

TEST(ConsoleServerStartTest, ABusyPortIsRefusedWithAClearText) {
  test::CTempFolder oFolder;
  CConsoleServer oFirst(oFolder.Path(), kToken);
  std::string sError;
  ASSERT_TRUE(oFirst.Start(0, sError)) << sError;
  CConsoleServer oSecond(oFolder.Path(), kToken);
  EXPECT_FALSE(oSecond.Start(oFirst.Port(), sError));
  EXPECT_EQ(sError, "The console cannot listen on 127.0.0.1:" + std::to_string(oFirst.Port()) +
                        ": another program (perhaps another console) uses it. Choose another port "
                        "with --port N.");
  EXPECT_FALSE(oSecond.Start(65536, sError));
  EXPECT_EQ(sError, "The port 65536 is not a port number (0 to 65535).");
  oFirst.Stop();
  oFirst.Stop();  // twice is harmless
}

}  // namespace
}  // namespace wdx
