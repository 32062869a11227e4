#include "platform/supervisor_pid_file.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

WDX_TEST_CHILD(pid_file_holder) {
  std::this_thread::sleep_for(std::chrono::seconds(20));  // killed by the test
  return 0;
}

int DeadPid() {
  pid_t iChild = fork();
  if (iChild == 0) _exit(0);
  waitpid(iChild, nullptr, 0);
  return iChild;
}

// --- Format ---

TEST(SupervisorPidFileTest, FormatAndParseRoundTrip) {
  SPidFileContent oContent;
  oContent.m_iSupervisorPid = 4321;
  oContent.m_iServicePid = 77;
  EXPECT_EQ("4321\n77\n", FormatPidFile(oContent));
  oContent.m_bStopping = true;
  EXPECT_EQ("4321\n77\nstopping\n", FormatPidFile(oContent));
  SPidFileContent oRead;
  ASSERT_TRUE(ParsePidFile(FormatPidFile(oContent), oRead));
  EXPECT_EQ(4321, oRead.m_iSupervisorPid);
  EXPECT_EQ(77, oRead.m_iServicePid);
  EXPECT_TRUE(oRead.m_bStopping);
  ASSERT_TRUE(ParsePidFile("5\n0\n", oRead));
  EXPECT_EQ(0, oRead.m_iServicePid);
  EXPECT_FALSE(oRead.m_bStopping);
}

TEST(SupervisorPidFileTest, GarbageIsRejected) {
  const char* aBad[] = {"",
                        "\n",
                        "12\n",
                        "12\n5",
                        "0\n5\n",
                        "-3\n5\n",
                        "12\n-1\n",
                        "12 \n5\n",
                        "x\n5\n",
                        "12\n5\nrun\n",
                        "1\n2\nstopping\nmore\n",
                        "99999999999999\n1\n"};
  for (const char* szBad : aBad) {
    SPidFileContent oRead;
    oRead.m_iSupervisorPid = 9;
    EXPECT_FALSE(ParsePidFile(szBad, oRead)) << szBad;
    EXPECT_EQ(0, oRead.m_iSupervisorPid);
  }
  SPidFileContent oRead;
  EXPECT_FALSE(ParsePidFile(std::string("1\0\n2\n", 6), oRead));
}

TEST(SupervisorPidFileTest, ReadRejectsMissingAndOversizedFiles) {
  test::CTempFolder oFolder;
  SPidFileContent oRead;
  EXPECT_FALSE(ReadPidFile(oFolder.File("none.pid"), oRead));
  oFolder.Write("big.pid", "1\n2\n" + std::string(100000, '\n'));
  EXPECT_FALSE(ReadPidFile(oFolder.File("big.pid"), oRead));
}

// --- Ownership ---

TEST(SupervisorPidFileTest, CreateUpdateAndRemoveOnDestruction) {
  test::CTempFolder oFolder;
  const std::string sPath = oFolder.File("wdxsvc.pid");
  {
    CSupervisorPidFile oFile;
    ASSERT_TRUE(oFile.Create(sPath, 1234)) << oFile.GetLastError();
    EXPECT_EQ("1234\n0\n", oFolder.Read("wdxsvc.pid"));
    SPidFileContent oContent;
    oContent.m_iSupervisorPid = 1234;
    oContent.m_iServicePid = 99;
    ASSERT_TRUE(oFile.Update(oContent));
    EXPECT_EQ("1234\n99\n", oFolder.Read("wdxsvc.pid"));
  }
  EXPECT_NE(0, access(sPath.c_str(), F_OK));
}

TEST(SupervisorPidFileTest, LiveSupervisorIsNotReplaced) {
  test::CTempFolder oFolder;
  const std::string sPath = oFolder.File("wdxsvc.pid");
  test::CChildProcess oHolder("pid_file_holder", {sPath});
  bool bExecuted = false;  // the fork becomes the child program a moment later
  for (int i = 0; i < 1000 && !bExecuted; ++i) {
    bExecuted = IsSupervisorOf(oHolder.Pid(), sPath);
    if (!bExecuted) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(bExecuted);
  const std::string sText = std::to_string(oHolder.Pid()) + "\n55\n";
  oFolder.Write("wdxsvc.pid", sText);
  CSupervisorPidFile oFile;
  EXPECT_FALSE(oFile.Create(sPath, getpid()));
  EXPECT_NE(std::string::npos, oFile.GetLastError().find("another supervisor"));
  EXPECT_EQ(sText, oFolder.Read("wdxsvc.pid"));
}

TEST(SupervisorPidFileTest, StaleOrReusedPidIsReplaced) {
  test::CTempFolder oFolder;
  const std::string sPath = oFolder.File("wdxsvc.pid");
  oFolder.Write("wdxsvc.pid", std::to_string(DeadPid()) + "\n0\n");
  {
    CSupervisorPidFile oFile;
    ASSERT_TRUE(oFile.Create(sPath, 4000)) << oFile.GetLastError();
    EXPECT_EQ("4000\n0\n", oFolder.Read("wdxsvc.pid"));
  }
  // A live process that is no supervisor of this file (the pid was reused).
  EXPECT_FALSE(IsSupervisorOf(getppid(), sPath));
  oFolder.Write("wdxsvc.pid", std::to_string(getppid()) + "\n0\n");
  CSupervisorPidFile oFile;
  ASSERT_TRUE(oFile.Create(sPath, 4001)) << oFile.GetLastError();
  EXPECT_EQ("4001\n0\n", oFolder.Read("wdxsvc.pid"));
  // Garbage in the file counts as stale.
  oFile.Remove();
  oFolder.Write("wdxsvc.pid", "\x01\x02garbage");
  ASSERT_TRUE(oFile.Create(sPath, 4002));
  EXPECT_EQ("4002\n0\n", oFolder.Read("wdxsvc.pid"));
}

TEST(SupervisorPidFileTest, UnwritableFolderFailsClearly) {
  CSupervisorPidFile oFile;
  EXPECT_FALSE(oFile.Create("/nonexistent/folder/wdxsvc.pid", 5));
  EXPECT_NE(std::string::npos, oFile.GetLastError().find("/nonexistent/folder/"));
  SPidFileContent oContent;
  EXPECT_FALSE(oFile.Update(oContent));
}

}  // namespace
}  // namespace wdx
