#include "console/web/console_server.h"

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "console/web/web_assets.h"
#include "foundation/process_log.h"
#include "platform/file_system.h"

namespace wdx {
namespace {

constexpr const char* kPageCsp =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "object-src 'none'; base-uri 'none'; form-action 'self'; frame-ancestors 'none'";
// The program-folder pages carry their own style and no script.
constexpr const char* kFileCsp =
    "default-src 'none'; style-src 'unsafe-inline'; img-src data:; frame-ancestors 'none'";
constexpr int64_t kMaxFileBytes = 256 << 20;

bool IsApi(const std::string& sPath) {
  return sPath.rfind("/api/", 0) == 0;
}

void SendJson(httplib::Response& oResponse, int iStatus, const nlohmann::json& oBody) {
  oResponse.status = iStatus;
  // Texts from logs and settings may hold bytes that are not UTF-8: they are replaced.
  oResponse.set_content(oBody.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                        "application/json; charset=utf-8");
}

std::string EscapeHtml(const std::string& sText) {
  std::string sOut;
  for (char c : sText) {
    switch (c) {
      case '<':
        sOut += "&lt;";
        break;
      case '>':
        sOut += "&gt;";
        break;
      case '&':
        sOut += "&amp;";
        break;
      case '"':
        sOut += "&quot;";
        break;
      default:
        sOut += c;
    }
  }
  return sOut;
}

// A refusal or error: JSON under /api/, else a small page.
void SendProblem(const httplib::Request& oRequest, httplib::Response& oResponse, int iStatus,
                 const std::string& sText) {
  if (IsApi(oRequest.path)) {
    SendJson(oResponse, iStatus, nlohmann::json{{"error", sText}});
    return;
  }
  oResponse.status = iStatus;
  oResponse.set_content(
      "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
      "<title>Wardenix console</title></head><body><h1>Wardenix console</h1><p>" +
          EscapeHtml(sText) + "</p></body></html>\n",
      "text/html; charset=utf-8");
}

std::string ContentType(const std::string& sName) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".html", "text/html; charset=utf-8"},
      {".htm", "text/html; charset=utf-8"},
      {".css", "text/css; charset=utf-8"},
      {".js", "text/javascript; charset=utf-8"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".json", "application/json"}};
  for (const auto& [szExt, szType] : kTypes) {
    const std::string sExt = szExt;
    if (sName.size() > sExt.size() &&
        sName.compare(sName.size() - sExt.size(), sExt.size(), sExt) == 0)
      return szType;
  }
  return "application/octet-stream";
}

// Why 127.0.0.1:iPort cannot be bound, found by trying it once more.
std::string BindProblem(int iPort) {
  const int iFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (iFd < 0) return strerror(errno);
  int iYes = 1;
  setsockopt(iFd, SOL_SOCKET, SO_REUSEADDR, &iYes, sizeof iYes);
  sockaddr_in oAddress = {};
  oAddress.sin_family = AF_INET;
  oAddress.sin_port = htons(static_cast<uint16_t>(iPort));
  oAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int iResult = bind(iFd, reinterpret_cast<sockaddr*>(&oAddress), sizeof oAddress);
  const int iError = errno;
  close(iFd);
  if (iResult == 0) return "it could not be listened on";
  if (iError == EADDRINUSE) return "another program (perhaps another console) uses it";
  return strerror(iError);
}

}  // namespace

CConsoleServer::CConsoleServer(std::string sProgramFolder, std::string sToken)
    : m_sFolder(std::move(sProgramFolder)),
      m_sToken(std::move(sToken)),
      m_oGuard(m_sToken, m_oSessions),
      m_pServer(std::make_unique<httplib::Server>()) {
  InstallRoutes();
}

CConsoleServer::~CConsoleServer() {
  Stop();
}

void CConsoleServer::AddGet(const std::string& sPath, FnApiHandler fnHandler) {
  std::unique_lock<std::shared_mutex> oLock(m_oHandlersMutex);
  m_oGets[sPath] = std::move(fnHandler);
}

void CConsoleServer::AddPost(const std::string& sPath, FnApiHandler fnHandler) {
  std::unique_lock<std::shared_mutex> oLock(m_oHandlersMutex);
  m_oPosts[sPath] = std::move(fnHandler);
}

std::string CConsoleServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(m_iPort) + "/";
}

std::string CConsoleServer::LoginUrl() const {
  return BaseUrl() + "?token=" + m_sToken;
}

bool CConsoleServer::Start(int iPort, std::string& sError) {
  if (iPort < 0 || iPort > 65535) {
    sError = "The port " + std::to_string(iPort) + " is not a port number (0 to 65535).";
    return false;
  }
  const bool bBound = iPort == 0 ? (iPort = m_pServer->bind_to_any_port("127.0.0.1")) > 0
                                 : m_pServer->bind_to_port("127.0.0.1", iPort);
  if (!bBound) {
    sError = "The console cannot listen on 127.0.0.1:" + std::to_string(iPort) + ": " +
             BindProblem(iPort) + ". Choose another port with --port N.";
    ZuvLogError("CConsoleServer::Start() failed to bind its port.");
    return false;
  }
  m_iPort = iPort;
  m_oGuard.SetPort(iPort);
  m_oThread = std::thread([this] { m_pServer->listen_after_bind(); });
  ZuvLogMessage("CConsoleServer::Start() serves the console.");
  return true;
}

void CConsoleServer::Stop() {
  if (!m_oThread.joinable()) return;
  m_pServer->stop();
  m_oThread.join();
  ZuvLogMessage("CConsoleServer::Stop() done.");
}

void CConsoleServer::InstallRoutes() {
  httplib::Server& oServer = *m_pServer;
  // Only this listener may have the port: no SO_REUSEPORT, so a second console is told the
  // port is in use instead of sharing it.
  oServer.set_socket_options([](int iSocket) {
    int iYes = 1;
    setsockopt(iSocket, SOL_SOCKET, SO_REUSEADDR, &iYes, sizeof iYes);
  });
  oServer.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  // Short keep-alive: an idle connection holds a worker, and Stop waits for the workers.
  oServer.set_keep_alive_timeout(2);
  oServer.set_keep_alive_max_count(1000);
  oServer.set_payload_max_length(kMaxBodyBytes);
  oServer.set_pre_routing_handler(
      [this](const httplib::Request& oRequest, httplib::Response& oResponse) {
        return Guard(oRequest, oResponse) ? httplib::Server::HandlerResponse::Unhandled
                                          : httplib::Server::HandlerResponse::Handled;
      });
  oServer.set_error_handler([](const httplib::Request& oRequest, httplib::Response& oResponse) {
    if (!oResponse.body.empty()) return;
    const int iStatus = oResponse.status;
    SendProblem(oRequest, oResponse, iStatus,
                iStatus == 413   ? "The request body is larger than the console takes."
                : iStatus == 404 ? "There is nothing at " + oRequest.path + "."
                                 : "The request could not be served.");
  });
  oServer.set_exception_handler(
      [](const httplib::Request& oRequest, httplib::Response& oResponse, std::exception_ptr) {
        ZuvLogError("CConsoleServer: a request ended in an exception.");
        SendProblem(oRequest, oResponse, 500, "The console failed to serve the request.");
      });
  oServer.Get("/", [this](const httplib::Request&, httplib::Response& oResponse) {
    ServeAsset("index.html", oResponse);
  });
  oServer.Get(R"(/assets/([A-Za-z0-9_.-]+))",
              [this](const httplib::Request& oRequest, httplib::Response& oResponse) {
                ServeAsset(oRequest.matches[1], oResponse);
              });
  oServer.Get(R"(/files/(Wardenix\.htm|UptimeReport\.html))",
              [this](const httplib::Request& oRequest, httplib::Response& oResponse) {
                ServeFile(oRequest.matches[1], oResponse);
              });
  oServer.Get("/api/session",
              [this](const httplib::Request& oRequest, httplib::Response& oResponse) {
                ServeSession(oRequest, oResponse);
              });
  oServer.Get(R"(/api/.*)", [this](const httplib::Request& oRequest, httplib::Response& oResponse) {
    ServeApi(oRequest, oResponse, false);
  });
  oServer.Post(R"(/api/.*)",
               [this](const httplib::Request& oRequest, httplib::Response& oResponse) {
                 ServeApi(oRequest, oResponse, true);
               });
}

bool CConsoleServer::Guard(const httplib::Request& oRequest, httplib::Response& oResponse) {
  oResponse.set_header("X-Content-Type-Options", "nosniff");
  oResponse.set_header("Referrer-Policy", "no-referrer");
  oResponse.set_header("X-Frame-Options", "DENY");
  oResponse.set_header("Content-Security-Policy",
                       oRequest.path.rfind("/files/", 0) == 0 ? kFileCsp : kPageCsp);
  oResponse.set_header("Cache-Control",
                       IsApi(oRequest.path) || oRequest.path == "/" ? "no-store" : "no-cache");
  SRequestFacts oFacts;
  oFacts.m_sMethod = oRequest.method;
  oFacts.m_sPath = oRequest.path;
  oFacts.m_sHost = oRequest.get_header_value("Host");
  oFacts.m_bHasOrigin = oRequest.has_header("Origin");
  oFacts.m_sOrigin = oRequest.get_header_value("Origin");
  oFacts.m_sCookie = oRequest.get_header_value("Cookie");
  oFacts.m_sCsrf = oRequest.get_header_value(kCsrfHeader);
  oFacts.m_bHasToken = oRequest.has_param("token");
  oFacts.m_sToken = oRequest.get_param_value("token");
  const SGuardVerdict oVerdict = m_oGuard.Check(oFacts);
  if (oVerdict.m_eKind == SGuardVerdict::kPass) return true;
  if (oVerdict.m_eKind == SGuardVerdict::kLogin) {
    Login(oResponse);
    return false;
  }
  if (oVerdict.m_iStatus == 421) ZuvLogError("CConsoleServer refused a request for another host.");
  if (oVerdict.m_iStatus == 403 && oFacts.m_bHasToken)
    ZuvLogError("CConsoleServer refused a login with a wrong token.");
  SendProblem(oRequest, oResponse, oVerdict.m_iStatus, oVerdict.m_sText);
  return false;
}

void CConsoleServer::Login(httplib::Response& oResponse) {
  SConsoleSession oSession;
  if (!m_oSessions.Create(oSession)) {
    oResponse.status = 500;
    oResponse.set_content("No random bytes for a session.", "text/plain; charset=utf-8");
    return;
  }
  // The browser goes on to "/", so the token leaves the address bar and its history.
  oResponse.status = 303;
  oResponse.set_header("Location", "/");
  oResponse.set_header("Set-Cookie", std::string(kSessionCookie) + "=" + oSession.m_sId +
                                         "; HttpOnly; SameSite=Strict; Path=/");
  ZuvLogMessage("CConsoleServer: a console session was opened.");
}

void CConsoleServer::ServeSession(const httplib::Request& oRequest, httplib::Response& oResponse) {
  SConsoleSession oSession;
  m_oSessions.Find(CConsoleGuard::SessionId(oRequest.get_header_value("Cookie")), oSession);
  SendJson(oResponse, 200,
           nlohmann::json{{"csrf", oSession.m_sCsrf}, {"version", kConsoleVersion}});
}

void CConsoleServer::ServeApi(const httplib::Request& oRequest, httplib::Response& oResponse,
                              bool bPost) {
  SApiRequest oApi;
  oApi.m_sPath = oRequest.path;
  for (const auto& [sKey, sValue] : oRequest.params) oApi.m_oQuery.emplace(sKey, sValue);
  if (bPost && !oRequest.body.empty()) {
    oApi.m_oBody = nlohmann::json::parse(oRequest.body, nullptr, false);
    if (oApi.m_oBody.is_discarded() || !oApi.m_oBody.is_object()) {
      SendJson(oResponse, 400, nlohmann::json{{"error", "The request body is not a JSON object."}});
      return;
    }
  }
  FnApiHandler fnHandler;
  bool bOtherMethod = false;
  {
    std::shared_lock<std::shared_mutex> oLock(m_oHandlersMutex);
    const auto& oMine = bPost ? m_oPosts : m_oGets;
    const auto& oOther = bPost ? m_oGets : m_oPosts;
    auto it = oMine.find(oRequest.path);
    if (it != oMine.end()) fnHandler = it->second;
    bOtherMethod = !fnHandler && oOther.count(oRequest.path) != 0;
  }
  if (!fnHandler) {
    if (bOtherMethod) oResponse.set_header("Allow", bPost ? "GET, HEAD" : "POST");
    SendJson(
        oResponse, bOtherMethod ? 405 : 404,
        nlohmann::json{{"error", bOtherMethod ? "Use " + std::string(bPost ? "GET" : "POST") +
                                                    " for " + oRequest.path + "."
                                              : "There is nothing at " + oRequest.path + "."}});
    return;
  }
  SApiReply oReply;
  try {
    oReply = fnHandler(oApi);
  } catch (const std::exception& oError) {
    ZuvLogError("CConsoleServer: an API handler failed with an exception.");
    oReply = SApiReply::Error(500, std::string("The console failed: ") + oError.what());
  }
  SendJson(oResponse, oReply.m_iStatus, oReply.m_oBody);
}

void CConsoleServer::ServeAsset(const std::string& sName, httplib::Response& oResponse) {
  const SWebAsset* pAsset = FindWebAsset(sName);
  if (pAsset == nullptr) {
    oResponse.status = 404;  // the error handler words it
    return;
  }
  oResponse.set_content(reinterpret_cast<const char*>(pAsset->m_pData), pAsset->m_uSize,
                        ContentType(sName).c_str());
}

void CConsoleServer::ServeFile(const std::string& sName, httplib::Response& oResponse) {
  std::string sContent;
  if (!GetFileSystem().ReadFile(m_sFolder + sName, sContent, kMaxFileBytes)) {
    oResponse.status = 404;
    oResponse.set_content(
        "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<title>Not found</title></head><body><p>" +
            sName + " is not in the program folder.</p></body></html>\n",
        "text/html; charset=utf-8");
    return;
  }
  oResponse.set_content(sContent, "text/html; charset=utf-8");
}

}  // namespace wdx
