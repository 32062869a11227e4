#include "console/settings/settings_audit.h"

#include "console/settings/op_options.h"
#include "console/settings/settings_test_fixture.h"
#include "platform/file_system.h"

namespace wdx {
namespace {

using SettingsAuditTest = test::CSettingsDialogTest;

TEST_F(SettingsAuditTest, OkRewritesTheFileWithExactlyTheRemainingLines) {
  const std::vector<std::string> oFile = {"[KEYS]", "AdminId=ops", "Password=pw",
                                          "[URLS]", "http://a/",   "http://b/"};
  WriteFile(oFile);
  CSettingsAudit oDialog(Folder());
  ASSERT_TRUE(oDialog.Open());
  EXPECT_EQ(oDialog.GetLines(), oFile);
  const std::vector<std::string> oRemaining = {"[KEYS]", "AdminId=ops", "[URLS]", "http://b/"};
  const SDialogOutcome oOutcome = oDialog.Ok(oFile, oRemaining);
  EXPECT_TRUE(oOutcome.m_bAccepted && oOutcome.m_bClosed && oOutcome.m_oMessages.empty());
  EXPECT_EQ(FileLines(), oRemaining);
  // Every line deleted: an empty file.
  ASSERT_TRUE(CSettingsAudit(Folder()).Ok(oRemaining, {}).m_bAccepted);
  EXPECT_TRUE(FileLines().empty());
}

TEST_F(SettingsAuditTest, AFileChangedMeanwhileOrABadLineIsNotWritten) {
  WriteFile({"[KEYS]", "AdminId=ops"});
  CSettingsAudit oDialog(Folder());
  ASSERT_TRUE(oDialog.Open());
  const std::vector<std::string> oShown = oDialog.GetLines();
  WriteFile({"[KEYS]", "AdminId=ops", "MinuteInterval=5"});  // the service or another console
  const SDialogOutcome oOutcome = oDialog.Ok(oShown, {"[KEYS]"});
  EXPECT_FALSE(oOutcome.m_bAccepted || oOutcome.m_bClosed);
  EXPECT_EQ(oOutcome.m_oMessages, std::vector<std::string>{WDX_AUDIT_CHANGED});
  EXPECT_EQ(Key("MinuteInterval"), "5");
  const std::vector<std::string> oNow = FileLines();
  EXPECT_EQ(oDialog.Ok(oNow, {"[KEYS]", std::string(256, 'k')}).m_sError,
            "Line 2 longer than 255 characters.");
  EXPECT_EQ(FileLines(), oNow);
}

TEST_F(SettingsAuditTest, OptionsWriteTheirBoxesAndKeepTheObsoleteOnes) {
  struct SCase {
    std::vector<std::string> oFile;
    SOptionValues oShown;
  };
  for (const SCase& oCase :
       {SCase{{"[KEYS]"}, {false, true, false, false}},
        SCase{{"[KEYS]", "WATCH=0", "UseIni=t", "UseIIS=1"}, {true, false, false, true}},
        SCase{{"[KEYS]", "WATCH=TRUE", "GOS=T"}, {false, false, true, false}}}) {
    WriteFile(oCase.oFile);
    COpOptions oDialog(Folder());
    ASSERT_TRUE(oDialog.Open());
    EXPECT_EQ(oDialog.GetValues().m_bUseIni, oCase.oShown.m_bUseIni);
    EXPECT_EQ(oDialog.GetValues().m_bWatch, oCase.oShown.m_bWatch);
    EXPECT_EQ(oDialog.GetValues().m_bAutoStart, oCase.oShown.m_bAutoStart);
    EXPECT_EQ(oDialog.GetValues().m_bUseIis, oCase.oShown.m_bUseIis);
  }
  // "GOS" is set in the file: OK keeps it and places the shortcut, which is missing here.
  COpOptions oDialog(Folder());
  ASSERT_TRUE(oDialog.Open());
  const SDialogOutcome oOutcome = oDialog.Ok({true, true, false, true}, "ops");
  EXPECT_TRUE(oOutcome.m_bAccepted && oOutcome.m_bClosed);
  EXPECT_EQ(FileLines(),
            (std::vector<std::string>{"[KEYS]", "WATCH=T", "GOS=T", "UseIni=T", "UseIIS=F"}));
  EXPECT_TRUE(m_oLog.HasError("Shortcut to Wardenix not found. Should be at:"));
  EXPECT_TRUE(m_oLog.HasError("COpOptions::OnChkGoOnStart() failed"));
  // With the desktop shortcut present it is copied into the user's start-up folder.
  ASSERT_TRUE(
      GetFileSystem().MakeFolders(Folder() + "Documents and Settings/All Users/Desktop", 0755));
  m_oFolder.Write("Documents and Settings/All Users/Desktop/Wardenix.lnk", "link");
  ASSERT_TRUE(oDialog.Ok({false, true, false, false}, "ops").m_bAccepted);
  EXPECT_EQ(m_oFolder.Read("Documents and Settings/ops/Start Menu/Programs/Startup/Wardenix.lnk"),
            "link");
  EXPECT_EQ(m_oLog.CountErrors("COpOptions::OnChkGoOnStart() failed"), 1);
}

}  // namespace
}  // namespace wdx
