// The mail sender against a real SMTP server on loopback (aiosmtpd run by the system python),
// plain and with TLS and a login: what the server receives is what a reader gets. And the
// console's e-mail checks against a scripted server.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "foundation/ram_file.h"
#include "service/alerts/ws_email.h"
#include "tests/support/log_capture.h"
#include "tests/support/service_fixture.h"
#include "tests/support/smtp_script_server.h"
#include "tests/support/spawned_program.h"
#include "tests/support/temp_folder.h"

namespace wdx::test {
namespace {

// One aiosmtpd server for the test's lifetime.
class CSmtpSink final {
 public:
  CSmtpSink(const std::string& sMode, const std::string& sCert, const std::string& sKey)
      : m_bIpv6(sMode == "plain6"),
        m_oServer("/usr/bin/python3", {"-W", "ignore", SourceDir() + "tests/support/smtp_sink.py",
                                       m_oFolder.Path(), sMode, sCert, sKey, "alerts", "s3cret"}) {
    for (int i = 0; i < 1000 && m_oFolder.Read("port").empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  static std::string SourceDir() { return WDX_SOURCE_DIR; }
  std::string Server() {
    return (m_bIpv6 ? "[::1]:" : "127.0.0.1:") + m_oFolder.Read("port");
  }
  std::string Mail(int iNumber) {
    const std::string sName = "mail-" + std::to_string(iNumber) + ".txt";
    for (int i = 0; i < 500 && m_oFolder.Read(sName).empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return m_oFolder.Read(sName);
  }

 private:
  CTempFolder m_oFolder;
  bool m_bIpv6;
  CSpawnedProgram m_oServer;
};

class EmailDelivery : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string sCommand =
        "openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -addext "
        "subjectAltName=IP:127.0.0.1 -days 2 -keyout " +
        Cert("key.pem") + " -out " + Cert("cert.pem") + " 2>/dev/null";
    ASSERT_EQ(system(sCommand.c_str()), 0);
    m_sOldTz = getenv("TZ") ? getenv("TZ") : "";
    setenv("TZ", "Asia/Kathmandu", 1);
    tzset();
  }
  void TearDown() override {
    if (m_sOldTz.empty())
      unsetenv("TZ");
    else
      setenv("TZ", m_sOldTz.c_str(), 1);
    tzset();
  }
  std::string Cert(const char* szName) { return m_oCerts.Path() + szName; }

  CTempFolder m_oCerts;
  std::string m_sOldTz;
};

TEST_F(EmailDelivery, PlainStartTlsAndTlsWithLogin) {
  struct SCase {
    const char* szMode;
    ESmtpSecurity eSecurity;
    const char* szPassword;
    bool bTrusted;
    bool bSent;
  };
  const SCase aCases[] = {{"plain", ESmtpSecurity::kNone, "", true, true},
                          {"plain6", ESmtpSecurity::kNone, "", true, true},
                          {"starttls", ESmtpSecurity::kStartTls, "s3cret", true, true},
                          {"tls", ESmtpSecurity::kTls, "s3cret", true, true},
                          {"starttls", ESmtpSecurity::kStartTls, "wrong", true, false},
                          {"tls", ESmtpSecurity::kTls, "s3cret", false, false}};
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(std::string(oCase.szMode) + " " + oCase.szPassword +
                 (oCase.bTrusted ? "" : " untrusted"));
    CLogCapture oLog;
    CSmtpSink oSink(oCase.szMode, Cert("cert.pem"), Cert("key.pem"));
    CWsEmail oSender;
    oSender.Reset();
    oSender.SetTimeouts(5000, 5000);
    oSender.m_eSecurity = oCase.eSecurity;
    if (*oCase.szPassword) oSender.m_sUser = "alerts";
    oSender.m_sPassword = oCase.szPassword;
    oSender.m_sCaFile = oCase.bTrusted ? Cert("cert.pem") : "";
    ASSERT_TRUE(oSender.ResolveNameToIp(oSink.Server().c_str()));
    oSender.m_oStrSenderAddress.Assign("wardenix@x.test");
    oSender.m_oStrSubject.Assign("Site down");
    oSender.m_oStrBody.Assign("first\r\n.\r\n.dotted line\r\nlast");
    oSender.m_pRecipients->SetAt(0, "ops@x.test");
    oSender.m_pRecipients->SetAt(1, "boss@x.test");
    ASSERT_EQ(oSender.SendList(), oCase.bSent) << oLog.Text();
    EXPECT_EQ(oLog.Text().find("s3cret"), std::string::npos);
    if (!oCase.bTrusted) {
      EXPECT_TRUE(oLog.HasError("CWsEmail::SendList() TLS failed: certificate refused: "
                                "self-signed certificate"));
    }
    if (!oCase.bSent) continue;
    const std::string sMail = oSink.Mail(1);
    EXPECT_EQ(sMail.substr(0, sMail.find("\n\n") + 2),
              "FROM: wardenix@x.test\nTO: ops@x.test,boss@x.test\n\n");
    EXPECT_NE(sMail.find("\r\nTo: ops@x.test , boss@x.test \r\nSubject: Site down\r\n\r\n"
                         "first\r\n.\r\n.dotted line\r\nlast\r\n"),
              std::string::npos)
        << sMail;
    EXPECT_TRUE(std::regex_search(
        sMail, std::regex("\r\nDate: [A-Z][a-z]{2}, [0-9]+ [A-Z][a-z]{2} [0-9]{4} "
                          "[0-9:]{8} \\+0545 \r\n")))
        << sMail;
  }
}

}  // namespace
}  // namespace wdx::test

namespace wdx::test {
namespace {

TEST(EmailConsole, TestGreetsTheServerAndSendTestDeliversOneMessage) {
  struct SCase {
    const char* szGreeting;
    const char* szVerb;
    int iExit;
    const char* szOut;
  };
  const SCase aCases[] = {
      {"220 ready\r\n", "test", 0, "127.0.0.1  OK. Email server found.\n"},
      {"554 no\r\n", "test", 1, "127.0.0.1  Email failed.\n"},
      {"220 ready\r\n", "send-test", 0, "Test message sent to 1 recipient(s).\n"},
      {"554 no\r\n", "send-test", 1, ""}};
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(std::string(oCase.szVerb) + " " + oCase.szGreeting);
    CServiceFixture oFixture;
    CSmtpScriptServer oServer;
    oServer.m_oReplies["greeting"] = oCase.szGreeting;
    CRamFile oFile;
    oFile.Initialize(oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox(
        {"[KEYS]", "SmtpServer=127.0.0.1:" + std::to_string(oServer.Port()), "EmailFrom=wdx@x.test",
         "EmailSubject=Up", "EmailSubjectDn=Down", "EmailBodyUp=up", "EmailBodyDown=down",
         "EmailUrl=http://127.0.0.1:1/", "[EMAILS]", "ops@x.test"}));
    ASSERT_TRUE(oFile.SaveToFile());
    const SRunResult oRun = oFixture.RunConsole({"email", oCase.szVerb});
    EXPECT_EQ(oRun.m_iExitCode, oCase.iExit) << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut, oCase.szOut);
    const bool bMail = oCase.iExit == 0 && std::string(oCase.szVerb) == "send-test";
    EXPECT_EQ(oServer.Received().find("Subject: Wardenix test message\r\n") != std::string::npos,
              bMail);
    // The test greets only: it sends no command.
    if (std::string(oCase.szVerb) == "test") {
      EXPECT_EQ(oServer.Received(), "");
    }
  }
}

}  // namespace
}  // namespace wdx::test
