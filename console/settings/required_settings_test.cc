#include "console/settings/required_settings.h"

#include "console/settings/settings_test_fixture.h"

namespace wdx {
namespace {

class SetRequiredsTest : public test::CSettingsDialogTest {
 protected:
  SRequiredValues Typed() {
    SRequiredValues oValues;
    oValues.m_sAdminId = "ops";
    oValues.m_sPassword = "pw";
    oValues.m_sDomainName = "corp";
    oValues.m_sMachineName = "SRV1";
    oValues.m_sRestartsB4Reboot = "2";
    oValues.m_sRstrSecs = "60";
    return oValues;
  }
};

TEST_F(SetRequiredsTest, OpenShowsTheKeysWithTheirDefaults) {
  struct SCase {
    std::vector<std::string> oFile;
    const char* szRestarts;
    const char* szRstrSecs;
  };
  for (const SCase& oCase : {SCase{{"[KEYS]", "MinuteInterval=10"}, "0", "300"},
                             SCase{{"[KEYS]", "MinuteInterval=1", "RestartsB4Reboot=3"}, "3", "30"},
                             SCase{{"[KEYS]"}, "0", "300"},  // no MinuteInterval: 10 minutes
                             SCase{{"[KEYS]", "RstrSecs=45", "AdminId=a=b"}, "0", "45"}}) {
    WriteFile(oCase.oFile);
    CSetRequireds oDialog(Folder());
    ASSERT_TRUE(oDialog.Open());
    EXPECT_EQ(oDialog.GetValues().m_sRestartsB4Reboot, oCase.szRestarts);
    EXPECT_EQ(oDialog.GetValues().m_sRstrSecs, oCase.szRstrSecs) << oCase.oFile.back();
  }
  CSetRequireds oLast(Folder());
  ASSERT_TRUE(oLast.Open());
  EXPECT_EQ(oLast.GetValues().m_sAdminId, "a=b");  // everything after the first "="
  WriteFile({"[KEYS]", "SvrStatus=rebooting"});
  CSetRequireds oDialog(Folder());
  ASSERT_TRUE(oDialog.Open());
  EXPECT_EQ(oDialog.GetServerState(), 1002);
  EXPECT_EQ(oDialog.GetSensitivity(), 10);  // this loader's default
}

TEST_F(SetRequiredsTest, OkWritesItsKeysAndKeepsEverythingElse) {
  WriteFile(
      {"[KEYS]", "SvrStatus=Restarting", "LogEvents=1", "SmtpServer=mail", "[URLS]", "http://a/"});
  CSetRequireds oDialog(Folder());
  ASSERT_TRUE(oDialog.Open());
  SRequiredValues oTyped = Typed();
  oTyped.m_sMachineName = ".SRV1";
  oTyped.m_sRstrSecs = "5";
  const SDialogOutcome oOutcome = oDialog.Ok(oTyped, "pw", "");
  EXPECT_TRUE(oOutcome.m_bAccepted);
  EXPECT_TRUE(oOutcome.m_bClosed);
  EXPECT_TRUE(oOutcome.m_oMessages.empty());
  EXPECT_EQ(FileLines(),
            (std::vector<std::string>{"[KEYS]", "SvrStatus=Restarting", "LogEvents=T",
                                      "SmtpServer=mail", "AdminId=ops", "Password=pw",
                                      "DomainName=corp", "MachineName=SRV1", "RestartsB4Reboot=2",
                                      "RstrSecs=15", "UseIni=F", "[URLS]", "http://a/"}));
  EXPECT_NE(m_oLog.Text().find("CSetRequireds::SaveSettings() set SvrStatus= Restarting"),
            std::string::npos);
  // The computer's own name replaces what was shown whenever it can be read.
  ASSERT_TRUE(oDialog.Ok(Typed(), "pw", "host7").m_bAccepted);
  EXPECT_EQ(Key("MachineName"), "host7");
}

TEST_F(SetRequiredsTest, OkWorksOnTheFileAsItIsNowNotAsOpened) {
  WriteFile({"[KEYS]", "AdminId=old"});
  CSetRequireds oDialog(Folder());
  ASSERT_TRUE(oDialog.Open());
  // Meanwhile another console adds a URL and the service records a restart.
  WriteFile({"[KEYS]", "AdminId=old", "SvrStatus=Restarting", "[URLS]", "http://new/"});
  ASSERT_TRUE(oDialog.Ok(Typed(), "pw", "").m_bAccepted);
  EXPECT_EQ(Section("URLS"), std::vector<std::string>{"http://new/"});
  EXPECT_EQ(Key("SvrStatus"), "Restarting");
  EXPECT_EQ(Key("AdminId"), "ops");
}

TEST_F(SetRequiredsTest, APasswordMismatchClosesWithoutSaving) {
  WriteFile({"[KEYS]", "AdminId=old"});
  CSetRequireds oDialog(Folder());
  ASSERT_TRUE(oDialog.Open());
  const SDialogOutcome oOutcome = oDialog.Ok(Typed(), "other", "");
  EXPECT_FALSE(oOutcome.m_bAccepted);
  EXPECT_TRUE(oOutcome.m_bClosed);
  EXPECT_EQ(oOutcome.m_oMessages,
            std::vector<std::string>{"Password does not confirm.\r Please retype paswords"});
  EXPECT_EQ(FileLines(), (std::vector<std::string>{"[KEYS]", "AdminId=old"}));
}

TEST_F(SetRequiredsTest, BadNumbersAndLinesAreRefusedWithTheFileUnchanged) {
  WriteFile({"[KEYS]", "AdminId=old"});
  struct SCase {
    const char* szRestarts;
    const char* szAdmin;
    bool bMessage;  // a message box (the dialog stays) rather than an error
  };
  for (const SCase& oCase : {SCase{"two", "ops", true}, SCase{"101", "ops", true},
                             SCase{"2", "o[ps\x01", false}, SCase{"2", "\xc3\xa9", false}}) {
    CSetRequireds oDialog(Folder());
    oDialog.Open();
    SRequiredValues oTyped = Typed();
    oTyped.m_sRestartsB4Reboot = oCase.szRestarts;
    oTyped.m_sAdminId = oCase.szAdmin;
    const SDialogOutcome oOutcome = oDialog.Ok(oTyped, "pw", "");
    EXPECT_FALSE(oOutcome.m_bAccepted) << oCase.szRestarts;
    EXPECT_FALSE(oOutcome.m_bClosed);
    EXPECT_EQ(oOutcome.m_oMessages.size(), oCase.bMessage ? 1u : 0u);
    EXPECT_EQ(oOutcome.m_sError.empty(), oCase.bMessage);
  }
  EXPECT_EQ(FileLines(), (std::vector<std::string>{"[KEYS]", "AdminId=old"}));
}

TEST_F(SetRequiredsTest, AnUnreadableFileOpensEmptyAndIsNotOverwritten) {
  WriteDamagedFile();
  const std::string sBefore = m_oFolder.Read("AutoSet.caf");
  CSetRequireds oDialog(Folder());
  EXPECT_FALSE(oDialog.Open());
  EXPECT_TRUE(m_oLog.HasError("CSetRequireds::LoadIfNexessary() failed."));
  EXPECT_EQ(oDialog.GetValues().m_sAdminId, "");
  EXPECT_EQ(oDialog.GetValues().m_sRstrSecs, "300");
  EXPECT_FALSE(oDialog.Ok(Typed(), "pw", "").m_bAccepted);
  EXPECT_TRUE(m_oLog.HasError("CSetRequireds::SaveSettings() failed."));
  EXPECT_EQ(m_oFolder.Read("AutoSet.caf"), sBefore);
}

TEST_F(SetRequiredsTest, SilentValidationNeedsLogonPasswordAndComputerName) {
  struct SCase {
    std::vector<std::string> oFile;
    bool bValid;
  };
  for (const SCase& oCase : {SCase{{"[KEYS]", "AdminId=a", "Password=p", "MachineName=m"}, true},
                             SCase{{"[KEYS]", "AdminId=a", "Password=p"}, false},
                             SCase{{"[KEYS]", "AdminId=a", "MachineName=m"}, false},
                             SCase{{"[KEYS]", "Password=p", "MachineName=m"}, false}}) {
    WriteFile(oCase.oFile);
    EXPECT_EQ(CSetRequireds::ValidateSettings(Folder()), oCase.bValid) << oCase.oFile.size();
  }
}

}  // namespace
}  // namespace wdx
