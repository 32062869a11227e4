// An IApiRegistry for unit tests: keeps the handlers and calls them directly, without a server.
//
// Threading: one test thread.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "console/web/console_api.h"

namespace wdx {

class CFakeApiRegistry final : public IApiRegistry {
 public:
  void AddGet(const std::string& sPath, FnApiHandler fnHandler) override {
    m_oGets[sPath] = std::move(fnHandler);
  }
  void AddPost(const std::string& sPath, FnApiHandler fnHandler) override {
    m_oPosts[sPath] = std::move(fnHandler);
  }
  // A 404 reply when nothing is registered at the path.
  SApiReply Get(const std::string& sPath, std::map<std::string, std::string> oQuery = {}) {
    auto it = m_oGets.find(sPath);
    if (it == m_oGets.end()) return SApiReply::Error(404, "no such path");
    return it->second(SApiRequest{sPath, std::move(oQuery), nullptr});
  }
  SApiReply Post(const std::string& sPath, nlohmann::json oBody = nlohmann::json::object()) {
    auto it = m_oPosts.find(sPath);
    if (it == m_oPosts.end()) return SApiReply::Error(404, "no such path");
    return it->second(SApiRequest{sPath, {}, std::move(oBody)});
  }

 private:
  std::map<std::string, FnApiHandler> m_oGets;
  std::map<std::string, FnApiHandler> m_oPosts;
};

}  // namespace wdx
