#include "console/settings/phone_settings.h"

#include "console/settings/settings_test_fixture.h"

namespace wdx {
namespace {

using PhoneSettingsTest = test::CSettingsDialogTest;

// Callee 1 named and numbered, enabled; both texts set.
SPhoneValues Usable() {
  SPhoneValues oValues;
  oValues.m_sMsgDown = "server down";
  oValues.m_sMsgUp = "server up";
  oValues.m_asName[0] = "Ann";
  oValues.m_asNumber[0] = "sim:ann";
  oValues.m_abEnabled[0] = true;
  return oValues;
}

TEST(PhoneSettings, ValidationFollowsItsOrderOfChecks) {
  struct SCase {
    const char* szWhat;
    void (*fnChange)(SPhoneValues&);
    bool bAccepted;
    bool bUsable;
    const char* szMessage;  // "" for none
  };
  const SCase aoCases[] = {
      {"usable", [](SPhoneValues&) {}, true, true, ""},
      {"none enabled", [](SPhoneValues& o) { o.m_abEnabled[0] = false; }, true, false,
       "No phone outs are enabled."},
      {"no down text", [](SPhoneValues& o) { o.m_sMsgDown = " "; }, true, false,
       "DOWN message cannot be blank."},
      {"no up text", [](SPhoneValues& o) { o.m_sMsgUp.clear(); }, true, false,
       "UP message cannot be blank."},
      {"enabled row without number",
       [](SPhoneValues& o) {
         o.m_asName[5] = "Bob";
         o.m_abEnabled[5] = true;
       },
       false, false, "Problem: One or more enabled phones are missing Name or Number."},
      {"enabled row without name", [](SPhoneValues& o) { o.m_asName[0].clear(); }, false, false,
       "Problem: One or more enabled phones are missing Name or Number."},
      {"incomplete row cleared",
       [](SPhoneValues& o) {
         o.m_asName[2] = "Bob";
         o.m_abEnabled[2] = false;
       },
       true, true, ""},
      {"only incomplete row, cleared",
       [](SPhoneValues& o) {
         o.m_asNumber[0].clear();
         o.m_abEnabled[0] = false;
       },
       true, false, "No phone outs are enabled."},
  };
  for (const SCase& oCase : aoCases) {
    SPhoneValues oValues = Usable();
    oCase.fnChange(oValues);
    std::vector<std::string> oMessages;
    const SPhoneCheck oCheck = CPhoneSettings::Validate(oValues, &oMessages);
    EXPECT_EQ(oCheck.m_bAccepted, oCase.bAccepted) << oCase.szWhat;
    EXPECT_EQ(oCheck.m_bUsable, oCase.bUsable) << oCase.szWhat;
    const std::vector<std::string> oExpected =
        *oCase.szMessage ? std::vector<std::string>{oCase.szMessage} : std::vector<std::string>{};
    EXPECT_EQ(oMessages, oExpected) << oCase.szWhat;
    // Silently: the same outcome without messages.
    const SPhoneCheck oSilent = CPhoneSettings::Validate(oValues, nullptr);
    EXPECT_EQ(oSilent.m_bUsable, oCase.bUsable) << oCase.szWhat;
  }
}

TEST_F(PhoneSettingsTest, OkSavesTheRowsOrKeepsTheDialogOpen) {
  WriteFile({"[KEYS]", "PE3=1", "PName3=Old", "AdminId=ops"});
  CPhoneSettings oDialog(Folder());
  ASSERT_TRUE(oDialog.Open());
  EXPECT_TRUE(oDialog.GetValues().m_abEnabled[2]);
  EXPECT_EQ(oDialog.GetValues().m_asName[2], "Old");
  SPhoneValues oIncomplete = Usable();
  oIncomplete.m_asName[1] = "Bob";
  oIncomplete.m_abEnabled[1] = true;
  const SDialogOutcome oRefused = oDialog.Ok(oIncomplete);
  EXPECT_FALSE(oRefused.m_bAccepted || oRefused.m_bClosed);
  EXPECT_EQ(FileLines(),
            (std::vector<std::string>{"[KEYS]", "PE3=1", "PName3=Old", "AdminId=ops"}));
  SPhoneValues oValues = Usable();
  oValues.m_bAck = true;
  const SDialogOutcome oSaved = oDialog.Ok(oValues);
  EXPECT_TRUE(oSaved.m_bAccepted && oSaved.m_bClosed && oSaved.m_oMessages.empty());
  EXPECT_EQ(Key("MsgDown"), "server down");
  EXPECT_EQ(Key("PAck"), "T");
  EXPECT_EQ(Key("PNum1"), "sim:ann");
  EXPECT_EQ(Key("PE1"), "T");
  EXPECT_EQ(Key("PE3"), "F");
  EXPECT_EQ(Key("PName3"), "");
  EXPECT_EQ(Key("AdminId"), "ops");
  EXPECT_TRUE(CPhoneSettings::ValidateSettings(Folder()).m_bUsable);
  // An empty up text is accepted with its message, and the alerts are not usable.
  oValues.m_sMsgUp.clear();
  const SDialogOutcome oNoUp = oDialog.Ok(oValues);
  EXPECT_TRUE(oNoUp.m_bAccepted && oNoUp.m_bClosed);
  EXPECT_EQ(oNoUp.m_oMessages, std::vector<std::string>{"UP message cannot be blank."});
  EXPECT_FALSE(CPhoneSettings::ValidateSettings(Folder()).m_bUsable);
}

}  // namespace
}  // namespace wdx
