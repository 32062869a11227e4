#include "service/alerts/emailer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/ram_file.h"
#include "service/host/wdx_codes.h"
#include "service/settings/all_sets.h"
#include "tests/support/log_capture.h"
#include "tests/support/smtp_script_server.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

class EmailerTest : public ::testing::Test {
 protected:
  // The settings of a working setup with the given overrides and recipients.
  bool Load(const std::vector<std::string>& oKeys, const std::vector<std::string>& oRecipients) {
    std::vector<std::string> oLines = {"[KEYS]"};
    oLines.insert(oLines.end(), oKeys.begin(), oKeys.end());  // the first line of a key counts
    oLines.insert(oLines.end(), {"SmtpServer=127.0.0.1:" + std::to_string(m_oServer.Port()),
                                 "EmailFrom=wdx@x.test", "EmailSubject=Up", "EmailSubjectDn=Down",
                                 "EmailBodyUp=up text", "EmailBodyDown=down text",
                                 "EmailUrl=http://127.0.0.1:1/"});
    oLines.push_back("[EMAILS]");
    oLines.insert(oLines.end(), oRecipients.begin(), oRecipients.end());
    CRamFile oWriter;
    oWriter.Initialize(m_oFolder.Path().c_str(), WDX_SETTINGS_FILE);
    if (!oWriter.LoadToRamFromListBox(oLines) || !oWriter.SaveToFile()) return false;
    m_pKeyFile = std::make_unique<CRamFileRO>();
    m_oSets.m_pKeyFile = m_pKeyFile.get();
    m_oSets.m_oStrWorkingFolder.Assign(m_oFolder.Path().c_str());
    return m_oSets.ReInitialize() && m_oEmailer.Initialize(&m_oSets);
  }
  int RecipientsSent() {
    const std::string sAll = m_oServer.Received();
    int iCount = 0;
    for (size_t u = sAll.find("Rcpt To:"); u != std::string::npos; u = sAll.find("Rcpt To:", u + 1))
      ++iCount;
    return iCount;
  }
  static std::vector<std::string> Addresses(int iCount) {
    std::vector<std::string> oList;
    for (int i = 1; i <= iCount; ++i) oList.push_back("r" + std::to_string(i) + "@x.test");
    return oList;
  }
  test::CLogCapture m_oLog;
  test::CSmtpScriptServer m_oServer;
  test::CTempFolder m_oFolder;
  std::unique_ptr<CRamFileRO> m_pKeyFile;
  CAllSets m_oSets;
  CEmailer m_oEmailer;
};

TEST_F(EmailerTest, ValidationStopsAtTheFirstMissingSetting) {
  struct SCase {
    std::vector<std::string> oKeys;
    std::vector<std::string> oRecipients;
    const char* szWarning;
  };
  const std::vector<SCase> oCases = {
      {{}, {}, "Warning: no email recipents are defined."},
      {{"SmtpServer="}, {"r@x.test"}, "Warning: no SMTP email server is defined."},
      {{"EmailBodyDown=", "EmailBodyUp="},
       {"r@x.test"},
       "Warning: no email down message body is defined."},
      {{"EmailBodyUp="}, {"r@x.test"}, "Warning: no email up message body is defined."},
      {{"EmailSubject=", "EmailFrom="},
       {"r@x.test"},
       "Warning: no email 'from address' is defined."},
      {{"EmailUrl="}, {"r@x.test"}, "Warning: no 'Email Connect Url' is defined."},
      {{"EmailUrl=https://x.test/"},
       {"r@x.test"},
       "Incorrect EmailUrl format. Use 'http://' header."},
  };
  for (const SCase& oCase : oCases) {
    SCOPED_TRACE(oCase.szWarning);
    test::CLogCapture oLog;
    ASSERT_TRUE(Load(oCase.oKeys, oCase.oRecipients));
    ASSERT_TRUE(m_oEmailer.ReloadEmailList());
    EXPECT_FALSE(m_oEmailer.ValidateSettings(true));
    EXPECT_TRUE(oLog.HasError(oCase.szWarning));
    EXPECT_TRUE(oLog.HasError("CEmailer::ValidateSettings() failed."));
    EXPECT_EQ(oLog.HasError("Warning: no email subject line is defined."),
              !oCase.oKeys.empty() && oCase.oKeys[0] == "EmailSubject=");
    EXPECT_FALSE(m_oEmailer.SendAlert(true));
  }
  EXPECT_EQ(m_oServer.Connections(), 0);
}

TEST_F(EmailerTest, RecipientListLimits) {
  struct SCase {
    std::vector<std::string> oRecipients;
    int iSent;
  };
  for (const SCase& oCase :
       std::vector<SCase>{{Addresses(3), 3}, {Addresses(40), 32}, {Addresses(140), 32}}) {
    SCOPED_TRACE(oCase.oRecipients.size());
    ASSERT_TRUE(Load({}, oCase.oRecipients));
    const int iBefore = RecipientsSent();
    EXPECT_TRUE(m_oEmailer.SendAlert(false));
    EXPECT_EQ(m_oSets.m_pEmails->GetUsedCount(), std::min<int>(int(oCase.oRecipients.size()), 128));
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (RecipientsSent() - iBefore < oCase.iSent && std::chrono::steady_clock::now() < tEnd) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(RecipientsSent() - iBefore, oCase.iSent);
  }
}

TEST_F(EmailerTest, AChangedServerIsResolvedAgain) {
  ASSERT_TRUE(Load({}, {"r@x.test"}));
  ASSERT_TRUE(m_oEmailer.SendAlert(true));
  test::CSmtpScriptServer oOther;
  ASSERT_TRUE(Load({"SmtpServer=127.0.0.1:" + std::to_string(oOther.Port())}, {"r@x.test"}));
  ASSERT_TRUE(m_oEmailer.SendAlert(false));
  EXPECT_EQ(m_oServer.Connections(), 1);
  EXPECT_EQ(oOther.Connections(), 1);
}

TEST_F(EmailerTest, RemoteUrlAlertTextsAndUnresolvableServer) {
  ASSERT_TRUE(Load({}, {"r@x.test"}));
  EXPECT_TRUE(m_oEmailer.SendRemoteUrlAlert(true, "http://far.test/"));
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (m_oServer.Received().find("QUIT") == std::string::npos &&
         std::chrono::steady_clock::now() < tEnd) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_NE(m_oServer.Received().find(
                "Subject: Failed Remote URL: http://far.test/\r\n\r\n"
                "This Remote URL has stopped responding: http://far.test/\r\n.\r\n"),
            std::string::npos);

  CEmailer oOther;
  ASSERT_TRUE(Load({"SmtpServer=no-such-host.invalid"}, {"r@x.test"}));
  ASSERT_TRUE(oOther.Initialize(&m_oSets));
  EXPECT_FALSE(oOther.SendRemoteUrlAlert(false, "http://far.test/"));
  EXPECT_NE(m_oLog.Text().find("CWsEmail::Inet Not Connected"), std::string::npos);
  EXPECT_FALSE(oOther.Initialize(nullptr));
  EXPECT_TRUE(m_oLog.HasError("CEmailer::Initialize() failed."));
}

}  // namespace
}  // namespace wdx
