// The restart program in GO mode on the real wdxsvc: a worker writes its signal file, the
// DETECT section of Wardenix.ini watches it; when the worker stops updating the cycle fails,
// the RESTARTER section kills the worker by its image name and starts it again, and a later
// cycle passes.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "foundation/ram_file.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

extern char** environ;

namespace wdx::test {
namespace {

// Waits up to 60 s for the condition.
bool WaitFor(const std::function<bool()>& fnDone) {
  for (int i = 0; i < 6000; ++i) {
    if (fnDone()) return true;
    usleep(10'000);
  }
  return false;
}

class RestartProgramGo : public ::testing::Test {
 protected:
  // One minute of service time is 1 s here; the worker writes every 50 ms.
  RestartProgramGo() : m_oFixture(60), m_sApp(m_oFixture.Home() + "app/") {
    std::filesystem::create_directory(m_sApp);
    m_sImage = "wdxworker" + std::to_string(getpid());
    m_sWorker = m_sApp + m_sImage;
    std::filesystem::copy_file("/bin/sh", m_sWorker);
    std::filesystem::permissions(m_sWorker, std::filesystem::perms::owner_all);
    // Updates the signal file until the stop flag appears, then idles without updating (in the
    // same process, so that its image name stays).
    m_oFixture.Folder().Write("app/worker.sh",
                              "cd " + m_sApp +
                                  "\nwhile [ ! -f stopflag ]; do\n"
                                  "  echo \"$$ $(date +%s%N)\" > alive.txt\n  sleep 0.05\ndone\n"
                                  "while :; do sleep 1; done\n");
  }
  ~RestartProgramGo() override {
    if (m_iFirstWorker > 0) {
      kill(m_iFirstWorker, SIGKILL);
      waitpid(m_iFirstWorker, nullptr, 0);
    }
    // The worker the service started again runs detached: end it by the pid it wrote.
    const std::string sAlive = m_oFixture.Folder().Read("app/alive.txt");
    const int iPid = std::atoi(sAlive.c_str());
    if (iPid > 1 && iPid != m_iFirstWorker) kill(iPid, SIGKILL);
  }

  void WriteSettings() {
    CRamFile oFile;
    oFile.Initialize(m_oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox({"[KEYS]", "AdminId=operator", "Password=pw",
                                            "MachineName=test-host", "MinuteInterval=1", "UseIni=1",
                                            "RstrSecs=1", "RestartsB4Reboot=0"}));
    ASSERT_TRUE(oFile.SaveToFile());
  }

  CServiceFixture m_oFixture;
  std::string m_sApp;
  std::string m_sImage;  // the worker's image name, of this test run only
  std::string m_sWorker;
  pid_t m_iFirstWorker = -1;
};

TEST_F(RestartProgramGo, StalledWorkerFailsDetectAndTheRestarterBringsItBack) {
  m_oFixture.Folder().Write("Wardenix.ini", "MaxWait=30\nBegin=Detection\nDetect=" + m_sApp +
                                                "alive.txt\nEnd=Detection\n"
                                                "Begin=RESTARTER\nStop=" +
                                                m_sImage + "\nDeleteSignalFile=" + m_sApp +
                                                "stopflag\n"
                                                "Start=" +
                                                m_sWorker + " " + m_sApp +
                                                "worker.sh\nWaitForFile=" + m_sApp +
                                                "alive.txt\n"
                                                "End=RESTARTER\n");
  std::string sArg0 = m_sWorker;
  std::string sScript = m_sApp + "worker.sh";
  char* aArgs[] = {sArg0.data(), sScript.data(), nullptr};
  ASSERT_EQ(posix_spawn(&m_iFirstWorker, m_sWorker.c_str(), nullptr, nullptr, aArgs, environ), 0);
  ASSERT_TRUE(WaitFor([&] { return !m_oFixture.Folder().Read("app/alive.txt").empty(); }));
  WriteSettings();
  ASSERT_EQ(m_oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  ASSERT_TRUE(m_oFixture.StartServiceProcess());
  std::unique_ptr<CWdxSvrClient> pClient = m_oFixture.Connect();
  ASSERT_NE(pClient, nullptr);
  int iResult = 0;
  ASSERT_TRUE(pClient->OpsCommand(WDX_GO, iResult));
  ASSERT_EQ(iResult, WDX_TRUE) << m_oFixture.LogText();

  const char* const kPass = "Detects Local NORMAL. System is running.";
  ASSERT_TRUE(WaitFor([&] { return m_oFixture.CountInLog(kPass) >= 2; })) << m_oFixture.LogText();
  m_oFixture.Folder().Write("app/stopflag", "");
  const char* const kNegative = "Activity Detect is NEGATIVE for ";
  ASSERT_TRUE(WaitFor([&] { return m_oFixture.CountInLog(kNegative) >= 1; }))
      << m_oFixture.LogText();
  // The first worker was killed by its image name, by SIGKILL.
  int iStatus = 0;
  ASSERT_TRUE(WaitFor([&] { return waitpid(m_iFirstWorker, &iStatus, WNOHANG) == m_iFirstWorker; }))
      << m_oFixture.LogText();
  EXPECT_TRUE(WIFSIGNALED(iStatus) && WTERMSIG(iStatus) == SIGKILL) << iStatus;
  m_iFirstWorker = -1;
  // A cycle after the restart passes again.
  ASSERT_TRUE(WaitFor([&] {
    const std::string sLog = m_oFixture.LogText();
    const size_t uFailed = sLog.rfind(kNegative);
    const size_t uRestarted = sLog.find("|||------------End RESTARTER Operations", uFailed);
    return uRestarted != std::string::npos && sLog.find(kPass, uRestarted) != std::string::npos;
  })) << m_oFixture.LogText();
  EXPECT_EQ(m_oFixture.CountInLog("CWarden::LoadFromIniFile() failed"), 0);
  EXPECT_GE(m_oFixture.CountInLog("Task:: Start : "), 1);
  ASSERT_TRUE(pClient->OpsCommand(WDX_STOP, iResult));
}

}  // namespace
}  // namespace wdx::test
