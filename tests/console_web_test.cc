// The web console as an operator starts it: `wardenix console` in a program folder, its token
// file, its port, and its doors tried from Debian's chromium and from plain HTTP requests.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/support/console_fixture.h"
#include "tests/support/temp_folder.h"

namespace wdx::test {
namespace {

TEST(ConsoleWeb, LoginSessionAndRefusalsInTheBrowser) {
  CConsoleFixture oConsole;
  ASSERT_TRUE(oConsole.Start()) << oConsole.FirstLine();
  EXPECT_EQ(oConsole.Url(), oConsole.BaseUrl() + "?token=" + oConsole.Token());
  struct stat oStat = {};
  ASSERT_EQ(stat(oConsole.Service().Folder().File("WebConsole.token").c_str(), &oStat), 0);
  EXPECT_EQ(oStat.st_mode & 07777, 0600u);
  EXPECT_EQ(oConsole.Service().Folder().Read("WebConsole.token"), oConsole.Token() + "\n");

  const SRunResult oRun = oConsole.RunBrowser("console_web.js");
  EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sOut << oRun.m_sErr;
  EXPECT_GT(ReadWholeFile(CConsoleFixture::OutputFolder() + "console.png").size(), 1000u);
  EXPECT_EQ(oConsole.Stop(), 0);
  const std::string sLog = oConsole.Service().Folder().Read("Wardenix.log");
  EXPECT_NE(sLog.find("a console session was opened."), std::string::npos) << sLog;
  EXPECT_NE(sLog.find("refused a login with a wrong token."), std::string::npos) << sLog;
  EXPECT_NE(sLog.find("wardenix console ended."), std::string::npos) << sLog;
}

TEST(ConsoleWeb, TokenKeptAcrossStartsAndABusyPortIsAClearError) {
  CConsoleFixture oConsole;
  ASSERT_TRUE(oConsole.Start()) << oConsole.FirstLine();
  const std::string sPort = std::to_string(oConsole.Port());
  // A second console in the same folder on the busy port is refused, not moved elsewhere.
  const SRunResult oBusy =
      oConsole.Service().RunConsole({"console", "--no-browser", "--port", sPort});
  EXPECT_EQ(oBusy.m_iExitCode, 1);
  EXPECT_EQ(oBusy.m_sOut, "");
  EXPECT_NE(oBusy.m_sErr.find("cannot listen on 127.0.0.1:" + sPort), std::string::npos)
      << oBusy.m_sErr;
  EXPECT_NE(oBusy.m_sErr.find("--port N"), std::string::npos) << oBusy.m_sErr;
  const std::string sToken = oConsole.Token();
  EXPECT_EQ(oConsole.Stop(), 0);
  ASSERT_TRUE(oConsole.Start());
  EXPECT_EQ(oConsole.Token(), sToken);
  EXPECT_EQ(oConsole.Stop(), 0);
}

TEST(ConsoleWeb, BadArgumentsAndAReadableTokenFileAreRefused) {
  CServiceFixture oFolder;
  for (const auto& oArgs : std::vector<std::vector<std::string>>{{"console", "--port"},
                                                                 {"console", "--port", "x"},
                                                                 {"console", "--port", "70000"},
                                                                 {"console", "--browser"}}) {
    const SRunResult oRun = oFolder.RunConsole(oArgs);
    EXPECT_EQ(oRun.m_iExitCode, 2) << oArgs.back();
    EXPECT_NE(oRun.m_sErr.find("usage: wardenix console [--port N] [--no-browser]"),
              std::string::npos);
  }
  const std::string sToken(64, 'a');
  oFolder.Folder().Write("WebConsole.token", sToken + "\n");
  chmod(oFolder.Folder().File("WebConsole.token").c_str(), 0644);
  const SRunResult oRun = oFolder.RunConsole({"console", "--no-browser", "--port", "0"});
  EXPECT_EQ(oRun.m_iExitCode, 1);
  EXPECT_EQ(oRun.m_sOut, "");
  EXPECT_NE(oRun.m_sErr.find("can be read by others (mode 0644)"), std::string::npos)
      << oRun.m_sErr;
  EXPECT_EQ(oFolder.Folder().Read("WebConsole.token"), sToken + "\n");  // left as it was
}

}  // namespace
}  // namespace wdx::test
