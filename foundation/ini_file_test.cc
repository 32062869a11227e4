#include "foundation/ini_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using test::CLogCapture;
using test::CTempFolder;
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs ReadPairs(const std::string& sBytes) {
  CTempFolder oFolder;
  oFolder.Write("Wardenix.ini", sBytes);
  CIniFile oIni;
  EXPECT_TRUE(oIni.Initialize(oFolder.File("Wardenix.ini").c_str()));
  Pairs oPairs;
  for (bool bMore = oIni.GetFirstKeyAndValue(); bMore; bMore = oIni.GetNextKeyAndValue()) {
    oPairs.emplace_back(oIni.GetKey(), oIni.GetValue());
  }
  return oPairs;
}

TEST(IniFileLines, CommentIsCutAndBothSidesTrimmed) {
  EXPECT_EQ(ReadPairs("Begin=Stop ## first step\r\n"), Pairs({{"Begin", "Stop"}}));
  EXPECT_EQ(ReadPairs("\t Key \t=  value with blanks  \r\n"),
            Pairs({{"Key", "value with blanks"}}));
}

TEST(IniFileLines, SingleHashIsText) {
  EXPECT_EQ(ReadPairs("Start=run #1 now\r\n"), Pairs({{"Start", "run #1 now"}}));
}

TEST(IniFileLines, LinesWithoutEqualsAreSkipped) {
  EXPECT_EQ(ReadPairs("[DETECT]\r\n## Stop=commented\r\nplain text\r\n\r\nWait=5\r\n"),
            Pairs({{"Wait", "5"}}));
}

TEST(IniFileLines, RepeatedKeysComeInFileOrder) {
  EXPECT_EQ(ReadPairs("Stop=a\r\nStart=b\r\nStop=c=d\r\n"),
            Pairs({{"Stop", "a"}, {"Start", "b"}, {"Stop", "c=d"}}));
  // LF line ends (and a last line without one) read like CR LF ones.
  EXPECT_EQ(ReadPairs("Stop=a\nStart=b\r\n\nWait=1"),
            Pairs({{"Stop", "a"}, {"Start", "b"}, {"Wait", "1"}}));
}

TEST(IniFileLines, EmptyKeyOrValueIsKept) {
  EXPECT_EQ(ReadPairs("=value\r\nKey=\r\n"), Pairs({{"", "value"}, {"Key", ""}}));
}

TEST(IniFileLines, FirstCallStartsOverFromTheTop) {
  CTempFolder oFolder;
  oFolder.Write("a.ini", "A=1\r\nB=2\r\n");
  CIniFile oIni;
  ASSERT_TRUE(oIni.Initialize(oFolder.File("a.ini").c_str()));
  ASSERT_TRUE(oIni.GetFirstKeyAndValue());
  ASSERT_TRUE(oIni.GetNextKeyAndValue());
  EXPECT_STREQ(oIni.GetKey(), "B");
  ASSERT_TRUE(oIni.GetFirstKeyAndValue());
  EXPECT_STREQ(oIni.GetKey(), "A");
}

TEST(IniFileErrors, MissingFileIsReported) {
  CLogCapture oLog;
  CTempFolder oFolder;
  CIniFile oIni;
  ASSERT_TRUE(oIni.Initialize(oFolder.File("none.ini").c_str()));
  EXPECT_FALSE(oIni.GetFirstKeyAndValue());
  EXPECT_TRUE(oLog.HasError("CIniFile::GetFirstKeyAndValue() cannot open INI file."));
  EXPECT_STREQ(oIni.GetKey(), "");
}

TEST(IniFileErrors, NextWithoutOpenFileIsReported) {
  CLogCapture oLog;
  CIniFile oIni;
  ASSERT_TRUE(oIni.Initialize("/nonexistent/x.ini"));
  EXPECT_FALSE(oIni.GetNextKeyAndValue());
  EXPECT_TRUE(oLog.HasError("CIniFile::GetNextKeyAndValue() finds INI file is not open."));
}

TEST(IniFileErrors, OverlongLineEndsTheReadingWithAReport) {
  CLogCapture oLog;
  const Pairs oPairs = ReadPairs("A=1\r\nB=" + std::string(600, 'x') + "\r\nC=3\r\n");
  EXPECT_EQ(oPairs, Pairs({{"A", "1"}}));
  EXPECT_TRUE(oLog.HasError("CTxtFile4::ReadTextLine has buffer overflow."));
}

TEST(IniFileErrors, GarbageNeverCrashes) {
  std::string sGarbage;
  for (int i = 0; i < 8000; ++i) sGarbage += static_cast<char>((i * 131 + 7) % 256);
  const Pairs oPairs = ReadPairs(sGarbage);
  for (const auto& oPair : oPairs) {
    EXPECT_LE(oPair.first.size() + oPair.second.size(), 512u);
  }
}

}  // namespace
}  // namespace wdx
