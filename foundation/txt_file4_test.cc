#include "foundation/txt_file4.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using test::CLogCapture;
using test::CTempFolder;

// Reads every line of the bytes with a buffer of iSize; the results of each call are kept.
struct SReadAll {
  std::vector<std::string> oLines;
  std::vector<bool> oResults;
};

SReadAll ReadAll(const std::string& sBytes, int iSize = 64) {
  CTempFolder oFolder;
  oFolder.Write("in.txt", sBytes);
  CTxtFile4 oFile;
  EXPECT_TRUE(oFile.Initialize(iSize));
  EXPECT_TRUE(oFile.OpenForReadOnly(oFolder.File("in.txt").c_str()));
  SReadAll oAll;
  for (int i = 0; i < 100; ++i) {
    const bool bRead = oFile.ReadTextLine();
    if (!bRead && oFile.IsEof()) break;
    oAll.oResults.push_back(bRead);
    oAll.oLines.push_back(oFile.GetLineBuffer());
    if (!bRead) break;
  }
  return oAll;
}

std::vector<std::string> Lines(std::initializer_list<const char*> oTexts) {
  return std::vector<std::string>(oTexts.begin(), oTexts.end());
}

// --- line ends ---

TEST(TxtFile4LineEnds, CrLfLinesReadInOrder) {
  EXPECT_EQ(ReadAll("abc\r\ndef\r\n").oLines, Lines({"abc", "def"}));
}

TEST(TxtFile4LineEnds, CrCrLfEndsOneLine) {
  EXPECT_EQ(ReadAll("abc\r\r\nxyz\r\r\n").oLines, Lines({"abc", "xyz"}));
}

TEST(TxtFile4LineEnds, LfCrAlsoEndsALine) {
  EXPECT_EQ(ReadAll("abc\n\rdef\n\r").oLines, Lines({"abc", "def"}));
}

TEST(TxtFile4LineEnds, StrayLfIsDroppedAndJoinsLines) {
  EXPECT_EQ(ReadAll("abc\ndef\r\n").oLines, Lines({"abcdef"}));
}

TEST(TxtFile4LineEnds, EmptyLineReturnsTrueWithEmptyText) {
  const SReadAll oAll = ReadAll("a1\r\n\r\nb2\r\n");
  EXPECT_EQ(oAll.oLines, Lines({"a1", "", "b2"}));
  EXPECT_EQ(oAll.oResults, std::vector<bool>({true, true, true}));
}

// --- last line without terminator ---

TEST(TxtFile4LastLine, TwoCharactersWithoutTerminatorAreReturned) {
  EXPECT_EQ(ReadAll("abc\r\nde").oLines, Lines({"abc", "de"}));
}

TEST(TxtFile4LastLine, OneCharacterWithoutTerminatorIsNotReturned) {
  CTempFolder oFolder;
  oFolder.Write("in.txt", "abc\r\nd");
  CTxtFile4 oFile;
  ASSERT_TRUE(oFile.Initialize(16));
  ASSERT_TRUE(oFile.OpenForReadOnly(oFolder.File("in.txt").c_str()));
  ASSERT_TRUE(oFile.ReadTextLine());
  EXPECT_FALSE(oFile.ReadTextLine());
  EXPECT_TRUE(oFile.IsEof());
  EXPECT_FALSE(oFile.IsReadError());
}

TEST(TxtFile4LastLine, EmptyFileGivesEndOfFile) {
  CTempFolder oFolder;
  oFolder.Write("in.txt", "");
  CTxtFile4 oFile;
  ASSERT_TRUE(oFile.Initialize(16));
  ASSERT_TRUE(oFile.OpenForReadOnly(oFolder.File("in.txt").c_str()));
  EXPECT_FALSE(oFile.ReadTextLine());
  EXPECT_TRUE(oFile.IsEof());
  EXPECT_STREQ(oFile.GetLineBuffer(), "");
}

// --- overflow ---

TEST(TxtFile4Overflow, LineOfBufferSizeFits) {
  const std::string sLine(4096, 'x');
  const SReadAll oAll = ReadAll(sLine + "\r\nok\r\n", 4096);
  EXPECT_EQ(oAll.oLines, std::vector<std::string>({sLine, "ok"}));
}

TEST(TxtFile4Overflow, LongerLineIsCutReportedAndFails) {
  CLogCapture oLog;
  CTempFolder oFolder;
  oFolder.Write("in.txt", std::string(10, 'y') + "\r\n");
  CTxtFile4 oFile;
  ASSERT_TRUE(oFile.Initialize(8));
  ASSERT_TRUE(oFile.OpenForReadOnly(oFolder.File("in.txt").c_str()));
  EXPECT_FALSE(oFile.ReadTextLine());
  EXPECT_TRUE(oFile.IsReadError());
  EXPECT_EQ(std::string(oFile.GetLineBuffer()), std::string(8, 'y'));
  EXPECT_TRUE(oLog.HasError("CTxtFile4::ReadTextLine has buffer overflow."));
}

TEST(TxtFile4Overflow, QuietObjectSendsOverflowToDebugOutputNotLog) {
  CLogCapture oLog;
  CTempFolder oFolder;
  oFolder.Write("in.txt", std::string(300, 'z'));
  CTxtFile4 oFile;
  oFile.SetQuiet(true);
  ASSERT_TRUE(oFile.Initialize(16));
  ASSERT_TRUE(oFile.OpenForReadOnly(oFolder.File("in.txt").c_str()));
  EXPECT_FALSE(oFile.ReadTextLine());
  EXPECT_FALSE(oLog.HasError("CTxtFile4::ReadTextLine has buffer overflow."));
}

TEST(TxtFile4Overflow, BinaryGarbageNeverOverrunsTheBuffer) {
  std::string sGarbage;
  for (int i = 0; i < 20000; ++i) sGarbage += static_cast<char>((i * 7919) % 256);
  CTempFolder oFolder;
  oFolder.Write("in.bin", sGarbage);
  CTxtFile4 oFile;
  ASSERT_TRUE(oFile.Initialize(32));
  ASSERT_TRUE(oFile.OpenForReadOnly(oFolder.File("in.bin").c_str()));
  int iCalls = 0;
  while (iCalls < 100000 && !oFile.IsEof()) {
    oFile.ReadTextLine();
    EXPECT_LE(std::string(oFile.GetLineBuffer()).size(), 32u);
    ++iCalls;
  }
  EXPECT_TRUE(oFile.IsEof());
}

// --- open modes and writing ---

TEST(TxtFile4Open, ReadOnlyOfMissingFileFailsWithText) {
  CLogCapture oLog;
  CTempFolder oFolder;
  CTxtFile4 oFile;
  ASSERT_TRUE(oFile.Initialize(16));
  EXPECT_FALSE(oFile.OpenForReadOnly(oFolder.File("none.txt").c_str()));
  EXPECT_FALSE(oFile.IsOpen());
  EXPECT_TRUE(oLog.HasError("CTxtFile4::OpenForReadOnly cannot find its file."));
  EXPECT_FALSE(oFile.OpenForReadOnlyQuietly(oFolder.File("none.txt").c_str()));
  EXPECT_EQ(oLog.CountErrors("CTxtFile4::OpenForReadOnly cannot find its file."), 1);
  EXPECT_FALSE(oFile.OpenForReadWrite(oFolder.File("none.txt").c_str()));
  EXPECT_TRUE(oLog.HasError("CTxtFile4::OpenForReadWrite cannot open its file."));
}

TEST(TxtFile4Open, UninitialisedObjectRefusesToOpen) {
  CLogCapture oLog;
  CTempFolder oFolder;
  oFolder.Write("in.txt", "abc\r\n");
  CTxtFile4 oFile;
  EXPECT_FALSE(oFile.OpenForReadOnly(oFolder.File("in.txt").c_str()));
  EXPECT_FALSE(oFile.ReadTextLine());
  EXPECT_TRUE(oLog.HasError("CTxtFile4 object is not properly initialized."));
}

TEST(TxtFile4Open, PathOf256BytesIsRefused) {
  CTempFolder oFolder;
  CTxtFile4 oFile;
  ASSERT_TRUE(oFile.Initialize(16));
  const std::string sLong = oFolder.Path() + std::string(256, 'p');
  EXPECT_FALSE(oFile.Create(sLong.c_str()));
  EXPECT_FALSE(oFile.IsOpen());
}

TEST(TxtFile4Open, ReadWithoutOpenStreamIsReported) {
  CLogCapture oLog;
  CTxtFile4 oFile;
  ASSERT_TRUE(oFile.Initialize(16));
  EXPECT_FALSE(oFile.ReadTextLine());
  EXPECT_TRUE(oLog.HasError("CTxtFile4::ReadTextLine called but file is not open."));
  EXPECT_FALSE(oFile.WriteTextLine("x"));
  EXPECT_TRUE(oFile.Close());
}

TEST(TxtFile4Write, CreateTruncatesAndAppendAdds) {
  CTempFolder oFolder;
  oFolder.Write("out.txt", "old content\r\n");
  const std::string sPath = oFolder.File("out.txt");
  CTxtFile4 oFile;
  ASSERT_TRUE(oFile.Initialize(64));
  ASSERT_TRUE(oFile.Create(sPath.c_str()));
  EXPECT_TRUE(oFile.WriteTextLine("first"));
  ASSERT_TRUE(oFile.Close());
  ASSERT_TRUE(oFile.ReOpenForReadAppend(sPath.c_str()));
  EXPECT_TRUE(oFile.WriteTextLine("second"));
  ASSERT_TRUE(oFile.Close());
  EXPECT_EQ(oFolder.Read("out.txt"), "first\r\nsecond\r\n");
}

TEST(TxtFile4Write, ReadAppendCreatesMissingFile) {
  CTempFolder oFolder;
  CTxtFile4 oFile;
  ASSERT_TRUE(oFile.Initialize(64));
  ASSERT_TRUE(oFile.ReOpenForReadAppend(oFolder.File("new.txt").c_str()));
  EXPECT_TRUE(oFile.WriteTextLine("100%"));
  ASSERT_TRUE(oFile.Close());
  EXPECT_EQ(oFolder.Read("new.txt"), "100%\r\n");
}

TEST(TxtFile4Write, DeleteRemovesFileAndClosesStream) {
  CTempFolder oFolder;
  const std::string sPath = oFolder.File("gone.txt");
  CTxtFile4 oFile;
  ASSERT_TRUE(oFile.Initialize(64));
  ASSERT_TRUE(oFile.Create(sPath.c_str()));
  EXPECT_TRUE(oFile.Delete(sPath.c_str()));
  EXPECT_FALSE(oFile.IsOpen());
  EXPECT_FALSE(oFile.OpenForReadOnlyQuietly(sPath.c_str()));
}

}  // namespace
}  // namespace wdx
