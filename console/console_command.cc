#include "console/console_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <ostream>

#include "console/web/console_api.h"
#include "console/web/console_server.h"
#include "console/web/console_token.h"
#include "foundation/process_log.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/web_browser.h"

namespace wdx {
namespace {

constexpr int kQuitPollMs = 100;

struct SConsoleOptions {
  int m_iPort = kDefaultConsolePort;
  bool m_bBrowser = true;
};

bool ParseOptions(const std::vector<std::string>& oArgs, SConsoleOptions& oOptions) {
  for (size_t i = 1; i < oArgs.size(); ++i) {
    if (oArgs[i] == "--no-browser") {
      oOptions.m_bBrowser = false;
    } else if (oArgs[i] == "--port" && i + 1 < oArgs.size()) {
      const std::string& sPort = oArgs[++i];
      auto [pEnd, eError] =
          std::from_chars(sPort.data(), sPort.data() + sPort.size(), oOptions.m_iPort);
      if (eError != std::errc() || pEnd != sPort.data() + sPort.size() || oOptions.m_iPort < 0 ||
          oOptions.m_iPort > 65535)
        return false;
    } else {
      return false;
    }
  }
  return true;
}

// $BROWSER when it names an executable program, else the first browser found.
std::string ChooseBrowser() {
  const char* szChosen = std::getenv("BROWSER");
  if (szChosen != nullptr && szChosen[0] == '/' && access(szChosen, X_OK) == 0) return szChosen;
  return LocateBrowser(GetFileSystem());
}

void OpenBrowser(const std::string& sUrl, std::ostream& oErr) {
  const std::string sBrowser = ChooseBrowser();
  int iPid = -1;
  if (sBrowser.empty()) {
    oErr << "wardenix: no web browser found; open the address above in one.\n";
  } else if (!SpawnDetached({sBrowser, sUrl}, iPid)) {
    oErr << "wardenix: " << sBrowser << " could not be started; open the address above.\n";
  }
}

}  // namespace

int RunConsoleCommand(const std::vector<std::string>& oArgs, const std::string& sProgramFolder,
                      std::ostream& oOut, std::ostream& oErr) {
  SConsoleOptions oOptions;
  if (!ParseOptions(oArgs, oOptions)) {
    oErr << "usage: wardenix console [--port N] [--no-browser]   (N from 0 to 65535; 0: any free "
            "port)\n";
    return 2;
  }
  BlockStopSignals();  // before any thread starts: the signals come to the wait below
  std::string sToken;
  std::string sError;
  if (!LoadOrCreateConsoleToken(sProgramFolder, sToken, sError)) {
    oErr << "wardenix: " << sError << "\n";
    return 1;
  }
  std::atomic<bool> bQuit{false};
  SConsoleContext oContext{sProgramFolder, [&bQuit] { bQuit = true; }};
  CConsoleServer oServer(sProgramFolder, sToken);
  std::vector<std::unique_ptr<IConsoleFeature>> oFeatures = CreateConsoleFeatures(oContext);
  for (auto& pFeature : oFeatures) pFeature->RegisterApi(oServer);
  int iExit = 0;
  if (oServer.Start(oOptions.m_iPort, sError)) {
    oOut << oServer.LoginUrl() << std::endl;  // the first line, flushed
    if (oOptions.m_bBrowser) OpenBrowser(oServer.LoginUrl(), oErr);
    ZuvLogMessage("wardenix console serves the web console.");
    while (!bQuit && WaitForStopSignal(kQuitPollMs) == 0) {
    }
    oServer.Stop();
  } else {
    oErr << "wardenix: " << sError << "\n";
    iExit = 1;
  }
  for (auto it = oFeatures.rbegin(); it != oFeatures.rend(); ++it) (*it)->Shutdown();
  ZuvLogMessage("wardenix console ended.");
  return iExit;
}

}  // namespace wdx
