#include "service/alerts/ws_email.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/support/smtp_script_server.h"

namespace wdx {
namespace {

const std::string kHead = "HELO server \r\nMail From:<a@x.test> \r\n";
const std::string kRcpts = "Rcpt To:<r1@x.test> \r\nRcpt To:<r2@x.test> \r\n";
const std::string kHeaders =
    "From:<a@x.test> \r\nDate: D \r\nX-Mailer: SMTP Sender \r\n"
    "To: r1@x.test , r2@x.test \r\nSubject: Down\r\n\r\n";
const std::string kBody = "line one\r\n..\r\n..two dots\r\n";
const std::string kAll = kHead + kRcpts + "DATA \r\n" + kHeaders + kBody + ".\r\nQUIT\r\n";

std::string WithoutDate(const std::string& sText) {
  static const std::regex kDate(
      "Date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), [1-9][0-9]? [A-Z][a-z]{2} [0-9]{4} "
      "[0-9]{2}:[0-9]{2}:[0-9]{2} [+-][0-9]{4} \r\n");
  return std::regex_replace(sText, kDate, "Date: D \r\n");
}

class WsEmailTest : public ::testing::Test {
 protected:
  bool Send(const std::vector<std::string>& oRecipients, const char* szSubject = "Down") {
    m_oSender.Reset();
    m_oSender.SetTimeouts(2000, 300);
    if (!m_oSender.ResolveNameToIp(("127.0.0.1:" + std::to_string(m_oServer.Port())).c_str()))
      return false;
    m_oSender.m_oStrSenderAddress.Assign("a@x.test");
    m_oSender.m_oStrSubject.Assign(szSubject);
    m_oSender.m_oStrBody.Assign("line one\r\n.\r\n.two dots");
    for (size_t i = 0; i < oRecipients.size(); ++i)
      m_oSender.m_pRecipients->SetAt(int(i), oRecipients[i].c_str());
    return m_oSender.SendList();
  }
  test::CLogCapture m_oLog;
  test::CSmtpScriptServer m_oServer;
  CWsEmail m_oSender;
};

struct SDialogueCase {
  const char* szName;
  std::map<std::string, std::string> oReplies;
  bool bSent;
  std::string sReceived;  // every byte the server got, the Date line made "Date: D"
  std::vector<std::string> oErrors;
};

TEST_F(WsEmailTest, DialogueAndEveryRefusal) {
  const std::string kFailed = "Failure sending email to Rcpt To:<r2@x.test> \r\n";
  const std::vector<SDialogueCase> oCases = {
      {"accepted", {}, true, kAll, {}},
      {"multi-line 250", {{"HELO", "250-hello\r\n250 SIZE 1000\r\n"}}, true, kAll, {}},
      {"greeting 554", {{"greeting", "554 go away\r\n"}}, false, "", {"Failure sending email to "}},
      {"no 354",
       {{"DATA", "451 later\r\n"}},
       true,
       kAll,
       {"CWsEmail::ReceiveAck recv read no bytes."}},
      {"second recipient refused",
       {{"RCPT2", "550 no such user\r\n"}},
       false,
       kHead + kRcpts,
       {kFailed}},
      {"closed at MAIL",
       {{"MAIL", "<close>"}},
       false,
       kHead,
       {"CWsEmail::ReceiveAck recv read no bytes."}},
      {"1 MB without a line end",
       {{"greeting", "<flood>"}},
       false,
       "",
       {"Failure sending email to "}},
      {"silence", {{"greeting", ""}}, false, "", {"CWsEmail::ReceiveAck recv read no bytes."}},
      {"end of data refused",
       {{".", "552 too big\r\n"}},
       false,
       kAll.substr(0, kAll.size() - 6),
       {kFailed}},
  };
  for (const SDialogueCase& oCase : oCases) {
    SCOPED_TRACE(oCase.szName);
    test::CLogCapture oLog;
    test::CSmtpScriptServer oServer;
    for (const auto& [sVerb, sReply] : oCase.oReplies) oServer.m_oReplies[sVerb] = sReply;
    CWsEmail oSender;
    oSender.Reset();
    oSender.SetTimeouts(2000, 300);
    ASSERT_TRUE(oSender.ResolveNameToIp(("127.0.0.1:" + std::to_string(oServer.Port())).c_str()));
    oSender.m_oStrSenderAddress.Assign("a@x.test");
    oSender.m_oStrSubject.Assign("Down");
    oSender.m_oStrBody.Assign("line one\r\n.\r\n.two dots");
    oSender.m_pRecipients->SetAt(0, "r1@x.test");
    oSender.m_pRecipients->SetAt(1, "r2@x.test");
    const auto tStart = std::chrono::steady_clock::now();
    EXPECT_EQ(oSender.SendList(), oCase.bSent);
    EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(5));
    const std::string& sExpected = oCase.sReceived;
    const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (WithoutDate(oServer.Received()).size() < sExpected.size() &&
           std::chrono::steady_clock::now() < tEnd) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(WithoutDate(oServer.Received()), sExpected);
    for (const std::string& sError : oCase.oErrors) EXPECT_TRUE(oLog.HasError(sError)) << sError;
    if (oCase.bSent) {
      EXPECT_NE(oLog.Text().find("Email sent to Rcpt To:<r2@x.test> \r\n"), std::string::npos);
    } else {
      EXPECT_TRUE(oLog.HasError("Email content was: line one\r\n.\r\n.two dots\r\n"));
    }
  }
}

TEST_F(WsEmailTest, LineBreaksInHeadersAndNoRecipientsAreRefusedUnsent) {
  EXPECT_FALSE(Send({"r1@x.test"}, "Down\r\nBcc: all@x.test"));
  EXPECT_FALSE(Send({"r1@x.test\nBcc: all@x.test"}));
  EXPECT_FALSE(Send({}));
  EXPECT_EQ(m_oLog.CountErrors("CWsEmail::SendList() refused: the subject, the sender or a "
                               "recipient holds a line break."),
            2);
  EXPECT_EQ(m_oServer.Connections(), 0);
}

TEST(WsEmailParts, ServerNamesZonesAndDots) {
  struct SServer {
    const char* szText;
    bool bOk;
    const char* szHost;
    int iPort;
  };
  for (const SServer& o : std::vector<SServer>{{"mail.x.test", true, "mail.x.test", 25},
                                               {"mail.x.test:2525", true, "mail.x.test", 2525},
                                               {"[::1]:2525", true, "::1", 2525},
                                               {"::1", true, "::1", 25},
                                               {"[::1]", true, "::1", 25},
                                               {"mail:", false, "", 0},
                                               {"mail:99999", false, "", 0},
                                               {"mail:2x", false, "", 0},
                                               {"[::1", false, "", 0}}) {
    std::string sHost;
    int iPort = 0;
    EXPECT_EQ(CWsEmail::SplitServer(o.szText, sHost, iPort), o.bOk) << o.szText;
    if (o.bOk) {
      EXPECT_EQ(sHost + ":" + std::to_string(iPort),
                std::string(o.szHost) + ":" + std::to_string(o.iPort));
    }
  }
  EXPECT_EQ(CWsEmail::ZoneOffset(5 * 3600 + 45 * 60), "+0545");
  EXPECT_EQ(CWsEmail::ZoneOffset(-6 * 3600), "-0600");
  EXPECT_EQ(CWsEmail::ZoneOffset(0), "+0000");
  EXPECT_EQ(CWsEmail::ZoneOffset(-(3 * 3600 + 30 * 60)), "-0330");
  EXPECT_EQ(CWsEmail::DotStuffed(".\r\na.b\r\n..x\r\n."), "..\r\na.b\r\n...x\r\n..");
}

TEST(WsEmailParts, DateCarriesTheZoneOfTz) {
  const char* szOld = getenv("TZ");
  const std::string sOld = szOld ? szOld : "";
  setenv("TZ", "Asia/Kathmandu", 1);
  tzset();
  CWsEmail oSender;
  oSender.FormatDate();
  EXPECT_TRUE(std::regex_match(
      std::string(oSender.m_oStrDate.c_str()),
      std::regex("[A-Z][a-z]{2}, [1-9][0-9]? [A-Z][a-z]{2} [0-9]{4} [0-9:]{8} \\+0545")))
      << oSender.m_oStrDate.c_str();
  if (szOld)
    setenv("TZ", sOld.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
}

TEST(WsEmailParts, NamesThatDoNotResolveAndIpv6Loopback) {
  test::CLogCapture oLog;
  CWsEmail oSender;
  oSender.Reset();
  EXPECT_FALSE(oSender.ResolveNameToIp("no-such-host.invalid"));
  EXPECT_TRUE(oLog.HasError("CWsEmail::ResolveNameToIp() cannot resolve address."));
  EXPECT_TRUE(oLog.HasError("CWsEmail::ResolveNameToIp() failed."));
  EXPECT_TRUE(oSender.m_oStrServerAddress.IsEmpty());
  ASSERT_TRUE(oSender.ResolveNameToIp("[::1]:2525"));
  EXPECT_STREQ(oSender.m_oStrServerAddress.c_str(), "::1");
}

TEST_F(WsEmailTest, ACancelCheckEndsASilentWaitEarly) {
  m_oServer.m_oReplies["greeting"] = "";
  std::atomic<bool> bStop{false};
  m_oSender.SetCancelCheck([&] { return bStop.load(); });
  m_oSender.Reset();
  m_oSender.SetTimeouts(30000, 30000);
  ASSERT_TRUE(m_oSender.ResolveNameToIp(("127.0.0.1:" + std::to_string(m_oServer.Port())).c_str()));
  m_oSender.m_oStrSenderAddress.Assign("a@x.test");
  m_oSender.m_pRecipients->SetAt(0, "r1@x.test");
  std::thread oStopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    bStop = true;
  });
  const auto tStart = std::chrono::steady_clock::now();
  EXPECT_FALSE(m_oSender.SendList());
  oStopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - tStart, std::chrono::seconds(10));
  EXPECT_NE(m_oLog.Text().find("CWsEmail::ReceiveAck abandoned on stop"), std::string::npos);
}

}  // namespace
}  // namespace wdx
