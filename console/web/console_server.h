// CConsoleServer: the web console's HTTP server on 127.0.0.1 (cpp-httplib). It serves the page
// ("/" and /assets/NAME from the assets compiled into the program), the read-only program-folder
// pages /files/Wardenix.htm and /files/UptimeReport.html, GET /api/session (the session's CSRF
// token) and the JSON API that the features register under /api/. Every request passes
// CConsoleGuard first; every reply carries the security headers (a Content-Security-Policy that
// allows the console's own scripts only and no framing, nosniff, no referrer), and API replies
// are never cached. A POST body is at most kMaxBodyBytes of JSON.
//
// Threading: register handlers before Start; the server calls them on its worker threads, several
// at once. Start, Stop and the destructor from one thread.
#pragma once

#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <thread>

#include "console/web/console_api.h"
#include "console/web/console_guard.h"
#include "console/web/console_sessions.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace wdx {

inline constexpr const char* kConsoleVersion = "1.0";

class CConsoleServer final : public IApiRegistry {
 public:
  static constexpr size_t kMaxBodyBytes = 1 << 20;
  static constexpr int kWorkerThreads = 16;

  // sProgramFolder ends with "/"; sToken is the install's access token.
  CConsoleServer(std::string sProgramFolder, std::string sToken);
  ~CConsoleServer() override;
  CConsoleServer(const CConsoleServer&) = delete;
  CConsoleServer& operator=(const CConsoleServer&) = delete;

  void AddGet(const std::string& sPath, FnApiHandler fnHandler) override;
  void AddPost(const std::string& sPath, FnApiHandler fnHandler) override;

  // Binds 127.0.0.1:iPort (0: a free port the system chooses) and serves on a thread of its
  // own. False with a sentence for the operator in sError when the port cannot be had.
  bool Start(int iPort, std::string& sError);
  int Port() const { return m_iPort; }
  std::string BaseUrl() const;   // "http://127.0.0.1:PORT/"
  std::string LoginUrl() const;  // BaseUrl with "?token=..."
  // Stops taking requests, lets the replies under way finish and ends the server's threads.
  void Stop();

 private:
  void InstallRoutes();
  bool Guard(const httplib::Request& oRequest, httplib::Response& oResponse);
  void Login(httplib::Response& oResponse);
  void ServeApi(const httplib::Request& oRequest, httplib::Response& oResponse, bool bPost);
  void ServeSession(const httplib::Request& oRequest, httplib::Response& oResponse);
  void ServeAsset(const std::string& sName, httplib::Response& oResponse);
  void ServeFile(const std::string& sName, httplib::Response& oResponse);

  const std::string m_sFolder;
  const std::string m_sToken;
  CConsoleSessions m_oSessions;
  CConsoleGuard m_oGuard;
  std::unique_ptr<httplib::Server> m_pServer;
  std::thread m_oThread;
  int m_iPort = 0;

  mutable std::shared_mutex m_oHandlersMutex;
  std::map<std::string, FnApiHandler> m_oGets;
  std::map<std::string, FnApiHandler> m_oPosts;
};

}  // namespace wdx
