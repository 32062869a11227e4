#include "console/logs/log_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using Lines = std::vector<std::string>;

class LogReaderTest : public ::testing::Test {
 protected:
  void Write(const std::string& sBytes) { m_oFolder.Write("Test.log", sBytes); }
  void Append(const std::string& sBytes) { Write(m_oFolder.Read("Test.log") + sBytes); }
  SLogPage Page(int64_t iBefore, int iLines) {
    SLogPage oPage;
    std::string sError;
    EXPECT_TRUE(m_oReader.ReadPage(iBefore, iLines, oPage, sError)) << sError;
    return oPage;
  }
  SLogPage After(int64_t iAfter) {
    SLogPage oPage;
    std::string sError;
    EXPECT_TRUE(m_oReader.ReadAfter(iAfter, oPage, sError)) << sError;
    return oPage;
  }

  test::CTempFolder m_oFolder;
  CLogReader m_oReader{m_oFolder.File("Test.log")};
};

TEST_F(LogReaderTest, PagesGoBackFromTheNewestLine) {
  std::string sText;
  for (int i = 0; i < 10; ++i) sText += "line " + std::to_string(i) + "\r\r\n";
  Write(sText);
  SLogPage oPage = Page(-1, 4);
  EXPECT_EQ(oPage.m_oLines, (Lines{"line 6", "line 7", "line 8", "line 9"}));
  EXPECT_EQ(oPage.m_iStart, 6 * 9);
  EXPECT_EQ(oPage.m_iEnd, 90);
  EXPECT_EQ(oPage.m_iSize, 90);
  EXPECT_TRUE(oPage.m_bMore);
  oPage = Page(oPage.m_iStart, 4);
  EXPECT_EQ(oPage.m_oLines, (Lines{"line 2", "line 3", "line 4", "line 5"}));
  EXPECT_EQ(oPage.m_iEnd, 6 * 9);
  oPage = Page(oPage.m_iStart, 4);
  EXPECT_EQ(oPage.m_oLines, (Lines{"line 0", "line 1"}));
  EXPECT_EQ(oPage.m_iStart, 0);
  EXPECT_FALSE(oPage.m_bMore);
  EXPECT_TRUE(Page(0, 4).m_oLines.empty());
}

TEST_F(LogReaderTest, LineEndsAndTheUnfinishedTail) {
  struct SCase {
    const char* szBytes;
    Lines oLines;
    const char* szTail;
    int64_t iEnd;
  };
  const SCase aCases[] = {
      {"a\r\r\nb\r\nc\nd\re\n", {"a", "b", "c", "d", "e"}, "", 13},
      {"a\n\nb\n", {"a", "", "b"}, "", 5},
      {"a\nb", {"a"}, "b", 2},
      {"a\nb\r\r", {"a"}, "b", 2},  // its LF may follow
      {"a\r", {}, "a", 0},
      {"", {}, "", 0},
  };
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(oCase.szBytes);
    Write(oCase.szBytes);
    const SLogPage oPage = Page(-1, 100);
    EXPECT_EQ(oPage.m_oLines, oCase.oLines);
    EXPECT_EQ(oPage.m_sTail, oCase.szTail);
    EXPECT_EQ(oPage.m_iEnd, oCase.iEnd);
  }
  // A page that ends inside the file ends with a whole line, whatever ends it.
  Write("a\rb\rc\r");
  EXPECT_EQ(Page(4, 100).m_oLines, (Lines{"a", "b"}));
}

TEST_F(LogReaderTest, FollowsNewLinesAndStartsAgainAfterRotation) {
  Write("one\r\r\n");
  int64_t iEnd = Page(-1, 10).m_iEnd;
  Append("two\r\r\nthr");
  SLogPage oPage = After(iEnd);
  EXPECT_EQ(oPage.m_oLines, Lines{"two"});
  EXPECT_EQ(oPage.m_sTail, "thr");
  EXPECT_FALSE(oPage.m_bRotated);
  Append("ee\r\r");
  EXPECT_TRUE(After(oPage.m_iEnd).m_oLines.empty());  // the line end is not whole yet
  Append("\n");
  oPage = After(oPage.m_iEnd);
  EXPECT_EQ(oPage.m_oLines, Lines{"three"});
  EXPECT_EQ(oPage.m_sTail, "");
  iEnd = oPage.m_iEnd;
  EXPECT_TRUE(After(iEnd).m_oLines.empty());

  Write("new\r\r\n");  // rotated: the file is shorter than what was read
  oPage = After(iEnd);
  EXPECT_TRUE(oPage.m_bRotated);
  EXPECT_EQ(oPage.m_iStart, 0);
  EXPECT_EQ(oPage.m_oLines, Lines{"new"});
  oPage = Page(iEnd, 10);
  EXPECT_TRUE(oPage.m_bRotated);
  EXPECT_EQ(oPage.m_oLines, Lines{"new"});
}

TEST_F(LogReaderTest, AMissingFileIsEmptyAndAGoneFileCountsAsRotated) {
  SLogPage oPage = Page(-1, 10);
  EXPECT_FALSE(oPage.m_bExists);
  EXPECT_TRUE(oPage.m_oLines.empty());
  EXPECT_FALSE(After(0).m_bRotated);
  EXPECT_TRUE(After(40).m_bRotated);
  Write("x\n");
  EXPECT_TRUE(Page(-1, 10).m_bExists);
}

TEST(LogReaderText, BytesAreShownSafely) {
  const std::string sBad = "\xEF\xBF\xBD";
  const std::pair<std::string, std::string> aCases[] = {
      {"caf\xC3\xA9 \xF0\x9F\x98\x80\tend", "caf\xC3\xA9 \xF0\x9F\x98\x80\tend"},
      {"M\xFCller", "M" + sBad + "ller"},               // Latin-1
      {"\x1B[31mred", sBad + "[31mred"},                // terminal escape
      {std::string("a\0b", 3), "a" + sBad + "b"},       // NUL
      {"\xC2\x85|\x7F", sBad + sBad + "|" + sBad},      // C1 control, DEL
      {"\xC0\xAF", sBad + sBad},                        // overlong
      {"\xED\xA0\x80", sBad + sBad + sBad},             // surrogate
      {"\xF4\x90\x80\x80", sBad + sBad + sBad + sBad},  // beyond U+10FFFF
      {"\xE2\x82", sBad + sBad},                        // cut short
  };
  for (const auto& [sIn, sOut] : aCases) EXPECT_EQ(SafeLogText(sIn), sOut);
}

TEST_F(LogReaderTest, HugeLinesAreShownInPartsAndCut) {
  const int64_t iHuge = 3 * kLogWindowBytes;
  Write(std::string(static_cast<size_t>(iHuge), 'x') + "\nshort\r\r\n");
  const std::string sCutLine = std::string(kLogLineShownBytes, 'x') + " ... (" +
                               std::to_string(kLogWindowBytes - 1 - kLogLineShownBytes) +
                               " more bytes)";
  SLogPage oPage = Page(-1, 10);
  EXPECT_EQ(oPage.m_oLines, Lines{"short"});
  EXPECT_EQ(oPage.m_iStart, iHuge + 1);
  oPage = Page(oPage.m_iStart, 10);
  EXPECT_EQ(oPage.m_oLines, Lines{sCutLine});
  EXPECT_EQ(oPage.m_iStart, iHuge + 1 - kLogWindowBytes);
  // Older pages each show one window's part of the long line, until its start.
  int iPages = 1;
  while (oPage.m_bMore && iPages < 10) {
    const int64_t iBefore = oPage.m_iStart;
    oPage = Page(iBefore, 10);
    ASSERT_EQ(oPage.m_oLines.size(), 1u);
    ASSERT_LT(oPage.m_iStart, iBefore);
    ++iPages;
  }
  EXPECT_EQ(iPages, 4);
  EXPECT_EQ(oPage.m_oLines, Lines{"x"});  // the window before the start's was one byte short

  // Following reads one window a step.
  oPage = After(0);
  EXPECT_TRUE(oPage.m_bMore);
  EXPECT_EQ(oPage.m_iEnd, kLogWindowBytes);
  EXPECT_EQ(oPage.m_oLines[0].size(), kLogLineShownBytes + 25);
  int iSteps = 1;
  while (oPage.m_bMore && iSteps < 10) {
    oPage = After(oPage.m_iEnd);
    ++iSteps;
  }
  EXPECT_EQ(iSteps, 4);
  EXPECT_EQ(oPage.m_oLines, (Lines{"", "short"}));  // the long line's end, then the next
}

}  // namespace
}  // namespace wdx
