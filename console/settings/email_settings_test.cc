#include "console/settings/email_settings.h"

#include "console/settings/settings_test_fixture.h"
#include "tests/support/smtp_script_server.h"

namespace wdx {
namespace {

using EmailSettingsTest = test::CSettingsDialogTest;

SEmailValues Complete() {
  SEmailValues oValues;
  oValues.m_bEnabled = true;
  oValues.m_sSmtpServer = "mail.test";
  oValues.m_sFrom = "wdx@site.test";
  oValues.m_sSubjectUp = "up";
  oValues.m_sSubjectDown = "down";
  oValues.m_sBodyUp = "it is up";
  oValues.m_sBodyDown = "it is down";
  oValues.m_sUrl = "http://site.test/";
  oValues.m_oRecipients = {"ops@site.test"};
  return oValues;
}

TEST(EmailSettings, ValidationChecksInOrderAndRefusesWithItsMessage) {
  struct SCase {
    const char* szWhat;
    void (*fnChange)(SEmailValues&);
    bool bValid;
    std::vector<std::string> oMessages;
    bool bValidSilently;  // without the dialog the recipients are not checked
  };
  const SCase aoCases[] = {
      {"complete", [](SEmailValues&) {}, true, {}, true},
      {"no recipients",
       [](SEmailValues& o) { o.m_oRecipients = {" "}; },
       false,
       {"Warning: no email recipents are defined."},
       true},
      {"no server",
       [](SEmailValues& o) { o.m_sSmtpServer.clear(); },
       false,
       {"Warning: no SMTP email server is defined."},
       false},
      {"no down body",
       [](SEmailValues& o) { o.m_sBodyDown.clear(); },
       false,
       {"Warning: no email down message body is defined."},
       false},
      {"no up body",
       [](SEmailValues& o) { o.m_sBodyUp.clear(); },
       false,
       {"Warning: no email up message body is defined."},
       false},
      {"no subject",
       [](SEmailValues& o) { o.m_sSubjectUp.clear(); },
       true,
       {"Warning: no email subject line is defined."},
       true},
      {"no subject, no from",
       [](SEmailValues& o) {
         o.m_sSubjectUp.clear();
         o.m_sFrom.clear();
       },
       false,
       {"Warning: no email subject line is defined.",
        "Warning: no email 'from address' is defined."},
       false},
      {"no url",
       [](SEmailValues& o) { o.m_sUrl.clear(); },
       false,
       {"Warning: no 'Email Connect Url' is defined."},
       false},
      {"https url",
       [](SEmailValues& o) { o.m_sUrl = "https://site.test/"; },
       false,
       {"Incorrect EmailUrl format. Use 'http://' header."},
       false},
      {"upper case url", [](SEmailValues& o) { o.m_sUrl = "HTTP://site.test/"; }, true, {}, true},
  };
  for (const SCase& oCase : aoCases) {
    test::CLogCapture oLog;
    SEmailValues oValues = Complete();
    oCase.fnChange(oValues);
    std::vector<std::string> oMessages;
    EXPECT_EQ(CEmailSettings::ValidateSettings(oValues, true, &oMessages), oCase.bValid)
        << oCase.szWhat;
    EXPECT_EQ(oMessages, oCase.oMessages) << oCase.szWhat;
    EXPECT_EQ(oLog.CountErrors("CEmailSettings::ValidateSettings() failed."), oCase.bValid ? 0 : 1)
        << oCase.szWhat;
    std::vector<std::string> oSilent;
    EXPECT_EQ(CEmailSettings::ValidateSettings(oValues, false, &oSilent), oCase.bValidSilently)
        << oCase.szWhat;
    EXPECT_TRUE(oSilent.empty()) << oCase.szWhat;
  }
}

TEST_F(EmailSettingsTest, OkSavesInItsKeyOrderEvenWhenTheCheckFails) {
  WriteFile({"[KEYS]", "AdminId=ops", "[EMAILS]", "old@site.test", "[URLS]", "http://a/"});
  CEmailSettings oDialog(Folder());
  ASSERT_TRUE(oDialog.Open());
  EXPECT_EQ(oDialog.GetValues().m_oRecipients, std::vector<std::string>{"old@site.test"});
  SEmailValues oValues = Complete();
  oValues.m_sBodyDown = "line one\r\nline two\nthree";
  oValues.m_sUrl = "site.test";
  oValues.m_oRecipients = {"a@site.test", "", " b@site.test "};
  const SDialogOutcome oOutcome = oDialog.Ok(oValues);
  EXPECT_FALSE(oOutcome.m_bAccepted);
  EXPECT_TRUE(oOutcome.m_bClosed);
  EXPECT_EQ(oOutcome.m_oMessages,
            std::vector<std::string>{"Incorrect EmailUrl format. Use 'http://' header."});
  EXPECT_EQ(FileLines(), (std::vector<std::string>{
                             "[KEYS]", "AdminId=ops", "SmtpServer=mail.test",
                             "EmailBodyDown=line one line two three", "EmailBodyUp=it is up",
                             "EmailSubject=up", "EmailFrom=wdx@site.test", "EmailUrl=site.test",
                             "EmailSubjectDn=down", "EmailEnabled=T", "[EMAILS]", "a@site.test",
                             "b@site.test", "[URLS]", "http://a/"}));
  EXPECT_FALSE(CEmailSettings::ValidateSettings(Folder()));
  oValues.m_sUrl = "http://site.test/";
  EXPECT_TRUE(oDialog.Ok(oValues).m_bAccepted);
  EXPECT_TRUE(CEmailSettings::ValidateSettings(Folder()));
}

TEST(EmailSettings, TestWaitsForTheServersGreeting) {
  test::CLogCapture oLog;
  test::CSmtpScriptServer oServer;
  const std::string sServer = "127.0.0.1:" + std::to_string(oServer.Port());
  std::string sResult;
  EXPECT_TRUE(CEmailSettings::TestServer(sServer, "", sResult));
  EXPECT_EQ(sResult, "127.0.0.1  OK. Email server found.");
  oServer.m_oReplies["greeting"] = "554 go away\r\n";
  EXPECT_FALSE(CEmailSettings::TestServer(sServer, "none", sResult));
  EXPECT_EQ(sResult, "127.0.0.1  Email failed.");
  EXPECT_FALSE(CEmailSettings::TestServer("", "", sResult));
  EXPECT_EQ(sResult, "  Email failed.");
  EXPECT_TRUE(oLog.HasError("CWsEmail::TestOutput() failed."));
}

}  // namespace
}  // namespace wdx
