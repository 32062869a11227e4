#include "platform/service_manager.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "platform/registry_store.h"
#include "platform/service_manager_supervisor.h"
#include "platform/supervisor_pid_file.h"
#include "platform/unique_fd.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

// --- Service status (in a child process: it changes the environment) ---

WDX_TEST_CHILD(service_status) {
  if (argc != 1) return 80;
  for (const char* szName : {"NOTIFY_SOCKET", "INVOCATION_ID", "WDX_SUPERVISED"}) unsetenv(szName);
  auto pStatus = CreateServiceStatus();
  if (pStatus->StartedByManager()) return 81;
  pStatus->NotifyReady();  // nowhere to go: ignored
  setenv("WDX_SUPERVISED", "0", 1);
  if (pStatus->StartedByManager()) return 82;
  setenv("WDX_SUPERVISED", "1", 1);
  if (!pStatus->StartedByManager()) return 83;
  unsetenv("WDX_SUPERVISED");
  setenv("INVOCATION_ID", "0123abcd", 1);
  if (!pStatus->StartedByManager()) return 84;
  unsetenv("INVOCATION_ID");
  // The notifications reach the socket that systemd would listen on.
  CUniqueFd oSocket(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_un oAddress{};
  oAddress.sun_family = AF_UNIX;
  std::strncpy(oAddress.sun_path, argv[0], sizeof(oAddress.sun_path) - 1);
  if (bind(oSocket.Get(), reinterpret_cast<sockaddr*>(&oAddress), sizeof(oAddress)) != 0) return 85;
  setenv("NOTIFY_SOCKET", argv[0], 1);
  if (!pStatus->StartedByManager()) return 86;
  pStatus->NotifyReady();
  pStatus->NotifyStopping();
  char acMessage[64] = {};
  if (recv(oSocket.Get(), acMessage, sizeof(acMessage) - 1, MSG_DONTWAIT) <= 0) return 87;
  if (std::string(acMessage) != "READY=1") return 88;
  std::memset(acMessage, 0, sizeof(acMessage));
  if (recv(oSocket.Get(), acMessage, sizeof(acMessage) - 1, MSG_DONTWAIT) <= 0) return 89;
  if (std::string(acMessage) != "STOPPING=1") return 90;
  // An abstract socket name is written with a leading "@".
  const std::string sAbstract = "@wdx-notify-" + std::to_string(getpid());
  CUniqueFd oAbstract(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_un oAbstractAddress{};
  oAbstractAddress.sun_family = AF_UNIX;
  std::memcpy(oAbstractAddress.sun_path + 1, sAbstract.c_str() + 1, sAbstract.size() - 1);
  const auto uLength = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + sAbstract.size());
  if (bind(oAbstract.Get(), reinterpret_cast<sockaddr*>(&oAbstractAddress), uLength) != 0)
    return 91;
  setenv("NOTIFY_SOCKET", sAbstract.c_str(), 1);
  pStatus->NotifyReady();
  std::memset(acMessage, 0, sizeof(acMessage));
  if (recv(oAbstract.Get(), acMessage, sizeof(acMessage) - 1, MSG_DONTWAIT) <= 0) return 92;
  return std::string(acMessage) == "READY=1" ? 0 : 93;
}

TEST(ServiceStatusTest, ManagerDetectionAndNotifications) {
  test::CTempFolder oFolder;
  test::CChildProcess oChild("service_status", {oFolder.File("notify.sock")});
  EXPECT_EQ(0, oChild.Wait(10000));
}

// --- Supervisor ---

const char* const kServiceScript = R"SH(#!/bin/sh
dir=$(dirname "$0")
echo "$$ ${WDX_SUPERVISED:-unset}" >> "$dir/runs.txt"
if [ -e "$dir/fail_first" ] && [ "$(wc -l < "$dir/runs.txt")" -eq 1 ]; then exit 3; fi
if [ -e "$dir/always_fail" ]; then exit 5; fi
if [ -e "$dir/exit_clean" ]; then exit 0; fi
trap 'echo "term $$" >> "$dir/runs.txt"; exit 0' TERM
while :; do sleep 0.05; done
)SH";

class SupervisorServiceManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_oFolder.Write("svc.sh", kServiceScript);
    ASSERT_EQ(0, chmod(m_sProgram.c_str(), 0755));
    ASSERT_EQ(0, access(m_sSupervisor.c_str(), X_OK)) << "build the wdxsupervisor target";
    m_pManager = NewManager();
  }
  void TearDown() override {
    if (m_pManager->QueryState() != EServiceState::NOT_INSTALLED) m_pManager->Stop(10000);
  }

  std::unique_ptr<IServiceManager> NewManager() {
    return CreateSupervisorServiceManager(OpenRegistryStoreAt(m_oFolder.File("registry")),
                                          m_sSupervisor);
  }
  // The state is RUNNING once the service process exists; the script logs its start a moment
  // later.
  bool WaitForRuns(size_t iCount, int iMaxMs = 5000) {
    for (int i = 0; i < iMaxMs && Runs().size() < iCount; i += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return Runs().size() == iCount;
  }
  bool WaitForState(EServiceState eState, int iMaxMs = 5000) {
    for (int i = 0; i < iMaxMs; i += 10) {
      if (m_pManager->QueryState() == eState) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return m_pManager->QueryState() == eState;
  }
  static bool WaitUntilDead(int iPid) {
    for (int i = 0; i < 1000 && IsProcessAlive(iPid); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return !IsProcessAlive(iPid);
  }
  std::vector<std::string> Runs() const {
    std::vector<std::string> oLines;
    std::istringstream oText(m_oFolder.Read("runs.txt"));
    for (std::string sLine; std::getline(oText, sLine);) oLines.push_back(sLine);
    return oLines;
  }
  SPidFileContent PidFile() const {
    SPidFileContent oContent;
    ReadPidFile(m_sPidFile, oContent);
    return oContent;
  }

  test::CTempFolder m_oFolder;
  const std::string m_sProgram = m_oFolder.File("svc.sh");
  const std::string m_sPidFile = m_oFolder.File("wdxsvc.pid");
  const std::string m_sSupervisor = std::string(WDX_DIST_DIR) + "/wdxsupervisor";
  std::unique_ptr<IServiceManager> m_pManager;
};

TEST_F(SupervisorServiceManagerTest, InstallStartStopUninstall) {
  EXPECT_EQ(EServiceState::NOT_INSTALLED, m_pManager->QueryState());
  ASSERT_TRUE(m_pManager->Install(m_sProgram)) << m_pManager->GetLastError();
  EXPECT_TRUE(m_pManager->IsInstalled());
  auto pStore = OpenRegistryStoreAt(m_oFolder.File("registry"));
  std::string sValue;
  ASSERT_TRUE(pStore->GetValue(WDX_SERVICE_KEY, "ImagePath", sValue));
  EXPECT_EQ(m_sProgram, sValue);
  ASSERT_TRUE(pStore->GetValue(WDX_SERVICE_KEY, "Start", sValue));
  EXPECT_EQ("2", sValue);
  EXPECT_EQ(EServiceState::STOPPED, m_pManager->QueryState());

  ASSERT_TRUE(m_pManager->Start()) << m_pManager->GetLastError();
  ASSERT_TRUE(WaitForState(EServiceState::RUNNING));
  const SPidFileContent oRunning = PidFile();
  ASSERT_TRUE(WaitForRuns(1));
  EXPECT_EQ(std::to_string(oRunning.m_iServicePid) + " 1", Runs()[0]);  // WDX_SUPERVISED=1
  EXPECT_TRUE(m_pManager->Start());  // already running: nothing new
  EXPECT_EQ(oRunning.m_iSupervisorPid, PidFile().m_iSupervisorPid);

  ASSERT_TRUE(m_pManager->Stop(10000)) << m_pManager->GetLastError();
  EXPECT_EQ(EServiceState::STOPPED, m_pManager->QueryState());
  EXPECT_NE(0, access(m_sPidFile.c_str(), F_OK));
  ASSERT_EQ(2u, Runs().size());
  EXPECT_EQ("term " + std::to_string(oRunning.m_iServicePid), Runs()[1]);
  EXPECT_FALSE(IsProcessAlive(oRunning.m_iServicePid));
  EXPECT_FALSE(IsProcessAlive(oRunning.m_iSupervisorPid));

  ASSERT_TRUE(m_pManager->Uninstall());
  EXPECT_EQ(EServiceState::NOT_INSTALLED, m_pManager->QueryState());
  EXPECT_FALSE(pStore->KeyExists(WDX_SERVICE_KEY));
}

TEST_F(SupervisorServiceManagerTest, CrashedServiceIsRestarted) {
  m_oFolder.Write("fail_first", "");
  ASSERT_TRUE(m_pManager->Install(m_sProgram));
  ASSERT_TRUE(m_pManager->Start());
  ASSERT_TRUE(WaitForRuns(2));
  ASSERT_TRUE(WaitForState(EServiceState::RUNNING));
  std::vector<std::string> oRuns = Runs();
  ASSERT_EQ(2u, oRuns.size());
  EXPECT_NE(oRuns[0], oRuns[1]);
  EXPECT_EQ(std::to_string(PidFile().m_iServicePid) + " 1", oRuns[1]);
}

TEST_F(SupervisorServiceManagerTest, CleanExitIsNotRestarted) {
  m_oFolder.Write("exit_clean", "");
  ASSERT_TRUE(m_pManager->Install(m_sProgram));
  // The service was started; that it ended at once is the supervisor's to judge.
  ASSERT_TRUE(m_pManager->Start()) << m_pManager->GetLastError();
  ASSERT_TRUE(WaitForState(EServiceState::STOPPED));
  EXPECT_EQ(1u, Runs().size());
  for (int i = 0; i < 100 && access(m_sPidFile.c_str(), F_OK) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_NE(0, access(m_sPidFile.c_str(), F_OK));
}

TEST_F(SupervisorServiceManagerTest, StartFailsWhenTheServiceCannotBeStarted) {
  ASSERT_TRUE(m_pManager->Install(m_oFolder.File("missing")));
  EXPECT_FALSE(m_pManager->Start());
  EXPECT_NE(std::string::npos, m_pManager->GetLastError().find("gave up"))
      << m_pManager->GetLastError();
  EXPECT_EQ(EServiceState::STOPPED, m_pManager->QueryState());
  EXPECT_NE(0, access(m_sPidFile.c_str(), F_OK));
}

TEST_F(SupervisorServiceManagerTest, GivesUpAfterFiveRestarts) {
  m_oFolder.Write("always_fail", "");
  int iExitCode = -1;
  // Run by hand, twenty times faster than real time.
  ASSERT_TRUE(RunAndWait(
      {"/usr/bin/env", "WDX_TIME_SCALE=20", m_sSupervisor, m_sPidFile, m_sProgram}, iExitCode));
  EXPECT_EQ(1, iExitCode);
  EXPECT_EQ(6u, Runs().size());  // the first start and five restarts
  EXPECT_NE(0, access(m_sPidFile.c_str(), F_OK));
  // Visible without a system log too.
  EXPECT_NE(std::string::npos, m_oFolder.Read("Supervisor.log")
                                   .find(" Error: the service failed too often; giving up.\r\r\n"));
}

TEST_F(SupervisorServiceManagerTest, SecondSupervisorIsRefused) {
  ASSERT_TRUE(m_pManager->Install(m_sProgram));
  ASSERT_TRUE(m_pManager->Start());
  ASSERT_TRUE(WaitForState(EServiceState::RUNNING));
  ASSERT_TRUE(WaitForRuns(1));
  const std::string sBefore = m_oFolder.Read("wdxsvc.pid");
  int iExitCode = -1;
  ASSERT_TRUE(RunAndWait({m_sSupervisor, m_sPidFile, m_sProgram}, iExitCode));
  EXPECT_EQ(1, iExitCode);
  EXPECT_EQ(sBefore, m_oFolder.Read("wdxsvc.pid"));
  EXPECT_EQ(1u, Runs().size());
  EXPECT_EQ(EServiceState::RUNNING, m_pManager->QueryState());
}

TEST_F(SupervisorServiceManagerTest, UninstallStopsARunningService) {
  ASSERT_TRUE(m_pManager->Install(m_sProgram));
  ASSERT_TRUE(m_pManager->Start());
  ASSERT_TRUE(WaitForState(EServiceState::RUNNING));
  const int iSupervisor = PidFile().m_iSupervisorPid;
  ASSERT_TRUE(m_pManager->Uninstall()) << m_pManager->GetLastError();
  EXPECT_EQ(EServiceState::NOT_INSTALLED, m_pManager->QueryState());
  EXPECT_FALSE(IsProcessAlive(iSupervisor));
  EXPECT_NE(0, access(m_sPidFile.c_str(), F_OK));
}

TEST_F(SupervisorServiceManagerTest, StalePidFileIsNotTakenForARunningService) {
  ASSERT_TRUE(m_pManager->Install(m_sProgram));
  pid_t iDead = fork();
  if (iDead == 0) _exit(0);
  waitpid(iDead, nullptr, 0);
  m_oFolder.Write("wdxsvc.pid", std::to_string(iDead) + "\n0\n");
  EXPECT_EQ(EServiceState::STOPPED, m_pManager->QueryState());
  m_oFolder.Write("wdxsvc.pid", std::to_string(getpid()) + "\n" + std::to_string(getpid()) + "\n");
  EXPECT_EQ(EServiceState::STOPPED, m_pManager->QueryState());  // a live pid, but no supervisor
  ASSERT_TRUE(m_pManager->Start()) << m_pManager->GetLastError();
  EXPECT_TRUE(WaitForState(EServiceState::RUNNING));
}

TEST_F(SupervisorServiceManagerTest, ServiceLeftByAKilledSupervisorIsReplacedOrStopped) {
  ASSERT_TRUE(m_pManager->Install(m_sProgram));
  for (bool bRestart : {true, false}) {
    ASSERT_TRUE(m_pManager->Start()) << m_pManager->GetLastError();
    ASSERT_TRUE(WaitForState(EServiceState::RUNNING));
    const SPidFileContent oBefore = PidFile();
    ASSERT_TRUE(WaitForRuns(bRestart ? 1 : 5));
    ASSERT_EQ(0, kill(oBefore.m_iSupervisorPid, SIGKILL));
    ASSERT_TRUE(WaitUntilDead(oBefore.m_iSupervisorPid));
    EXPECT_EQ(EServiceState::RUNNING, m_pManager->QueryState());  // the service still serves
    const std::string sTerm = "term " + std::to_string(oBefore.m_iServicePid);
    if (bRestart) {
      // A new supervisor stops the old service before it starts its own: never two at once.
      ASSERT_TRUE(m_pManager->Start()) << m_pManager->GetLastError();
      ASSERT_TRUE(WaitForRuns(3));
      EXPECT_EQ(sTerm, Runs()[1]);
      EXPECT_NE(std::string::npos,
                m_oFolder.Read("Supervisor.log").find("runs without its supervisor"));
      ASSERT_TRUE(WaitForState(EServiceState::RUNNING));
      EXPECT_NE(oBefore.m_iServicePid, PidFile().m_iServicePid);
      ASSERT_TRUE(m_pManager->Stop(10000));
      ASSERT_TRUE(WaitForRuns(4));
    } else {
      ASSERT_TRUE(m_pManager->Stop(10000)) << m_pManager->GetLastError();
      EXPECT_EQ(sTerm, Runs().back());
      EXPECT_EQ(EServiceState::STOPPED, m_pManager->QueryState());
    }
    EXPECT_FALSE(IsProcessAlive(oBefore.m_iServicePid));
  }
}

TEST_F(SupervisorServiceManagerTest, EachProgramFolderHasItsOwnService) {
  // Two program folders served by one program, each with its own registry store.
  test::CTempFolder aHomes[2];
  std::unique_ptr<IServiceManager> aManagers[2];
  auto Use = [&](int i) { setenv("WDX_HOME", aHomes[i].Path().c_str(), 1); };
  for (int i = 0; i < 2; ++i) {
    Use(i);
    aManagers[i] = CreateSupervisorServiceManager(OpenRegistryStoreAt(aHomes[i].File("registry")),
                                                  m_sSupervisor);
    ASSERT_TRUE(aManagers[i]->Install(m_sProgram));
    ASSERT_TRUE(aManagers[i]->Start()) << aManagers[i]->GetLastError();
  }
  ASSERT_TRUE(WaitForRuns(2));
  SPidFileContent aPids[2];
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(ReadPidFile(aHomes[i].File("wdxsvc.pid"), aPids[i]));
  EXPECT_NE(aPids[0].m_iServicePid, aPids[1].m_iServicePid);
  EXPECT_NE(0, access(m_sPidFile.c_str(), F_OK));  // nothing beside the program
  Use(1);
  ASSERT_TRUE(aManagers[1]->Uninstall()) << aManagers[1]->GetLastError();
  EXPECT_FALSE(IsProcessAlive(aPids[1].m_iServicePid));
  Use(0);
  EXPECT_EQ(EServiceState::RUNNING, aManagers[0]->QueryState());
  EXPECT_TRUE(IsProcessAlive(aPids[0].m_iServicePid));
  ASSERT_TRUE(aManagers[0]->Stop(10000));
  unsetenv("WDX_HOME");
  for (auto& oHome : aHomes) {
    EXPECT_NE(
        std::string::npos,
        oHome.Read("Supervisor.log").find(" Message: the service stopped with code 0.\r\r\n"));
  }
}

TEST_F(SupervisorServiceManagerTest, NothingWorksBeforeInstall) {
  EXPECT_FALSE(m_pManager->Start());
  EXPECT_EQ("not installed", m_pManager->GetLastError());
  EXPECT_FALSE(m_pManager->Stop(100));
  EXPECT_TRUE(m_pManager->Uninstall());
  EXPECT_FALSE(m_pManager->Install("relative/svc.sh"));
  EXPECT_FALSE(m_pManager->IsInstalled());
}

TEST_F(SupervisorServiceManagerTest, SupervisorWithWrongArgumentsExitsAtOnce) {
  int iExitCode = -1;
  for (const char* szFd : {"abc", "1", "99"}) {  // not a number, a standard stream, not open
    ASSERT_TRUE(RunAndWait({m_sSupervisor, "--ready-fd", szFd, m_sPidFile, m_sProgram}, iExitCode));
    EXPECT_EQ(2, iExitCode) << szFd;
  }
  ASSERT_TRUE(RunAndWait({m_sSupervisor, m_sPidFile}, iExitCode));
  EXPECT_EQ(2, iExitCode);
  ASSERT_TRUE(RunAndWait({m_sSupervisor, "/nonexistent/dir/x.pid", m_sProgram}, iExitCode));
  EXPECT_EQ(1, iExitCode);
  EXPECT_TRUE(Runs().empty());
}

}  // namespace
}  // namespace wdx
