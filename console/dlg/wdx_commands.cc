#include "console/dlg/wdx_commands.h"

#include "foundation/process_log.h"
#include "service/host/wdx_client.h"

namespace wdx {
namespace {

class CWdxCommands final : public IWdxCommands {
 public:
  explicit CWdxCommands(const std::string& sFolder) : m_oClient(sFolder) {}
  bool Connect() {
    if (m_oClient.Connect(true)) return true;
    ZuvLogError(("CWdxCommands::Connect " + m_oClient.GetLastError()).c_str());
    return false;
  }
  bool OpsCommand(int iCommand, int& iResult) override {
    return m_oClient.OpsCommand(iCommand, iResult);
  }
  bool GetStringResult(int iCommand, std::string& sResult) override {
    return m_oClient.GetStringResult(iCommand, sResult);
  }

 private:
  CWdxSvrClient m_oClient;
};

}  // namespace

std::unique_ptr<IWdxCommands> CreateWdxCommands(const std::string& sProgramFolder) {
  auto pCommands = std::make_unique<CWdxCommands>(sProgramFolder);
  if (!pCommands->Connect()) return nullptr;
  return pCommands;
}

}  // namespace wdx
