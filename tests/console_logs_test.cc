// The log viewers and the About box of the web console in a real browser, against the real
// console and service (tests/browser/console_logs.js).
#include <gtest/gtest.h>

#include <string>

#include "platform/file_system.h"
#include "tests/support/console_fixture.h"

namespace wdx::test {
namespace {

TEST(ConsoleLogs, ViewersPageBackFollowNewLinesAndStartAgainAfterRotation) {
  CConsoleFixture oConsole;
  std::string sPhoneLog;
  for (int i = 1; i <= 450; ++i) sPhoneLog += "phone line " + std::to_string(i) + "\r\r\n";
  sPhoneLog += "<b>not bold</b> M\xFCller\r\r\n";
  oConsole.Service().Folder().Write("PhoneOuts.log", sPhoneLog);
  ASSERT_TRUE(oConsole.Start()) << oConsole.FirstLine();

  const SRunResult oRun =
      oConsole.RunBrowser("console_logs.js", {CServiceFixture::ConsoleProgram()});
  EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sOut << oRun.m_sErr;
  for (const char* szShot : {"log-phone", "log-console", "about"}) {
    EXPECT_TRUE(GetFileSystem().FileExists(CConsoleFixture::OutputFolder() + szShot + ".png"))
        << szShot;
  }
  // Nothing the viewers read was changed by them.
  EXPECT_EQ(oConsole.Service().Folder().Read("PhoneOuts.old"), sPhoneLog);
}

}  // namespace
}  // namespace wdx::test
