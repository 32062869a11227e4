// CWdxSvrClient: the client proxy of the service's command object. It offers OpsCommand and
// GetStringResult over the command endpoint WDXSVC.sock in the program folder. When nobody
// answers there and activation is asked for, it starts the service the way it is registered:
// through the service manager when "LocalService" is registered, else the registered program
// ("LocalServer32") as a plain local server, and waits for the endpoint to answer.
//
// Threading: one object per thread; keeps one persistent connection.
#pragma once

#include <memory>
#include <string>

namespace wdx {

class ICommandClient;

inline constexpr int WDX_CALL_TIMEOUT_MS = 10000;
inline constexpr int WDX_ACTIVATION_WAIT_MS = 10000;

class CWdxSvrClient final {
 public:
  explicit CWdxSvrClient(const std::string& sProgramFolder);
  ~CWdxSvrClient();
  CWdxSvrClient(const CWdxSvrClient&) = delete;
  CWdxSvrClient& operator=(const CWdxSvrClient&) = delete;

  bool Connect(bool bActivate);
  bool OpsCommand(int iCommand, int& iResult);
  bool GetStringResult(int iCommand, std::string& sResult);
  void Disconnect();
  const std::string& GetLastError() const { return m_sLastError; }
  const std::string& GetSocketPath() const { return m_sSocketPath; }

 private:
  bool Activate();
  bool Call(const std::string& sRequest, std::string& sAnswer);

  std::string m_sSocketPath;
  std::unique_ptr<ICommandClient> m_pClient;
  std::string m_sLastError;
};

}  // namespace wdx
