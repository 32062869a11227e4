// The service manager under systemd: enables the packaged unit, or writes and enables a local
// one, then lets systemctl do the rest. The service tells systemd when it is ready (Type=notify).
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/platform_log.h"
#include "platform/process.h"
#include "platform/service_manager_systemd.h"

namespace wdx {
namespace {

constexpr int POLL_STEP_MS = 100;
constexpr size_t MAX_SYSTEMCTL_OUTPUT = 4096;
constexpr int64_t MAX_UNIT_FILE_SIZE = 65536;

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

// The "ExecStart=" line of a unit text, "" when it has none.
std::string ExecStartLine(const std::string& sText) {
  size_t iAt = 0;
  while (iAt < sText.size()) {
    size_t iEnd = sText.find('\n', iAt);
    if (iEnd == std::string::npos) iEnd = sText.size();
    if (sText.compare(iAt, 10, "ExecStart=") == 0) return sText.substr(iAt, iEnd - iAt);
    iAt = iEnd + 1;
  }
  return "";
}

class CSystemdServiceManager final : public IServiceManager {
 public:
  explicit CSystemdServiceManager(SSystemdPaths oPaths)
      : m_oPaths(std::move(oPaths)), m_sLocalUnit(m_oPaths.m_sLocalFolder + WDX_SYSTEMD_UNIT) {}
  CSystemdServiceManager(const CSystemdServiceManager&) = delete;
  CSystemdServiceManager& operator=(const CSystemdServiceManager&) = delete;

  bool IsInstalled() override;
  bool Install(const std::string& sProgramPath) override;
  bool Uninstall() override;
  bool Start() override;
  bool Stop(int iMaxWaitMs) override;
  EServiceState QueryState() override;
  const std::string& GetLastError() const override { return m_sLastError; }

 private:
  // The path of the unit a package shipped, "" when there is none.
  std::string FindPackagedUnit() const;
  // True when a packaged unit starts sProgramPath just as a local unit for it would.
  bool PackagedUnitRuns(const std::string& sProgramPath) const;
  bool Systemctl(const std::vector<std::string>& oArgs, const char* szLogText);
  bool Fail(const char* szLogText, const std::string& sReason) {
    m_sLastError = sReason;
    PlatformLogError(szLogText);
    return false;
  }

  const SSystemdPaths m_oPaths;
  const std::string m_sLocalUnit;
  std::string m_sLastError;
};

std::string CSystemdServiceManager::FindPackagedUnit() const {
  for (const std::string& sFolder : m_oPaths.m_oVendorFolders) {
    const std::string sPath = sFolder + WDX_SYSTEMD_UNIT;
    if (GetFileSystem().FileExists(sPath)) return sPath;
  }
  return "";
}

bool CSystemdServiceManager::PackagedUnitRuns(const std::string& sProgramPath) const {
  const std::string sPackaged = FindPackagedUnit();
  std::string sText;
  std::string sOwn;
  if (sPackaged.empty() || !GetFileSystem().ReadFile(sPackaged, sText, MAX_UNIT_FILE_SIZE) ||
      !MakeSystemdUnitText(sProgramPath, "", sOwn)) {
    return false;
  }
  return ExecStartLine(sText) == ExecStartLine(sOwn);
}

bool CSystemdServiceManager::IsInstalled() {
  // A packaged unit is installed once enabled: "systemctl enable" links it into the target.
  return GetFileSystem().FileExists(m_sLocalUnit) ||
         (!FindPackagedUnit().empty() &&
          GetFileSystem().FileExists(m_oPaths.m_sLocalFolder + "multi-user.target.wants/" +
                                     WDX_SYSTEMD_UNIT));
}

bool CSystemdServiceManager::Systemctl(const std::vector<std::string>& oArgs,
                                       const char* szLogText) {
  std::vector<std::string> oCommand = {m_oPaths.m_sSystemctl};
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
  // The package's own unit for this program is used as it is; any other program gets a local
  // unit, which takes the place of a packaged one.
  if (PackagedUnitRuns(sProgramPath)) {
    PlatformLogMessage("CSystemdServiceManager::Install() enables the packaged unit.");
  } else if (!GetFileSystem().ReplaceFile(m_sLocalUnit, sText, 0644)) {
    return Fail("CSystemdServiceManager::Install() cannot write the unit file.",
                "cannot write " + m_sLocalUnit);
  }
  return Systemctl({"daemon-reload"}, "CSystemdServiceManager::Install() daemon-reload failed.") &&
         Systemctl({"enable", WDX_SYSTEMD_UNIT},
                   "CSystemdServiceManager::Install() enable failed.");
}

bool CSystemdServiceManager::Uninstall() {
  if (!IsInstalled()) return true;
  int iIgnored = 0;
  RunAndWait({m_oPaths.m_sSystemctl, "stop", WDX_SYSTEMD_UNIT}, iIgnored);
  RunAndWait({m_oPaths.m_sSystemctl, "disable", WDX_SYSTEMD_UNIT}, iIgnored);
  // A packaged unit belongs to the package and stays.
  if (GetFileSystem().FileExists(m_sLocalUnit) && !GetFileSystem().DeleteFile(m_sLocalUnit)) {
    return Fail("CSystemdServiceManager::Uninstall() cannot delete the unit file.",
                "cannot delete " + m_sLocalUnit);
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
  if (!RunAndCapture({m_oPaths.m_sSystemctl, "is-active", WDX_SYSTEMD_UNIT}, iExitCode, sOutput,
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
      "Documentation=man:wdxsvc(8)\n"
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
  return CreateSystemdServiceManager(SSystemdPaths());
}

std::unique_ptr<IServiceManager> CreateSystemdServiceManager(SSystemdPaths oPaths) {
  return std::make_unique<CSystemdServiceManager>(std::move(oPaths));
}

}  // namespace wdx
