// The built-in KILL and the Stop instruction on real processes: by pid and by image name, the
// signal chosen by "/f", and the targets that are never signalled or match nothing.
#include "service/restart/kill_command.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/process.h"
#include "service/restart/instruction.h"
#include "service/restart/warden.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

// A sleeping child whose executable has a name of its own (a copy of sleep).
class KillCommand : public ::testing::Test {
 protected:
  KillCommand() : m_sImage("wdxnap" + std::to_string(getpid())) {
    std::filesystem::copy_file("/bin/sleep", m_oHome.File(m_sImage));
    std::filesystem::permissions(m_oHome.File(m_sImage), std::filesystem::perms::owner_all);
  }
  int StartSleeper() {
    int iPid = 0;
    EXPECT_TRUE(SpawnChild({m_oHome.File(m_sImage), "600"}, iPid));
    return iPid;
  }
  // The exit code of the child (128 + signal); -1 when it did not end within 10 s (it is then
  // ended here, so that no test waits for ever).
  static int EndOf(int iPid) {
    int iExitCode = -1;
    for (int i = 0; i < 1000; ++i) {
      if (ReapChild(iPid, false, iExitCode)) return iExitCode;
      usleep(10'000);
    }
    SignalProcess(iPid, SIGKILL);
    ReapChild(iPid, true, iExitCode);
    return -1;
  }

  test::CLogCapture m_oLog;
  test::CTempFolder m_oHome;
  std::string m_sImage;
};

TEST_F(KillCommand, EndsProcessesByPidAndByImageName) {
  const struct {
    bool m_bByName;
    const char* m_szOption;
    int m_iExitCode;
  } aCases[] = {{false, "", 128 + SIGTERM},
                {false, "/F", 128 + SIGKILL},
                {true, "/f", 128 + SIGKILL},
                {true, "", 128 + SIGTERM}};
  for (const auto& oCase : aCases) {
    const int iPid = StartSleeper();
    const int iOther = StartSleeper();
    std::vector<std::string> oWords = {"kill"};
    if (*oCase.m_szOption != '\0') oWords.push_back(oCase.m_szOption);
    oWords.push_back(oCase.m_bByName ? m_sImage : std::to_string(iPid));
    ASSERT_TRUE(IsKillCommand(oWords));
    EXPECT_TRUE(RunKillCommand(oWords));
    EXPECT_EQ(EndOf(iPid), oCase.m_iExitCode);
    if (oCase.m_bByName) {
      EXPECT_EQ(EndOf(iOther), oCase.m_iExitCode);  // every process of that image
    } else {
      EXPECT_TRUE(IsProcessAlive(iOther));
      SignalProcess(iOther, SIGKILL);
      EndOf(iOther);
    }
  }
  EXPECT_FALSE(IsKillCommand({"killall", "x"}));
}

TEST_F(KillCommand, RefusesProtectedTargetsAndReportsNoMatch) {
  const struct {
    std::string m_sTarget;
    std::string m_sError;
  } aCases[] = {
      {"0", "KILL refuses to signal process 0."},
      {"1", "KILL refuses to signal process 1."},
      {std::to_string(getpid()),
       "KILL refuses to signal process " + std::to_string(getpid()) + "."},
      {"wdx_no_such_image", "KILL finds no process named wdx_no_such_image."},
      {"99999999", "KILL finds no process 99999999."},
  };
  for (const auto& oCase : aCases) {
    SCOPED_TRACE(oCase.m_sTarget);
    EXPECT_FALSE(RunKillCommand({"KILL", "/f", oCase.m_sTarget}));
    EXPECT_TRUE(m_oLog.HasError(oCase.m_sError));
  }
  EXPECT_FALSE(RunKillCommand({"KILL", "/f"}));
  EXPECT_TRUE(m_oLog.HasError("KILL is given no process to end."));
  // This process's own image is never matched.
  const std::string sSelf = std::filesystem::read_symlink("/proc/self/exe").filename();
  for (int iPid : FindProcessesByImage(sSelf)) EXPECT_NE(iPid, getpid());
}

TEST_F(KillCommand, AnotherUsersProcessIsNotSignalled) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const int iPid = StartSleeper();
  const pid_t iChild = fork();
  if (iChild == 0) {
    // As nobody, the sleeper of root cannot be signalled.
    _exit(setuid(65534) == 0 && !RunKillCommand({"KILL", std::to_string(iPid)}) ? 0 : 1);
  }
  int iStatus = 0;
  ASSERT_EQ(waitpid(iChild, &iStatus, 0), iChild);
  EXPECT_TRUE(WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0);
  EXPECT_TRUE(IsProcessAlive(iPid));
  SignalProcess(iPid, SIGKILL);
  EndOf(iPid);
}

TEST_F(KillCommand, StopInstructionKillsTheImage) {
  const int iPid = StartSleeper();
  CWarden oWarden;
  oWarden.m_sBaseDirectory = m_oHome.Path();
  // Two targets: the one that matches nothing is reported, the other still ends.
  m_oHome.Write("Wardenix.ini", "Stop=99999999 " + m_sImage + "\nStop=InternetExplorer\n");
  ASSERT_TRUE(oWarden.SetProgramFile(m_oHome.File("Wardenix.ini")) && oWarden.LoadFromIniFile());
  oWarden.SetCurrentInstruction(0);
  EXPECT_TRUE(oWarden.PerformInstruction());
  EXPECT_EQ(EndOf(iPid), 128 + SIGKILL);
  EXPECT_TRUE(m_oLog.HasError("KILL finds no process 99999999."));
  oWarden.m_sBrowserPath = m_oHome.File(m_sImage);  // the browser is the sleeper's image
  const int iBrowser = StartSleeper();
  oWarden.SetCurrentInstruction(1);
  EXPECT_TRUE(oWarden.PerformInstruction());  // never fails, whatever KILL found
  EXPECT_EQ(EndOf(iBrowser), 128 + SIGKILL);
  EXPECT_NE(m_oLog.Text().find("Task:: Stop : InternetExplorer"), std::string::npos);
}

}  // namespace
}  // namespace wdx
