// The activity test of GO mode on the real wdxsvc with the real Perfwatch component: a watched
// program doing steady I/O passes the cycle; once it is stopped (SIGSTOP) the cycle fails with
// "Failure in " + its image name and its program item goes DN in UpTime.log.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/ram_file.h"
#include "platform/component.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

extern char** environ;

namespace wdx::test {
namespace {

const char* const kImage = "busyloop";

// A copy of the system shell, named kImage, running an endless echo loop into /dev/null. It
// pauses between writes, as real programs do, so that it also shows context switches.
class CBusyLoop final {
 public:
  explicit CBusyLoop(const CTempFolder& oFolder) : m_sProgram(oFolder.File(kImage)) {
    std::filesystem::copy_file("/bin/sh", m_sProgram);
    std::filesystem::permissions(m_sProgram, std::filesystem::perms::owner_all);
    oFolder.Write("loop.sh", "while :; do echo x; sleep 0.05; done > /dev/null\n");
    std::string sScript = oFolder.File("loop.sh");
    std::string sArg0 = m_sProgram;
    char* aArgs[] = {sArg0.data(), sScript.data(), nullptr};
    if (posix_spawn(&m_iPid, m_sProgram.c_str(), nullptr, nullptr, aArgs, environ) != 0) {
      m_iPid = -1;
    }
  }
  ~CBusyLoop() {
    if (m_iPid <= 0) return;
    kill(m_iPid, SIGKILL);
    kill(m_iPid, SIGCONT);
    waitpid(m_iPid, nullptr, 0);
  }
  CBusyLoop(const CBusyLoop&) = delete;
  CBusyLoop& operator=(const CBusyLoop&) = delete;

  const std::string& Program() const { return m_sProgram; }
  int Pid() const { return m_iPid; }

 private:
  std::string m_sProgram;
  pid_t m_iPid = -1;
};

class ActivityGo : public ::testing::Test {
 protected:
  // One minute of service time is 100 ms here.
  ActivityGo() : m_oFixture(600) {}

  void WriteSettings(const std::vector<std::string>& oLines) {
    CRamFile oFile;
    oFile.Initialize(m_oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox(oLines));
    ASSERT_TRUE(oFile.SaveToFile());
  }

  // Waits up to iSeconds for the condition.
  static bool WaitFor(const std::function<bool()>& fnDone, int iSeconds) {
    for (int i = 0; i < iSeconds * 20; ++i) {
      if (fnDone()) return true;
      usleep(50'000);
    }
    return fnDone();
  }

  std::string Uptime() { return m_oFixture.Folder().Read("UpTime.log"); }

  CServiceFixture m_oFixture;
};

TEST_F(ActivityGo, StoppedProgramFailsTheCycleAndGoesDown) {
  const std::string sLibrary = std::string(WDX_DIST_DIR) + "/Perfwatch.so";
  if (access(sLibrary.c_str(), R_OK) != 0) GTEST_SKIP() << "no " << sLibrary;
  // The fixture points WDX_REGISTRY of this process at the service's registry store.
  ASSERT_EQ(RegisterLibrary(sLibrary, false), S_OK) << GetComponentError();
  CBusyLoop oLoop(m_oFixture.Folder());
  ASSERT_GT(oLoop.Pid(), 0);
  // "Elapsed Time" counts whole seconds: a program younger than the first sample reads 0 and
  // would fail the first test, and the restart would then stop it for good (no [PROGS] here).
  sleep(2);
  WriteSettings({"[KEYS]", "AdminId=operator", "Password=pw", "MachineName=test-host",
                 "MinuteInterval=1", "Sensitivity=0", "WATCH=1", "RstrSecs=1", "RestartsB4Reboot=0",
                 "[STOPS]", oLoop.Program()});
  ASSERT_EQ(m_oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  ASSERT_TRUE(m_oFixture.StartServiceProcess());
  std::unique_ptr<CWdxSvrClient> pClient = m_oFixture.Connect();
  ASSERT_NE(pClient, nullptr);
  int iResult = 0;
  ASSERT_TRUE(pClient->OpsCommand(WDX_GO, iResult));
  ASSERT_EQ(iResult, WDX_TRUE);

  const std::string sUp = "100, " + oLoop.Program() + ", UP\r\r\n";
  ASSERT_TRUE(WaitFor([&] { return Uptime().find(sUp) != std::string::npos; }, 60))
      << m_oFixture.LogText();
  EXPECT_EQ(m_oFixture.CountInLog("CWarden::CreateWatcher failed."), 0);
  EXPECT_GE(m_oFixture.CountInLog("CWarden::XTst 2a."), 1);

  ASSERT_EQ(kill(oLoop.Pid(), SIGSTOP), 0);
  const std::string sFailure = std::string("Failure in ") + kImage;
  ASSERT_TRUE(WaitFor([&] { return m_oFixture.CountInLog(sFailure.c_str()) > 0; }, 60))
      << m_oFixture.LogText();
  const std::string sDown = "100, " + oLoop.Program() + ", DN\r\r\n";
  EXPECT_TRUE(WaitFor([&] { return Uptime().find(sDown) != std::string::npos; }, 10)) << Uptime();
  EXPECT_GE(m_oFixture.CountInLog("CWarden::XTst 2b."), 1);
  EXPECT_EQ(m_oFixture.CountInLog("on the process stack."), 0);
  pClient->OpsCommand(WDX_STOP, iResult);
}

}  // namespace
}  // namespace wdx::test
