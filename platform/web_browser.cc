#include "platform/web_browser.h"

namespace wdx {
namespace {

const char* const kBrowsers[] = {"/usr/bin/xdg-open", "/usr/bin/x-www-browser", "/usr/bin/firefox",
                                 "/usr/bin/chromium", "/usr/bin/google-chrome"};

}  // namespace

std::string LocateBrowser(IFileSystem& oFileSystem) {
  for (const char* szBrowser : kBrowsers) {
    if (oFileSystem.FileExists(szBrowser)) return szBrowser;
  }
  return "";
}

}  // namespace wdx
