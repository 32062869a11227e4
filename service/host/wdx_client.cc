#include "service/host/wdx_client.h"

#include "platform/clock.h"
#include "platform/command_endpoint.h"
#include "platform/process.h"
#include "platform/registry_store.h"
#include "platform/service_manager.h"
#include "service/host/command_protocol.h"
#include "service/host/registration.h"
#include "service/host/wdx_codes.h"

namespace wdx {

CWdxSvrClient::CWdxSvrClient(const std::string& sProgramFolder)
    : m_sSocketPath(sProgramFolder + WDX_SOCKET_NAME), m_pClient(CreateCommandClient()) {}

CWdxSvrClient::~CWdxSvrClient() = default;

bool CWdxSvrClient::Connect(bool bActivate) {
  if (m_pClient->IsConnected()) return true;
  if (m_pClient->Connect(m_sSocketPath)) return true;
  m_sLastError =
      "The service does not answer on " + m_sSocketPath + ": " + m_pClient->GetLastError();
  if (!bActivate || !Activate()) return false;
  const int64_t iDeadline = GetClock().GetMonotonicMs() + WDX_ACTIVATION_WAIT_MS;
  while (GetClock().GetMonotonicMs() < iDeadline) {
    if (m_pClient->Connect(m_sSocketPath)) return true;
    GetClock().SleepMs(20);
  }
  m_sLastError = "The service was started but does not answer on " + m_sSocketPath + ".";
  return false;
}

bool CWdxSvrClient::Activate() {
  auto pStore = OpenRegistryStore();
  std::string sProgram;
  if (!pStore->GetValue(LocalServerKey(), "", sProgram) || sProgram.empty()) {
    m_sLastError += "\nThe service is not registered in " + GetRegistryStorePath() +
                    ": run \"wdxsvc -Service\" (or \"wdxsvc -RegServer\") first.";
    return false;
  }
  std::string sLocalService;
  if (pStore->GetValue(AppIdKey(), "LocalService", sLocalService)) {
    auto pServices = CreateServiceManager();
    if (pServices->Start()) return true;
    m_sLastError += "\nThe service could not be started: " + pServices->GetLastError();
    return false;
  }
  int iPid = 0;
  if (SpawnDetached({sProgram}, iPid)) return true;
  m_sLastError += "\nCannot start " + sProgram + ".";
  return false;
}

bool CWdxSvrClient::Call(const std::string& sRequest, std::string& sAnswer) {
  if (!Connect(false)) return false;
  if (m_pClient->Call(sRequest, sAnswer, WDX_CALL_TIMEOUT_MS)) return true;
  m_sLastError = "The service did not answer: " + m_pClient->GetLastError();
  m_pClient->Disconnect();
  return false;
}

bool CWdxSvrClient::OpsCommand(int iCommand, int& iResult) {
  std::string sAnswer;
  if (!Call(FormatOpsCommandRequest(iCommand), sAnswer)) return false;
  if (ParseIntAnswer(sAnswer, iResult)) return true;
  m_sLastError = "Unexpected answer from the service: " + sAnswer;
  return false;
}

bool CWdxSvrClient::GetStringResult(int iCommand, std::string& sResult) {
  std::string sAnswer;
  if (!Call(FormatStringRequest(iCommand), sAnswer)) return false;
  if (ParseTextAnswer(sAnswer, sResult)) return true;
  m_sLastError = "Unexpected answer from the service: " + sAnswer;
  return false;
}

void CWdxSvrClient::Disconnect() {
  m_pClient->Disconnect();
}

}  // namespace wdx
