#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "platform/unique_fd.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

template <typename Predicate>
bool WaitUntil(Predicate fnDone, int iMaxMs = 5000) {
  for (int i = 0; i < iMaxMs; i += 5) {
    if (fnDone()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return fnDone();
}

// --- SpawnDetached ---

TEST(ProcessSpawnDetachedTest, ReportsThePidOfTheDetachedProgram) {
  test::CTempFolder oFolder;
  const std::string sOut = oFolder.File("pid.txt");
  int iPid = -1;
  ASSERT_TRUE(SpawnDetached(
      {"/bin/sh", "-c",
       "echo $$ > " + sOut + ".part && mv " + sOut + ".part " + sOut + " && exec sleep 5"},
      iPid));
  ASSERT_GT(iPid, 0);
  ASSERT_TRUE(WaitUntil([&] { return !oFolder.Read("pid.txt").empty(); }));
  EXPECT_EQ(std::to_string(iPid) + "\n", oFolder.Read("pid.txt"));
  EXPECT_TRUE(IsProcessAlive(iPid));
  EXPECT_NE(getsid(0), getsid(iPid));              // its own session
  EXPECT_EQ(-1, waitpid(iPid, nullptr, WNOHANG));  // not our child
  EXPECT_TRUE(SignalProcess(iPid, SIGKILL));
  EXPECT_TRUE(WaitUntil([&] { return !IsProcessAlive(iPid); }));
}

TEST(ProcessSpawnDetachedTest, InheritsOnlyStandardStreamsOnDevNull) {
  test::CTempFolder oFolder;
  // A descriptor without close-on-exec that must not reach the program.
  CUniqueFd oLeak(open(oFolder.File("leak").c_str(), O_CREAT | O_WRONLY, 0600));
  ASSERT_TRUE(oLeak.IsValid());
  const std::string sOut = oFolder.File("fds.txt");
  const std::string sScript =
      "(for f in /proc/$$/fd/*; do echo \"${f##*/} $(readlink $f)\"; done) > " + sOut +
      ".part; mv " + sOut + ".part " + sOut;
  int iPid = -1;
  ASSERT_TRUE(SpawnDetached({"/bin/sh", "-c", sScript}, iPid));
  ASSERT_TRUE(WaitUntil([&] { return !oFolder.Read("fds.txt").empty(); }));
  EXPECT_EQ("0 /dev/null\n1 /dev/null\n2 /dev/null\n", oFolder.Read("fds.txt"));
}

TEST(ProcessSpawnDetachedTest, ExecFailureIsReported) {
  int iPid = 12345;
  EXPECT_FALSE(SpawnDetached({"/nonexistent/program"}, iPid));
  EXPECT_EQ(-1, iPid);
  EXPECT_FALSE(SpawnDetached({}, iPid));
  EXPECT_FALSE(SpawnDetached({""}, iPid));
}

// --- RunAndWait, RunAndCapture ---

TEST(ProcessRunTest, ExitCodesAndSignals) {
  int iExitCode = -5;
  ASSERT_TRUE(RunAndWait({"/bin/sh", "-c", "exit 0"}, iExitCode));
  EXPECT_EQ(0, iExitCode);
  ASSERT_TRUE(RunAndWait({"/bin/sh", "-c", "exit 7"}, iExitCode));
  EXPECT_EQ(7, iExitCode);
  ASSERT_TRUE(RunAndWait({"/bin/sh", "-c", "kill -KILL $$"}, iExitCode));
  EXPECT_EQ(128 + SIGKILL, iExitCode);
  ASSERT_TRUE(RunAndWait({"true"}, iExitCode));  // found on PATH
  EXPECT_EQ(0, iExitCode);
}

TEST(ProcessRunTest, MissingProgramFails) {
  int iExitCode = 0;
  EXPECT_FALSE(RunAndWait({"/nonexistent/program", "x"}, iExitCode));
  EXPECT_EQ(-1, iExitCode);
  EXPECT_FALSE(RunAndWait({}, iExitCode));
}

TEST(ProcessRunTest, CaptureKeepsAtMostTheLimitAndStillWaits) {
  int iExitCode = -1;
  std::string sOutput;
  ASSERT_TRUE(
      RunAndCapture({"/bin/sh", "-c", "printf 'active\\n'; exit 3"}, iExitCode, sOutput, 100));
  EXPECT_EQ("active\n", sOutput);
  EXPECT_EQ(3, iExitCode);
  // Far more output than the limit: read to the end without blocking the program.
  ASSERT_TRUE(RunAndCapture({"/bin/sh", "-c", "head -c 1000000 /dev/zero | tr '\\0' x"}, iExitCode,
                            sOutput, 10));
  EXPECT_EQ("xxxxxxxxxx", sOutput);
  EXPECT_EQ(0, iExitCode);
}

TEST(ProcessRunTest, InputReachesTheProgramAndAReaderThatQuitsIsNoFailure) {
  test::CTempFolder oFolder;
  int iExitCode = -1;
  ASSERT_TRUE(RunWithInput({"/bin/sh", "-c", "cat > \"$0\"; exit 4", oFolder.File("in")},
                           "line 1\nline 2\n", iExitCode));
  EXPECT_EQ(4, iExitCode);
  EXPECT_EQ("line 1\nline 2\n", oFolder.Read("in"));
  // More than a pipe holds, to programs that read a little or nothing: the writer is not
  // killed by SIGPIPE, and none stays pending for it.
  const std::string sBig(4 << 20, 'x');
  ASSERT_TRUE(RunWithInput({"/bin/sh", "-c", "head -c 3 >/dev/null"}, sBig, iExitCode));
  EXPECT_EQ(0, iExitCode);
  ASSERT_TRUE(RunWithInput({"true"}, sBig, iExitCode));
  EXPECT_EQ(0, iExitCode);
  sigset_t oPending;
  sigpending(&oPending);
  EXPECT_FALSE(sigismember(&oPending, SIGPIPE));
  EXPECT_FALSE(RunWithInput({"/nonexistent/program"}, "x", iExitCode));
}

WDX_TEST_CHILD(run_with_blocked_signals) {
  BlockStopSignals();
  int iExitCode = -1;
  // The program must not inherit the blocked stop signals.
  if (!RunAndWait({"/bin/sh", "-c", "kill -TERM $$; exit 0"}, iExitCode)) return 90;
  return iExitCode == 128 + SIGTERM ? 0 : 91;
}

TEST(ProcessRunTest, ProgramStartsWithCleanSignalMask) {
  test::CChildProcess oChild("run_with_blocked_signals", {});
  EXPECT_EQ(0, oChild.Wait(10000));
}

// --- IsProcessAlive, SignalProcess ---

TEST(ProcessAliveTest, ZombieAndGoneProcessesAreNotAlive) {
  EXPECT_TRUE(IsProcessAlive(getpid()));
  EXPECT_FALSE(IsProcessAlive(0));
  EXPECT_FALSE(IsProcessAlive(-1));
  pid_t iChild = fork();
  if (iChild == 0) _exit(0);
  ASSERT_GT(iChild, 0);
  // Not reaped yet: a zombie.
  EXPECT_TRUE(WaitUntil([&] { return !IsProcessAlive(iChild); }));
  EXPECT_EQ(0, kill(iChild, 0));
  int iExitCode = -1;
  EXPECT_TRUE(ReapChild(iChild, true, iExitCode));
  EXPECT_EQ(0, iExitCode);
  EXPECT_FALSE(IsProcessAlive(iChild));
}

TEST(ProcessAliveTest, SignalRefusesProcessGroupsAndMissingProcesses) {
  EXPECT_FALSE(SignalProcess(0, 0));
  EXPECT_FALSE(SignalProcess(-1, 0));
  EXPECT_TRUE(SignalProcess(getpid(), 0));
  pid_t iChild = fork();
  if (iChild == 0) _exit(0);
  waitpid(iChild, nullptr, 0);
  EXPECT_FALSE(SignalProcess(iChild, SIGTERM));
}

TEST(ProcessChildTest, SpawnChildAndReap) {
  int iPid = -1;
  ASSERT_TRUE(SpawnChild({"/bin/sh", "-c", "exit 4"}, iPid));
  int iExitCode = -1;
  ASSERT_TRUE(ReapChild(iPid, true, iExitCode));
  EXPECT_EQ(4, iExitCode);
  ASSERT_TRUE(SpawnChild({"/bin/sh", "-c", "sleep 5"}, iPid));
  EXPECT_FALSE(ReapChild(iPid, false, iExitCode));  // still runs
  SignalProcess(iPid, SIGTERM);
  ASSERT_TRUE(ReapChild(iPid, true, iExitCode));
  EXPECT_EQ(128 + SIGTERM, iExitCode);
}

// --- Stop signals ---

WDX_TEST_CHILD(wait_for_stop_signal) {
  if (argc != 1) return 89;
  BlockStopSignals();
  if (WaitForStopSignal(30) != 0) return 90;  // nothing came
  kill(getpid(), SIGINT);
  if (WaitForStopSignal(1000) != SIGINT) return 91;
  // Tell the parent, then wait for its SIGHUP.
  std::ofstream(argv[0]) << "waiting";
  return WaitForStopSignal(10000) == SIGHUP ? 0 : 92;
}

TEST(ProcessStopSignalTest, WaitForStopSignalReturnsTheSignalOrZero) {
  test::CTempFolder oFolder;
  test::CChildProcess oChild("wait_for_stop_signal", {oFolder.File("ready")});
  ASSERT_TRUE(WaitUntil([&] { return oFolder.Read("ready") == "waiting"; }));
  oChild.Kill(SIGHUP);
  EXPECT_EQ(0, oChild.Wait(10000));
}

}  // namespace
}  // namespace wdx
