// The supervisor-based service manager: records the installation in the registry store and
// starts, queries and stops the detached supervisor through its pid file.
#include "platform/service_manager_supervisor.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/file_system.h"
#include "platform/platform_log.h"
#include "platform/process.h"
#include "platform/registry_store.h"
#include "platform/supervisor_pid_file.h"
#include "platform/unique_fd.h"

namespace wdx {
namespace {

constexpr int POLL_STEP_MS = 10;
// How long Start waits for the new supervisor to write its pid file.
constexpr int START_CONFIRM_MS = 2000;

using CSteadyClock = std::chrono::steady_clock;

void Pause() {
  std::this_thread::sleep_for(std::chrono::milliseconds(POLL_STEP_MS));
}

class CSupervisorServiceManager final : public IServiceManager {
 public:
  CSupervisorServiceManager(std::unique_ptr<IRegistryStore> pStore, std::string sSupervisorPath)
      : m_pStore(std::move(pStore)), m_sSupervisorPath(std::move(sSupervisorPath)) {}

  bool IsInstalled() override {
    std::string sProgram;
    return GetProgram(sProgram);
  }
  bool Install(const std::string& sProgramPath) override;
  bool Uninstall() override;
  bool Start() override;
  bool Stop(int iMaxWaitMs) override;
  EServiceState QueryState() override;
  const std::string& GetLastError() const override { return m_sLastError; }

 private:
  bool GetProgram(std::string& sProgram) {
    return m_pStore->GetValue(WDX_SERVICE_KEY, "ImagePath", sProgram) && !sProgram.empty();
  }
  // The service's program folder: WDX_HOME when set (the service inherits it), else the
  // folder of the service program. Each program folder has its own pid file.
  static std::string ProgramFolderOf(const std::string& sProgram) {
    const char* szHome = std::getenv("WDX_HOME");
    return szHome != nullptr && *szHome != '\0' ? GetProgramFolder() : FolderOf(sProgram);
  }
  static std::string PidFileOf(const std::string& sProgram) {
    return ProgramFolderOf(sProgram) + WDX_PID_FILE_NAME;
  }
  // True when the pid file names a live supervisor; oContent is the file's content.
  static bool ReadLiveSupervisor(const std::string& sPidFile, SPidFileContent& oContent) {
    return ReadPidFile(sPidFile, oContent) && IsSupervisorOf(oContent.m_iSupervisorPid, sPidFile);
  }
  // The service process that a killed supervisor left running, else 0.
  static int FindOrphan(const std::string& sProgram) {
    SPidFileContent oContent;
    const std::string sPidFile = PidFileOf(sProgram);
    if (!ReadPidFile(sPidFile, oContent) || IsSupervisorOf(oContent.m_iSupervisorPid, sPidFile)) {
      return 0;
    }
    return IsServiceOf(oContent.m_iServicePid, sProgram, ProgramFolderOf(sProgram))
               ? oContent.m_iServicePid
               : 0;
  }
  bool SignalAndWait(int iPid, int iMaxWaitMs);
  std::string LocateSupervisor(const std::string& sProgram) const;
  bool ConfirmStart(int iReadyFd);
  bool Fail(const char* szLogText, const std::string& sReason) {
    m_sLastError = sReason;
    PlatformLogError(szLogText);
    return false;
  }

  std::unique_ptr<IRegistryStore> m_pStore;
  std::string m_sSupervisorPath;
  std::string m_sLastError;
};

bool CSupervisorServiceManager::Install(const std::string& sProgramPath) {
  if (IsInstalled()) return true;
  if (sProgramPath.empty() || sProgramPath[0] != '/') {
    return Fail("CSupervisorServiceManager::Install() failed: the program path is not absolute.",
                "not a full program path: " + sProgramPath);
  }
  if (!m_pStore->SetValue(WDX_SERVICE_KEY, "ImagePath", sProgramPath) ||
      !m_pStore->SetValue(WDX_SERVICE_KEY, "Start", "2")) {
    return Fail("CSupervisorServiceManager::Install() cannot write the registry store.",
                "cannot write the registry store " + GetRegistryStorePath());
  }
  return true;
}

bool CSupervisorServiceManager::Uninstall() {
  if (!IsInstalled()) return true;
  EServiceState eState = QueryState();
  if (eState != EServiceState::STOPPED && !Stop(WDX_UNINSTALL_STOP_WAIT_MS)) return false;
  if (!m_pStore->DeleteKey(WDX_SERVICE_KEY)) {
    return Fail("CSupervisorServiceManager::Uninstall() cannot write the registry store.",
                "cannot remove the service from the registry store " + GetRegistryStorePath());
  }
  return true;
}

std::string CSupervisorServiceManager::LocateSupervisor(const std::string& sProgram) const {
  if (!m_sSupervisorPath.empty()) return m_sSupervisorPath;
  std::string sBeside = FolderOf(sProgram) + WDX_SUPERVISOR_PROGRAM;
  if (access(sBeside.c_str(), X_OK) == 0) return sBeside;
  return FolderOf(GetFileSystem().GetExecutablePath()) + WDX_SUPERVISOR_PROGRAM;
}

bool CSupervisorServiceManager::Start() {
  std::string sProgram;
  if (!GetProgram(sProgram)) {
    return Fail("CSupervisorServiceManager::Start() failed: not installed.", "not installed");
  }
  const std::string sPidFile = PidFileOf(sProgram);
  SPidFileContent oContent;
  if (ReadLiveSupervisor(sPidFile, oContent)) {
    if (!oContent.m_bStopping) return true;
    return Fail("CSupervisorServiceManager::Start() failed: the service is stopping.",
                "the service is still stopping");
  }
  // A service left without its supervisor is replaced by the new supervisor.
  const std::string sSupervisor = LocateSupervisor(sProgram);
  int aPipe[2];
  if (pipe2(aPipe, O_CLOEXEC) != 0) {
    return Fail("CSupervisorServiceManager::Start() cannot create the readiness pipe.",
                std::string("cannot create a pipe: ") + std::strerror(errno));
  }
  CUniqueFd oReady(aPipe[0]);
  CUniqueFd oReadyWrite(aPipe[1]);
  int iPid = -1;
  if (!SpawnDetached(
          {sSupervisor, "--ready-fd", std::to_string(oReadyWrite.Get()), sPidFile, sProgram}, iPid,
          oReadyWrite.Get())) {
    return Fail("CSupervisorServiceManager::Start() cannot start the supervisor.",
                "cannot run " + sSupervisor);
  }
  oReadyWrite.Reset();  // the supervisor holds the only write end now
  return ConfirmStart(oReady.Get());
}

// The supervisor writes one byte once it has taken the pid file and started the service, and
// closes the pipe: end-of-file alone means it gave up before. A service that ends at once has
// still been started (its end is the supervisor's to judge).
bool CSupervisorServiceManager::ConfirmStart(int iReadyFd) {
  auto oDeadline = CSteadyClock::now() + std::chrono::milliseconds(START_CONFIRM_MS);
  for (;;) {
    auto iLeftMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(oDeadline - CSteadyClock::now());
    if (iLeftMs.count() <= 0) return true;  // still starting: QueryState tells
    pollfd oPoll = {iReadyFd, POLLIN, 0};
    int iReady = poll(&oPoll, 1, static_cast<int>(iLeftMs.count()));
    if (iReady < 0 && errno == EINTR) continue;
    if (iReady < 0) break;
    if (iReady == 0) continue;
    char cByte = 0;
    ssize_t iRead = read(iReadyFd, &cByte, 1);
    if (iRead < 0 && errno == EINTR) continue;
    if (iRead == 1) return true;
    break;
  }
  return Fail("CSupervisorServiceManager::Start() failed: the supervisor ended at once.",
              "the supervisor gave up before starting the service (see the system log)");
}

bool CSupervisorServiceManager::Stop(int iMaxWaitMs) {
  std::string sProgram;
  if (!GetProgram(sProgram)) {
    return Fail("CSupervisorServiceManager::Stop() failed: not installed.", "not installed");
  }
  const std::string sPidFile = PidFileOf(sProgram);
  SPidFileContent oContent;
  if (!ReadLiveSupervisor(sPidFile, oContent)) {
    // A service whose supervisor was killed is stopped directly.
    const int iOrphan = FindOrphan(sProgram);
    if (iOrphan > 0 && !SignalAndWait(iOrphan, iMaxWaitMs)) return false;
    if (access(sPidFile.c_str(), F_OK) == 0) unlink(sPidFile.c_str());  // stale
    return true;
  }
  const int iSupervisor = oContent.m_iSupervisorPid;
  if (!SignalAndWait(iSupervisor, iMaxWaitMs)) return false;
  // A supervisor that was killed could not remove its pid file.
  if (ReadPidFile(sPidFile, oContent) && oContent.m_iSupervisorPid == iSupervisor) {
    unlink(sPidFile.c_str());
  }
  return true;
}

bool CSupervisorServiceManager::SignalAndWait(int iPid, int iMaxWaitMs) {
  if (!SignalProcess(iPid, SIGTERM)) {
    return Fail("CSupervisorServiceManager::Stop() cannot signal the supervisor.",
                "cannot signal process " + std::to_string(iPid));
  }
  auto oDeadline = CSteadyClock::now() + std::chrono::milliseconds(iMaxWaitMs);
  while (IsProcessAlive(iPid)) {
    if (CSteadyClock::now() >= oDeadline) {
      return Fail("CSupervisorServiceManager::Stop() failed: the service did not stop in time.",
                  "the service did not stop within " + std::to_string(iMaxWaitMs) + " ms");
    }
    Pause();
  }
  return true;
}

EServiceState CSupervisorServiceManager::QueryState() {
  std::string sProgram;
  if (!GetProgram(sProgram)) return EServiceState::NOT_INSTALLED;
  const std::string sPidFile = PidFileOf(sProgram);
  SPidFileContent oContent;
  if (!ReadLiveSupervisor(sPidFile, oContent)) {
    return FindOrphan(sProgram) > 0 ? EServiceState::RUNNING : EServiceState::STOPPED;
  }
  if (oContent.m_bStopping) return EServiceState::STOP_PENDING;
  if (oContent.m_iServicePid > 0 && IsProcessAlive(oContent.m_iServicePid)) {
    return EServiceState::RUNNING;
  }
  return EServiceState::START_PENDING;
}

}  // namespace

std::unique_ptr<IServiceManager> CreateSupervisorServiceManager() {
  return CreateSupervisorServiceManager(OpenRegistryStore(), "");
}

std::unique_ptr<IServiceManager> CreateSupervisorServiceManager(
    std::unique_ptr<IRegistryStore> pStore, const std::string& sSupervisorPath) {
  return std::make_unique<CSupervisorServiceManager>(std::move(pStore), sSupervisorPath);
}

}  // namespace wdx
