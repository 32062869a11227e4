// The settings dialogs of the web console in Debian's chromium, against the real console and
// service: every dialog is edited and saved, and AutoSet.caf is read back through the settings
// store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/settings_editor.h"
#include "platform/computer_name.h"
#include "tests/support/console_fixture.h"
#include "tests/support/smtp_script_server.h"
#include "tests/support/temp_folder.h"

namespace wdx::test {
namespace {

TEST(ConsoleSettingsWeb, EveryDialogEditsAutoSetAndRefusesWithItsTexts) {
  CConsoleFixture oConsole;
  CSmtpScriptServer oSmtp;
  oConsole.Service().Folder().Write("watched app.sh", "#!/bin/sh\n");
  oConsole.Service().Folder().Write("starter.sh", "#!/bin/sh\n");
  ASSERT_TRUE(oConsole.Start()) << oConsole.FirstLine();
  const SRunResult oRun =
      oConsole.RunBrowser("console_settings.js", {std::to_string(oSmtp.Port())});
  EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sOut << oRun.m_sErr;
  for (const char* szShot : {"settings-hub", "settings-required", "settings-urls", "settings-rurls",
                             "settings-programs", "settings-file-pick", "settings-phone",
                             "settings-options", "settings-email", "settings-audit"}) {
    EXPECT_GT(ReadWholeFile(CConsoleFixture::OutputFolder() + szShot + ".png").size(), 1000u)
        << szShot;
  }
  EXPECT_EQ(oConsole.Stop(), 0);

  CSettingsEditor oFile(oConsole.Home());
  ASSERT_TRUE(oFile.Load()) << oFile.GetLastError();
  const std::string sMachine = GetComputerName();
  const std::pair<const char*, std::string> aoKeys[] = {
      {"AdminId", "ops"},
      {"Password", "pw1"},
      {"MachineName", sMachine},
      {"RestartsB4Reboot", "3"},
      {"RstrSecs", "15"},
      {"MsgDown", "The server is down."},
      {"PName1", "Ann"},
      {"PNum1", "sim:ann"},
      {"PE1", "T"},
      {"PName2", "Bob"},
      {"PE2", "F"},
      {"UseIni", "T"},
      {"WATCH", "F"},
      {"GOS", "F"},
      {"EmailEnabled", "T"},
      {"EmailBodyDown", "It is down."},
      {"EmailUrl", "site.test/"},
      {"SmtpServer", "127.0.0.1:" + std::to_string(oSmtp.Port())}};
  for (const auto& [szKey, sValue] : aoKeys) EXPECT_EQ(oFile.GetKey(szKey), sValue) << szKey;
  for (const std::string& sLine : oFile.ExportLines()) {
    EXPECT_NE(sLine.rfind("DomainName", 0), 0u) << "the line deleted in the audit is back";
  }
  using Lines = std::vector<std::string>;
  EXPECT_EQ(oFile.GetSectionLines("URLS"),
            (Lines{"http://www.site.test/a", "http://files.site.test/b"}));
  EXPECT_EQ(oFile.GetSectionLines("RURLS"), Lines{"http://remote.test/"});
  EXPECT_EQ(oFile.GetSectionLines("STOPS"), Lines{oConsole.Home() + "watched app.sh"});
  EXPECT_EQ(oFile.GetSectionLines("PROGS"), Lines{oConsole.Home() + "starter.sh"});
  EXPECT_EQ(oFile.GetSectionLines("EMAILS"), Lines{"ops@site.test"});
  const std::string sLog = oConsole.Service().Folder().Read("Wardenix.log");
  EXPECT_NE(sLog.find("CSetRequireds::SaveSettings() set SvrStatus= Up"), std::string::npos);
  EXPECT_NE(sLog.find("CEmailSettings::ValidateSettings() failed."), std::string::npos);
}

}  // namespace
}  // namespace wdx::test
