// The service manager under systemd: writes and enables the unit, then lets systemctl do the
// rest. The service tells systemd when it is ready (Type=notify).
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "platform/platform_log.h"
#include "platform/process.h"
#include "platform/service_manager_systemd.h"

namespace wdx {
namespace {

constexpr int POLL_STEP_MS = 100;
constexpr size_t MAX_SYSTEMCTL_OUTPUT = 4096;

// One word of a unit line: "%" would start a specifier, "$" a variable (bExpands); blanks,
// quotes and backslashes need the word in double quotes.
bool QuoteUnitWord(const std::string& sWord, bool bExpands, std::string& sOut) {
  std::string sEscaped;
  bool bQuote = false;
  for (char c : sWord) {
    if (c == '\n' || c == '\r' || c == '\0') return false;
    if (c == '%') {
      sEscaped += "%%";
    } else if (c == '$' && bExpands) {
      sEscaped += "$$";
    } else if (c == '\\' || c == '"') {
      sEscaped += '\\';
      sEscaped += c;
      bQuote = true;
    } else {
      if (c == ' ' || c == '\t' || c == '\'' || c == ';') bQuote = true;
      sEscaped += c;
    }
  }
  sOut = bQuote ? "\"" + sEscaped + "\"" : sEscaped;
  return true;
}

class CSystemdServiceManager final : public IServiceManager {
 public:
  bool IsInstalled() override { return GetFileSystem().FileExists(WDX_SYSTEMD_UNIT_PATH); }
  bool Install(const std::string& sProgramPath) override;
  bool Uninstall() override;
  bool Start() override;
  bool Stop(int iMaxWaitMs) override;
  EServiceState QueryState() override;
  const std::string& GetLastError() const override { return m_sLastError; }

 private:
  bool Systemctl(const std::vector<std::string>& oArgs, const char* szLogText);
  bool Fail(const char* szLogText, const std::string& sReason) {
    m_sLastError = sReason;
    PlatformLogError(szLogText);
    return false;
  }

  std::string m_sLastError;
};

bool CSystemdServiceManager::Systemctl(const std::vector<std::string>& oArgs,
                                       const char* szLogText) {
  std::vector<std::string> oCommand = {"systemctl"};
  oCommand.insert(oCommand.end(), oArgs.begin(), oArgs.end());
  int iExitCode = -1;
  if (!RunAndWait(oCommand, iExitCode)) return Fail(szLogText, "systemctl cannot be run");
  if (iExitCode != 0) {
    return Fail(szLogText,
                "systemctl " + oArgs.front() + " ended with code " + std::to_string(iExitCode));
  }
  return true;
}

bool CSystemdServiceManager::Install(const std::string& sProgramPath) {
  if (IsInstalled()) return true;
  const bool bHomeSet = std::getenv("WDX_HOME") != nullptr;
  std::string sText;
  if (!MakeSystemdUnitText(sProgramPath, bHomeSet ? GetProgramFolder() : "", sText)) {
    return Fail("CSystemdServiceManager::Install() failed: bad program path.",
                "the program path cannot be written into a unit file");
  }
  if (!GetFileSystem().ReplaceFile(WDX_SYSTEMD_UNIT_PATH, sText, 0644)) {
    return Fail("CSystemdServiceManager::Install() cannot write the unit file.",
                std::string("cannot write ") + WDX_SYSTEMD_UNIT_PATH);
  }
  return Systemctl({"daemon-reload"}, "CSystemdServiceManager::Install() daemon-reload failed.") &&
         Systemctl({"enable", WDX_SYSTEMD_UNIT},
                   "CSystemdServiceManager::Install() enable failed.");
}

bool CSystemdServiceManager::Uninstall() {
  if (!IsInstalled()) return true;
  int iIgnored = 0;
  RunAndWait({"systemctl", "stop", WDX_SYSTEMD_UNIT}, iIgnored);
  RunAndWait({"systemctl", "disable", WDX_SYSTEMD_UNIT}, iIgnored);
  if (!GetFileSystem().DeleteFile(WDX_SYSTEMD_UNIT_PATH)) {
    return Fail("CSystemdServiceManager::Uninstall() cannot delete the unit file.",
                std::string("cannot delete ") + WDX_SYSTEMD_UNIT_PATH);
  }
  return Systemctl({"daemon-reload"}, "CSystemdServiceManager::Uninstall() daemon-reload failed.");
}

bool CSystemdServiceManager::Start() {
  if (!IsInstalled()) {
    return Fail("CSystemdServiceManager::Start() failed: not installed.", "not installed");
  }
  // Without --no-block systemctl would wait for the service's READY=1.
  return Systemctl({"start", "--no-block", WDX_SYSTEMD_UNIT},
                   "CSystemdServiceManager::Start() failed.");
}

bool CSystemdServiceManager::Stop(int iMaxWaitMs) {
  if (!IsInstalled()) {
    return Fail("CSystemdServiceManager::Stop() failed: not installed.", "not installed");
  }
  if (!Systemctl({"stop", "--no-block", WDX_SYSTEMD_UNIT},
                 "CSystemdServiceManager::Stop() failed.")) {
    return false;
  }
  auto oDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(iMaxWaitMs);
  for (;;) {
    EServiceState eState = QueryState();
    if (eState == EServiceState::STOPPED || eState == EServiceState::NOT_INSTALLED) return true;
    if (std::chrono::steady_clock::now() >= oDeadline) {
      return Fail("CSystemdServiceManager::Stop() failed: the service did not stop in time.",
                  "the service did not stop within " + std::to_string(iMaxWaitMs) + " ms");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(POLL_STEP_MS));
  }
}

EServiceState CSystemdServiceManager::QueryState() {
  if (!IsInstalled()) return EServiceState::NOT_INSTALLED;
  int iExitCode = -1;
  std::string sOutput;
  if (!RunAndCapture({"systemctl", "is-active", WDX_SYSTEMD_UNIT}, iExitCode, sOutput,
                     MAX_SYSTEMCTL_OUTPUT)) {
    m_sLastError = "systemctl cannot be run";
    return EServiceState::STOPPED;
  }
  return MapSystemdActiveState(sOutput);
}

}  // namespace

bool MakeSystemdUnitText(const std::string& sProgramPath, const std::string& sProgramFolder,
                         std::string& sUnitText) {
  sUnitText.clear();
  std::string sExec;
  if (sProgramPath.empty() || !QuoteUnitWord(sProgramPath, true, sExec)) return false;
  std::string sText =
      "[Unit]\n"
      "Description=Wardenix monitor service\n"
      "\n"
      "[Service]\n"
      "Type=notify\n"
      "ExecStart=" +
      sExec +
      "\n"
      "Restart=on-failure\n"
      "TimeoutStopSec=130\n";
  if (!sProgramFolder.empty()) {
    std::string sEnvironment;
    if (!QuoteUnitWord("WDX_HOME=" + sProgramFolder, false, sEnvironment)) return false;
    sText += "Environment=" + sEnvironment + "\n";
  }
  sText +=
      "\n"
      "[Install]\n"
      "WantedBy=multi-user.target\n";
  sUnitText = std::move(sText);
  return true;
}

EServiceState MapSystemdActiveState(const std::string& sOutput) {
  std::string sState = sOutput.substr(0, sOutput.find_first_of("\r\n"));
  if (sState == "active" || sState == "reloading") return EServiceState::RUNNING;
  if (sState == "activating") return EServiceState::START_PENDING;
  if (sState == "deactivating") return EServiceState::STOP_PENDING;
  return EServiceState::STOPPED;  // inactive, failed, or nothing known
}

std::unique_ptr<IServiceManager> CreateSystemdServiceManager() {
  return std::make_unique<CSystemdServiceManager>();
}

}  // namespace wdx
