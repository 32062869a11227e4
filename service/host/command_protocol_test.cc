#include "service/host/command_protocol.h"

#include <gtest/gtest.h>

namespace wdx {
namespace {

TEST(CommandProtocol, ParsesWellFormedRequests) {
  SCommandRequest oOps = ParseRequest("OpsCommand 1004");
  EXPECT_EQ(oOps.m_eKind, ERequestKind::OPS_COMMAND);
  EXPECT_EQ(oOps.m_iCode, 1004);
  SCommandRequest oText = ParseRequest("GetStringResult 1012");
  EXPECT_EQ(oText.m_eKind, ERequestKind::GET_STRING_RESULT);
  EXPECT_EQ(oText.m_iCode, 1012);
  EXPECT_EQ(ParseRequest("OpsCommand -7").m_iCode, -7);
  EXPECT_EQ(ParseRequest(FormatOpsCommandRequest(999)).m_iCode, 999);
}

TEST(CommandProtocol, RefusesEverythingElse) {
  for (const char* szLine :
       {"", "OpsCommand", "OpsCommand ", "OpsCommand 1004 ", "OpsCommand  1004", "opscommand 1004",
        "OpsCommand 10x", "OpsCommand 99999999999", "GetStringResult", "Ops 1", "\x01\x02"}) {
    EXPECT_EQ(ParseRequest(szLine).m_eKind, ERequestKind::MALFORMED) << szLine;
  }
}

TEST(CommandProtocol, AnswersRoundTrip) {
  int iResult = 0;
  EXPECT_TRUE(ParseIntAnswer(FormatIntAnswer(-1), iResult));
  EXPECT_EQ(iResult, -1);
  EXPECT_FALSE(ParseIntAnswer("ERR malformed request", iResult));
  EXPECT_FALSE(ParseIntAnswer("OK", iResult));
  EXPECT_FALSE(ParseIntAnswer("OK 1x", iResult));

  std::string sText;
  const std::string sOriginal = "GO MODE: testing\r\n C:\\path\\ \x01 end\\";
  const std::string sAnswer = FormatTextAnswer(sOriginal);
  EXPECT_EQ(sAnswer.find('\n'), std::string::npos);
  ASSERT_TRUE(ParseTextAnswer(sAnswer, sText));
  EXPECT_EQ(sText, sOriginal);
  ASSERT_TRUE(ParseTextAnswer(FormatTextAnswer(""), sText));
  EXPECT_EQ(sText, "");
}

TEST(CommandProtocol, EveryByteSurvivesEscaping) {
  std::string sAll;
  for (int c = 1; c < 256; ++c) sAll += static_cast<char>(c);
  const std::string sEscaped = EscapeAnswerText(sAll);
  EXPECT_EQ(sEscaped.find('\n'), std::string::npos);
  EXPECT_EQ(sEscaped.find('\r'), std::string::npos);
  EXPECT_EQ(UnescapeAnswerText(sEscaped), sAll);
  // A dangling or unknown escape is taken literally rather than lost.
  EXPECT_EQ(UnescapeAnswerText("a\\"), "a\\");
  EXPECT_EQ(UnescapeAnswerText("\\xZZ"), "xZZ");
}

}  // namespace
}  // namespace wdx
