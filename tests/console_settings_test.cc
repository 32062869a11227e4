// The real wardenix console editing AutoSet.caf, and the service reading what it wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

namespace wdx::test {
namespace {

TEST(ConsoleSettings, SetGetListAddRemoveRoundTrip) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunConsole({"settings", "set", "MinuteInterval", "3"}).m_iExitCode, 0);
  ASSERT_EQ(oFixture.RunConsole({"settings", "set", "Password", "s3cret"}).m_iExitCode, 0);
  ASSERT_EQ(oFixture.RunConsole({"settings", "add", "URLS", "http://127.0.0.1/a"}).m_iExitCode, 0);
  ASSERT_EQ(oFixture.RunConsole({"settings", "add", "URLS", "http://127.0.0.1/b"}).m_iExitCode, 0);
  EXPECT_EQ(oFixture.RunConsole({"settings", "get", "minuteinterval"}).m_sOut, "3\n");

  const SRunResult oList = oFixture.RunConsole({"settings", "list"});
  EXPECT_NE(oList.m_sOut.find("MinuteInterval=3\n"), std::string::npos);
  EXPECT_NE(oList.m_sOut.find("Password=********\n"), std::string::npos);
  EXPECT_EQ(oList.m_sOut.find("s3cret"), std::string::npos);

  ASSERT_EQ(oFixture.RunConsole({"settings", "remove", "URLS", "http://127.0.0.1/a"}).m_iExitCode,
            0);
  EXPECT_EQ(oFixture.RunConsole({"settings", "export"}).m_sOut,
            "[KEYS]\nMinuteInterval=3\nPassword=s3cret\n[URLS]\nhttp://127.0.0.1/b\n");
  // The file on disk is scrambled and private.
  const std::string sRaw = oFixture.Folder().Read("AutoSet.caf");
  EXPECT_EQ(sRaw.find("MinuteInterval"), std::string::npos);
  struct stat oInfo = {};
  ASSERT_EQ(stat(oFixture.Folder().File("AutoSet.caf").c_str(), &oInfo), 0);
  EXPECT_EQ(oInfo.st_mode & 0777, 0600u);
}

TEST(ConsoleSettings, RefusedChangesLeaveTheFileAsItWas) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunConsole({"settings", "set", "AdminId", "ops"}).m_iExitCode, 0);
  const std::string sBefore = oFixture.Folder().Read("AutoSet.caf");
  const SRunResult oBracket = oFixture.RunConsole({"settings", "add", "URLS", "http://x/[1]"});
  EXPECT_EQ(oBracket.m_iExitCode, 1);
  EXPECT_NE(oBracket.m_sErr.find("\"[\""), std::string::npos) << oBracket.m_sErr;
  EXPECT_EQ(oFixture.RunConsole({"settings", "set", "MsgUp", std::string(300, 'x')}).m_iExitCode,
            1);
  EXPECT_EQ(oFixture.RunConsole({"settings", "set", "MsgUp", "caf\xc3\xa9"}).m_iExitCode, 1);
  EXPECT_EQ(oFixture.RunConsole({"settings", "remove", "PROGS", "nothing"}).m_iExitCode, 1);
  EXPECT_EQ(oFixture.RunConsole({"settings", "frobnicate"}).m_iExitCode, 2);
  EXPECT_EQ(oFixture.Folder().Read("AutoSet.caf"), sBefore);
}

TEST(ConsoleSettings, ImportReplacesEverythingAndRejectsBadFilesWhole) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunConsole({"settings", "set", "AdminId", "ops"}).m_iExitCode, 0);
  oFixture.Folder().Write("good.txt",
                          "[KEYS]\r\nMachineName=SRV1\r\n\r\n[PROGS]\r\n/usr/bin/app\r\n");
  ASSERT_EQ(
      oFixture.RunConsole({"settings", "import", oFixture.Folder().File("good.txt")}).m_iExitCode,
      0);
  EXPECT_EQ(oFixture.RunConsole({"settings", "export"}).m_sOut,
            "[KEYS]\nMachineName=SRV1\n[PROGS]\n/usr/bin/app\n");

  const std::string sBefore = oFixture.Folder().Read("AutoSet.caf");
  oFixture.Folder().Write("bad.txt", "[KEYS]\nAdminId=x\n" + std::string(10000, 'y') + "\n");
  const SRunResult oBad =
      oFixture.RunConsole({"settings", "import", oFixture.Folder().File("bad.txt")});
  EXPECT_EQ(oBad.m_iExitCode, 1);
  EXPECT_NE(oBad.m_sErr.find("Line 3"), std::string::npos) << oBad.m_sErr;
  EXPECT_EQ(oFixture.Folder().Read("AutoSet.caf"), sBefore);
}

TEST(ConsoleSettings, TheServiceLoadsWhatTheConsoleWrote) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunConsole({"settings", "set", "SvrStatus", "Rebooting"}).m_iExitCode, 0);
  ASSERT_EQ(oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  ASSERT_TRUE(oFixture.StartServiceProcess());
  EXPECT_EQ(oFixture.RunConsole({"command", "999"}).m_sOut, "-1\n");
  EXPECT_NE(oFixture.LogText().find("CSetRequireds::LoadIfNexessary() SvrState=1002"),
            std::string::npos);
}

}  // namespace
}  // namespace wdx::test
