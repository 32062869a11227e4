#include "service/host/service_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "foundation/process_log.h"
#include "platform/clock.h"
#include "platform/command_endpoint.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/registry_store.h"
#include "platform/service_manager.h"
#include "platform/system_log.h"
#include "service/host/registration.h"
#include "service/host/thread_owner.h"
#include "service/host/wdx_codes.h"
#include "service/host/wdx_command_handler.h"
#include "service/host/wdx_svr.h"

namespace wdx {
namespace {

bool EqualsNoCase(const std::string& sLeft, const char* szRight) {
  const std::string sRight(szRight);
  if (sLeft.size() != sRight.size()) return false;
  for (size_t i = 0; i < sLeft.size(); ++i) {
    auto Lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (Lower(sLeft[i]) != Lower(sRight[i])) return false;
  }
  return true;
}

}  // namespace

std::string JoinArguments(int argc, const char* const* argv) {
  std::string sLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) sLine += ' ';
    sLine += argv[i];
  }
  return sLine;
}

EHostSwitch ParseHostSwitch(const std::string& sCommandLine) {
  for (size_t i = 0; i < sCommandLine.size(); ++i) {
    if (sCommandLine[i] != '-' && sCommandLine[i] != '/') continue;
    const std::string sToken = sCommandLine.substr(i + 1);
    if (EqualsNoCase(sToken, "UnregServer")) return EHostSwitch::UNREG_SERVER;
    if (EqualsNoCase(sToken, "RegServer")) return EHostSwitch::REG_SERVER;
    if (EqualsNoCase(sToken, "Service")) return EHostSwitch::SERVICE;
  }
  return EHostSwitch::NONE;
}

int CServiceHost::Main(int argc, const char* const* argv) {
  const EHostSwitch eSwitch = ParseHostSwitch(JoinArguments(argc, argv));
  if (eSwitch != EHostSwitch::NONE) return RunSwitch(eSwitch);

  auto pStore = OpenRegistryStore();
  std::string sLocalService;
  if (!pStore->KeyExists(AppIdKey())) {
    const int iError = pStore->GetLastErrorCode();
    const std::string sProblem = RegistryProblemText(iError);
    if (!sProblem.empty()) {
      std::fprintf(stderr, "WDXSVC: %s\n", sProblem.c_str());
      return RegistryExitCode(iError);
    }
    std::fprintf(stderr,
                 "WDXSVC is not registered in %s: run \"wdxsvc -RegServer\" or \"wdxsvc "
                 "-Service\" first.\n",
                 GetRegistryStorePath().c_str());
    return 2;
  }
  const bool bAsService = pStore->GetValue(AppIdKey(), "LocalService", sLocalService);
  return Run(bAsService);
}

int CServiceHost::RunSwitch(EHostSwitch eSwitch) {
  auto pStore = OpenRegistryStore();
  auto pServices = CreateServiceManager();
  CServiceRegistration oRegistration(*pStore, *pServices);
  const std::string sProgram = GetFileSystem().GetExecutablePath();
  int iResult = 0;
  if (eSwitch == EHostSwitch::UNREG_SERVER) {
    iResult = oRegistration.Unregister();
  } else {
    iResult = oRegistration.Register(sProgram, eSwitch == EHostSwitch::SERVICE);
  }
  if (!oRegistration.GetLastError().empty()) {
    std::fprintf(stderr, "WDXSVC: %s\n", oRegistration.GetLastError().c_str());
  }
  return iResult;
}

int CServiceHost::Run(bool bAsService) {
  BlockStopSignals();
  SystemLogSetService(bAsService);
  const std::string sSocket = GetProgramFolder() + WDX_SOCKET_NAME;
  auto pProbe = CreateCommandClient();
  if (pProbe->Connect(sSocket)) {
    std::fprintf(stderr, "WDXSVC: another instance already answers on %s.\n", sSocket.c_str());
    return 1;
  }
  auto pStatus = CreateServiceStatus();
  auto pServer = CreateCommandServer();
  int iExitCode = 0;
  {
    CWDXSVR oCommandObject;
    CWdxCommandHandler oHandler(oCommandObject);
    if (!oCommandObject.IsInitialized()) {
      SystemLogWrite("WDXSVC could not initialise: see WDXSVC.log in the program folder.");
    }
    if (pServer->Start(sSocket, &oHandler)) {
      SystemLogWrite("Service started");
      if (bAsService) pStatus->NotifyReady();
      const bool bSignalled = WaitUntilStopped(bAsService, *pServer);
      if (bAsService) pStatus->NotifyStopping();
      pServer->Stop();
      if (bSignalled) EndWorkerOrProcess(oCommandObject, bAsService);
    } else {
      std::fprintf(stderr, "WDXSVC: cannot serve %s: %s\n", sSocket.c_str(),
                   pServer->GetLastError().c_str());
      iExitCode = 1;
    }
  }
  if (bAsService) SystemLogWrite("Service stopped");
  return iExitCode;
}

void CServiceHost::EndWorkerOrProcess(CWDXSVR& oCommandObject, bool bAsService) {
  CThreadOwner* pOwner = oCommandObject.GetThreadOwner();
  if (pOwner == nullptr || !pOwner->AreThreadsStarted() ||
      pOwner->KillAllThreads(WDX_STOP_SIGNAL_WORKER_MS)) {
    return;
  }
  // The worker is inside a step that cannot be cut short (an activity sample, which only reads)
  // and still uses the objects that an orderly end would destroy: end the process at once.
  ZuvLogError("WDXSVC ends on the stop signal without waiting for the operations thread.");
  if (bAsService) SystemLogWrite("Service stopped");
  std::_Exit(0);
}

bool CServiceHost::WaitUntilStopped(bool bAsService, ICommandServer& oServer) {
  // A service only waits for its stop signal; a local server also looks once a second
  // whether its last client has gone.
  constexpr int kServiceSliceMs = 60000;
  constexpr int kLocalServerSliceMs = 1000;
  // Even a fast clock leaves a starting client time to connect.
  const int iLingerMs =
      std::max(ScaleInterval(WDX_LOCAL_SERVER_LINGER_MS), WDX_LOCAL_SERVER_MIN_LINGER_MS);
  const int iSliceMs = bAsService ? kServiceSliceMs : std::min(kLocalServerSliceMs, iLingerMs);
  while (true) {
    if (WaitForStopSignal(iSliceMs) != 0) return true;
    if (bAsService || oServer.GetClientCount() > 0) continue;
    if (GetClock().GetMonotonicMs() - oServer.GetIdleSinceMs() >= iLingerMs) return false;
  }
}

}  // namespace wdx
