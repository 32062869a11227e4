#include "console/service_cli.h"

#include <ostream>

#include "console/about.h"
#include "console/dlg/service_control.h"
#include "console/dlg/stream_output.h"
#include "platform/service_manager.h"

namespace wdx {
namespace {

const char* StateText(EServiceState eState) {
  switch (eState) {
    case EServiceState::NOT_INSTALLED:
      return "is not installed";
    case EServiceState::STOPPED:
      return "is stopped";
    case EServiceState::START_PENDING:
      return "is starting";
    case EServiceState::RUNNING:
      return "is running";
    case EServiceState::STOP_PENDING:
      return "is stopping";
  }
  return "is in an unknown state";
}

bool IsRunningState(EServiceState eState) {
  return eState == EServiceState::RUNNING || eState == EServiceState::START_PENDING;
}

// Forwards to a manager that the caller keeps, so that it can still be asked afterwards.
class CBorrowedManager final : public IServiceManager {
 public:
  explicit CBorrowedManager(IServiceManager& oManager) : m_oManager(oManager) {}
  bool IsInstalled() override { return m_oManager.IsInstalled(); }
  bool Install(const std::string& sProgramPath) override {
    return m_oManager.Install(sProgramPath);
  }
  bool Uninstall() override { return m_oManager.Uninstall(); }
  bool Start() override { return m_oManager.Start(); }
  bool Stop(int iMaxWaitMs) override { return m_oManager.Stop(iMaxWaitMs); }
  EServiceState QueryState() override { return m_oManager.QueryState(); }
  const std::string& GetLastError() const override { return m_oManager.GetLastError(); }

 private:
  IServiceManager& m_oManager;
};

}  // namespace

int RunServiceCommand(const std::string& sVerb, const std::string& sFolder, std::ostream& oOut,
                      std::ostream& oErr) {
  if (sVerb != "install" && sVerb != "start" && sVerb != "stop" && sVerb != "remove" &&
      sVerb != "state") {
    oErr << "wardenix: \"" << sVerb
         << "\" is not a service subcommand (install, start, stop, remove, state).\n";
    return 2;
  }
  auto pManager = CreateServiceManager();
  if (sVerb == "state") {
    // Asks the service manager only: the command endpoint would start a service that is down.
    const EServiceState eState = pManager->QueryState();
    oOut << "The service WDXSVC " << StateText(eState) << ".\n";
    return IsRunningState(eState) ? 0 : SERVICE_NOT_RUNNING_EXIT_CODE;
  }
  CStreamConsoleOutput oOutput(oOut, oErr);
  auto pControl =
      CreateServiceControl(sFolder, oOutput, std::make_unique<CBorrowedManager>(*pManager));
  bool bOk = false;
  if (sVerb == "install") bOk = pControl->EnsureRunning();
  if (sVerb == "start") bOk = pControl->Start();
  if (sVerb == "stop") bOk = pControl->Stop();
  if (sVerb == "remove") bOk = pControl->Remove();
  oOut << "The service WDXSVC " << StateText(pManager->QueryState()) << ".\n";
  if (bOk) return 0;
  oErr << "wardenix: service " << sVerb << " did not succeed; see " << sFolder << "Wardenix.log.\n";
  return 1;
}

int RunAboutCommand(const std::string& sFolder, std::ostream& oOut) {
  oOut << FormatAbout(GetAboutInfo(sFolder));
  return 0;
}

}  // namespace wdx
