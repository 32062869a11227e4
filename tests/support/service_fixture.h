// CServiceFixture: a temporary program folder with its own registry store and lock folder, in
// which tests run the real wdxsvc and wardenix programs of this build. The environment
// (WDX_HOME, WDX_REGISTRY, WDX_LOCK_DIR, WDX_SUPERVISOR, WDX_TIME_SCALE) is set in this process
// so that the programs it starts and the clients it makes use the same folder.
// WDX_REBOOT_COMMAND is set to a script (in a folder of its own) that only records that it ran,
// so that no program a test starts can restart the machine.
//
// Threading: one test thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace wdx {
class CWdxSvrClient;
}

namespace wdx::test {

struct SRunResult {
  int m_iExitCode = -1;
  std::string m_sOut;
  std::string m_sErr;
};

class CServiceFixture final {
 public:
  explicit CServiceFixture(int iTimeScale = 20);
  ~CServiceFixture();  // stops what it started and restores the environment
  CServiceFixture(const CServiceFixture&) = delete;
  CServiceFixture& operator=(const CServiceFixture&) = delete;

  const std::string& Home() const { return m_oHome.Path(); }
  CTempFolder& Folder() { return m_oHome; }
  std::string RegistryPath() const { return m_oHome.Path() + "registry/store"; }
  std::string SocketPath() const { return m_oHome.Path() + "WDXSVC.sock"; }
  std::string LogText() const { return m_oHome.Read("WDXSVC.log"); }
  // How often the reboot command ran.
  int RebootCount() const;

  static std::string ServiceProgram();
  static std::string ConsoleProgram();

  // Runs a program of the build to its end and collects its output.
  SRunResult Run(const std::string& sProgram, const std::vector<std::string>& oArgs);
  SRunResult RunService(const std::vector<std::string>& oArgs) { return Run(ServiceProgram(), oArgs); }
  SRunResult RunConsole(const std::vector<std::string>& oArgs) { return Run(ConsoleProgram(), oArgs); }

  // Starts wdxsvc without a switch as a child of this process and waits until its endpoint
  // answers; false when it did not within iWaitMs.
  bool StartServiceProcess(int iWaitMs = 10000);
  int ServicePid() const { return m_iPid; }
  // Sends SIGTERM and waits for the end; returns the exit code, -1 on time-out.
  int StopServiceProcess(int iWaitMs);
  // Waits for the started process to end by itself; exit code or -1.
  int WaitServiceExit(int iWaitMs);

  std::unique_ptr<CWdxSvrClient> Connect();
  // Counts the lines of the service log that hold szText.
  int CountInLog(const char* szText) const;

 private:
  CTempFolder m_oHome;
  CTempFolder m_oRebootRecorder;
  std::vector<std::pair<std::string, std::string>> m_oSavedEnv;
  int m_iPid = -1;
};

}  // namespace wdx::test
