#include "components/rirer2oduvo/sip_settings.h"

#include <gtest/gtest.h>

#include "foundation/ram_file.h"
#include "tests/support/temp_folder.h"

namespace wdx::rirer {
namespace {

TEST(SipSettingsTest, TheAccountIsReadFreshFromTheSettingsFile) {
  test::CTempFolder oFolder;
  // No settings file: no account, and no file made by looking.
  SSipAccount oAccount = ReadSipAccount(oFolder.Path());
  EXPECT_EQ(oAccount.m_sAccount, "");
  EXPECT_EQ(oFolder.Read(SIP_SETTINGS_FILE), "");

  const auto fnStore = [&](const char* szAccount, const char* szPassword, const char* szProxy) {
    CRamFileRO oFile;
    ASSERT_TRUE(oFile.Initialize(oFolder.Path().c_str(), SIP_SETTINGS_FILE));
    ASSERT_TRUE(oFile.SetKeyValue("SipAccount", szAccount));
    ASSERT_TRUE(oFile.SetKeyValue("SipPassword", szPassword));
    ASSERT_TRUE(oFile.SetKeyValue("SipProxy", szProxy));
    ASSERT_TRUE(oFile.SaveToFile());
  };
  fnStore("sip:2001@pbx.example.lan", "s3cret", "pbx.example.lan:5060;transport=udp");
  oAccount = ReadSipAccount(oFolder.Path());
  EXPECT_EQ(oAccount.m_sAccount, "sip:2001@pbx.example.lan");
  EXPECT_EQ(oAccount.m_sPassword, "s3cret");
  EXPECT_EQ(oAccount.m_sProxy, "pbx.example.lan:5060;transport=udp");
  fnStore("sip:2002@pbx.example.lan", "other", "");  // a change counts at the next read
  oAccount = ReadSipAccount(oFolder.Path());
  EXPECT_EQ(oAccount.m_sAccount, "sip:2002@pbx.example.lan");
  EXPECT_EQ(oAccount.m_sPassword, "other");
  EXPECT_EQ(oAccount.m_sProxy, "");
}

}  // namespace
}  // namespace wdx::rirer
