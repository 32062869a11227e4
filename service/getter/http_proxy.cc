#include "service/getter/http_proxy.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace wdx {
namespace {

bool NoProxyCovers(const std::string& sHost) {
  const char* szList = std::getenv("no_proxy");
  if (szList == nullptr) szList = std::getenv("NO_PROXY");
  if (szList == nullptr) return false;
  std::string_view sList(szList);
  while (!sList.empty()) {
    const size_t uComma = sList.find(',');
    std::string_view sEntry = sList.substr(0, uComma);
    sList = uComma == std::string_view::npos ? "" : sList.substr(uComma + 1);
    while (!sEntry.empty() && (sEntry.front() == ' ' || sEntry.front() == '.'))
      sEntry.remove_prefix(1);
    while (!sEntry.empty() && sEntry.back() == ' ') sEntry.remove_suffix(1);
    if (sEntry == "*") return true;
    if (sEntry.empty() || sEntry.size() > sHost.size()) continue;
    const size_t uFrom = sHost.size() - sEntry.size();
    const bool bSame =
        std::equal(sEntry.begin(), sEntry.end(), sHost.begin() + static_cast<long>(uFrom),
                   [](char a, char b) { return std::tolower(a) == std::tolower(b); });
    if (bSame && (uFrom == 0 || sHost[uFrom - 1] == '.')) return true;
  }
  return false;
}

}  // namespace

bool FindEnvironmentProxy(const SHttpUrl& oUrl, SHttpUrl& oProxy, bool& bBadProxy) {
  bBadProxy = false;
  const char* szValue = nullptr;
  // As libcurl: for http only the lower-case name (HTTP_PROXY may come from a CGI request).
  const std::vector<const char*> oNames =
      oUrl.m_bTls ? std::vector<const char*>{"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}
                  : std::vector<const char*>{"http_proxy", "all_proxy", "ALL_PROXY"};
  for (const char* szName : oNames) {
    szValue = std::getenv(szName);
    if (szValue != nullptr && *szValue != '\0') break;
    szValue = nullptr;
  }
  if (szValue == nullptr || NoProxyCovers(oUrl.m_sHost)) return false;
  std::string sProxy = szValue;
  if (sProxy.find("://") == std::string::npos) sProxy = "http://" + sProxy;
  if (sProxy.rfind("http://", 0) != 0 || ParseHttpUrl(sProxy, oProxy) != EUrlKind::kHttp) {
    bBadProxy = true;
    return false;
  }
  const std::string sAuthority = sProxy.substr(7, sProxy.find('/', 7) - 7);
  const size_t uColon = sAuthority.rfind(':');
  if (uColon == std::string::npos || sAuthority.find(']', uColon) != std::string::npos) {
    oProxy.m_iPort = 1080;  // libcurl's default proxy port
  }
  return true;
}

}  // namespace wdx
