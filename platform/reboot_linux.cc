// Rebooting on Linux: through systemd when it runs, else sync() and reboot(2); or the program
// that WDX_REBOOT_COMMAND names.
#include "platform/reboot.h"

#include <sys/reboot.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "platform/command_words.h"
#include "platform/platform_log.h"
#include "platform/process.h"

namespace wdx {
namespace {

std::atomic<IRebooter*> g_pTestRebooter{nullptr};

bool IsExecutableFile(const std::string& sPath) {
  struct stat oStat {};
  return stat(sPath.c_str(), &oStat) == 0 && S_ISREG(oStat.st_mode) &&
         access(sPath.c_str(), X_OK) == 0;
}

// The program's path: as given when it holds a "/", else the first match along PATH.
std::string FindProgram(const std::string& sName) {
  if (sName.find('/') != std::string::npos) return IsExecutableFile(sName) ? sName : "";
  const char* szPath = std::getenv("PATH");
  const std::string sDirs = szPath != nullptr ? szPath : "/usr/bin:/bin";
  size_t uStart = 0;
  for (;;) {
    const size_t uEnd = sDirs.find(':', uStart);
    std::string sDir = sDirs.substr(uStart, uEnd - uStart);
    if (sDir.empty()) sDir = ".";
    const std::string sCandidate = sDir + "/" + sName;
    if (IsExecutableFile(sCandidate)) return sCandidate;
    if (uEnd == std::string::npos) return "";
    uStart = uEnd + 1;
  }
}

class CCommandRebooter final : public IRebooter {
 public:
  explicit CCommandRebooter(const std::string& sCommandLine) {
    if (SplitCommandWords(sCommandLine, m_oArgs)) m_oArgs[0] = FindProgram(m_oArgs[0]);
  }

  EPrivilegeState GetRebootPrivilege() override {
    if (m_oArgs.empty() || m_oArgs[0].empty()) {
      PlatformLogError("The reboot command (WDX_REBOOT_COMMAND) names no program that can be run.");
      return EPrivilegeState::NOT_HELD;
    }
    return EPrivilegeState::HELD;
  }

  bool RequestReboot() override {
    if (GetRebootPrivilege() != EPrivilegeState::HELD) return false;
    int iExitCode = -1;
    if (!RunAndWait(m_oArgs, iExitCode)) return false;
    if (iExitCode != 0) {
      PlatformLogError(("The reboot command (WDX_REBOOT_COMMAND) ended with code " +
                        std::to_string(iExitCode) + ".")
                           .c_str());
    }
    return iExitCode == 0;
  }

 private:
  std::vector<std::string> m_oArgs;
};

class CSystemRebooter final : public IRebooter {
 public:
  EPrivilegeState GetRebootPrivilege() override { return GetOwnPrivilege(WDX_CAP_SYS_BOOT); }

  bool RequestReboot() override {
    struct stat oStat {};
    if (stat("/run/systemd/system", &oStat) == 0 && S_ISDIR(oStat.st_mode)) {
      int iExitCode = -1;
      if (RunAndWait({"systemctl", "reboot"}, iExitCode) && iExitCode == 0) return true;
      PlatformLogError("systemctl reboot was refused; rebooting directly.");
    }
    sync();
    if (reboot(RB_AUTOBOOT) == 0) return true;
    PlatformLogError("The system refused to reboot.");
    return false;
  }
};

// The rebooter of the running process: WDX_REBOOT_COMMAND is looked at on every call, so that
// the variable in force when the reboot is asked for counts.
class CProcessRebooter final : public IRebooter {
 public:
  EPrivilegeState GetRebootPrivilege() override {
    const char* szCommand = std::getenv("WDX_REBOOT_COMMAND");
    if (szCommand == nullptr) return m_oSystem.GetRebootPrivilege();
    return CCommandRebooter(szCommand).GetRebootPrivilege();
  }
  bool RequestReboot() override {
    const char* szCommand = std::getenv("WDX_REBOOT_COMMAND");
    if (szCommand == nullptr) return m_oSystem.RequestReboot();
    return CCommandRebooter(szCommand).RequestReboot();
  }

 private:
  CSystemRebooter m_oSystem;
};

}  // namespace

IRebooter& GetRebooter() {
  if (IRebooter* pTest = g_pTestRebooter.load()) return *pTest;
  static CProcessRebooter s_oProcess;
  return s_oProcess;
}

void SetRebooterForTesting(IRebooter* pRebooter) {
  g_pTestRebooter.store(pRebooter);
}

std::unique_ptr<IRebooter> MakeCommandRebooter(const std::string& sCommandLine) {
  return std::make_unique<CCommandRebooter>(sCommandLine);
}

}  // namespace wdx
