// The web console's JSON API as its features see it. Each feature registers its handlers with
// an IApiRegistry; the web server checks every request first (the address it came to, its Host
// header, the session cookie, and the CSRF token of a POST), so a handler sees only requests of
// the operator's own page. Replies are JSON objects; an error reply is {"error": "text"}.
//
// Threading: the server calls handlers on its worker threads, several at once; each feature
// guards its own state.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace wdx {

struct SApiRequest {
  std::string m_sPath;                          // as registered, e.g. "/api/state"
  std::map<std::string, std::string> m_oQuery;  // query parameters
  nlohmann::json m_oBody;                       // a POST's JSON body; null when there is none
};

struct SApiReply {
  int m_iStatus = 200;  // 200; 400 bad input; 404 unknown; 409 refused in this state
  nlohmann::json m_oBody = nlohmann::json::object();

  static SApiReply Ok(nlohmann::json oBody = nlohmann::json::object()) {
    return SApiReply{200, std::move(oBody)};
  }
  static SApiReply Error(int iStatus, const std::string& sMessage) {
    return SApiReply{iStatus, nlohmann::json{{"error", sMessage}}};
  }
};

using FnApiHandler = std::function<SApiReply(const SApiRequest&)>;

class IApiRegistry {
 public:
  virtual ~IApiRegistry() = default;
  // sPath is a whole path under "/api/"; registering a path again replaces its handler.
  virtual void AddGet(const std::string& sPath, FnApiHandler fnHandler) = 0;
  virtual void AddPost(const std::string& sPath, FnApiHandler fnHandler) = 0;
};

// What every feature of the web console is given.
struct SConsoleContext {
  std::string m_sProgramFolder;    // ends with "/"
  std::function<void()> m_fnQuit;  // closes the console (the replies under way are sent first)
};

// One area of the console (main window, settings dialogs, sensitivity test, log viewers...).
class IConsoleFeature {
 public:
  virtual ~IConsoleFeature() = default;
  virtual void RegisterApi(IApiRegistry& oRegistry) = 0;
  // Called once before the console ends: stop the feature's threads, finish its work.
  virtual void Shutdown() {}
};

// Every feature of the web console, created for the context (console_features.cc).
std::vector<std::unique_ptr<IConsoleFeature>> CreateConsoleFeatures(const SConsoleContext& oContext);

}  // namespace wdx
