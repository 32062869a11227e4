#include "foundation/crypto_txt_file.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/scramble_table.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using test::CLogCapture;
using test::CTempFolder;

// --- the scrambling rule ---

TEST(CryptoScramble, TableIsFixedAndPrintable) {
  const std::string sTable = GetScrambleTable();
  ASSERT_EQ(sTable.size(), static_cast<size_t>(SCRAMBLE_TABLE_LENGTH));
  for (char cChar : sTable) {
    EXPECT_GE(cChar, 32);
    EXPECT_LE(cChar, 126);
  }
  // Files written by one build must be readable by every other: the table never changes.
  EXPECT_EQ(sTable.substr(0, 16), "G;$/r%!6o~zku>cT");
}

TEST(CryptoScramble, EveryPrintableCharacterRoundTripsAtPositions0To5000) {
  for (int64_t iPos = 0; iPos <= 5000; ++iPos) {
    for (int c = 32; c <= 126; ++c) {
      const unsigned char cByte = CCryptoTxtfile::Scramble(static_cast<unsigned char>(c), iPos);
      ASSERT_GE(cByte, 32) << "position " << iPos << " char " << c;
      ASSERT_LE(cByte, 192) << "position " << iPos << " char " << c;
      ASSERT_EQ(CCryptoTxtfile::Unscramble(cByte, iPos), c) << "position " << iPos;
    }
  }
}

TEST(CryptoScramble, PositionsWithoutKeyAreWrittenUnchanged) {
  for (int64_t iPos = 1990; iPos <= 2000; ++iPos) {
    EXPECT_EQ(CCryptoTxtfile::KeyAt(iPos), 0) << iPos;
    EXPECT_EQ(CCryptoTxtfile::Scramble('Q', iPos), 'Q') << iPos;
  }
  for (int64_t iPos = 2001; iPos <= 12000; ++iPos) {
    const bool bNoKey = iPos % 2000 >= 1990;
    EXPECT_EQ(CCryptoTxtfile::Scramble('Q', iPos) == 'Q',
              bNoKey || CCryptoTxtfile::KeyAt(iPos) == 0)
        << iPos;
    if (bNoKey) {
      EXPECT_EQ(CCryptoTxtfile::KeyAt(iPos), 0) << iPos;
    }
  }
}

TEST(CryptoScramble, KeyRepeatsEvery2000PositionsBeyond2000) {
  EXPECT_EQ(CCryptoTxtfile::KeyAt(0), static_cast<unsigned char>(GetScrambleTable()[0]));
  EXPECT_EQ(CCryptoTxtfile::KeyAt(4000), CCryptoTxtfile::KeyAt(0));
  EXPECT_EQ(CCryptoTxtfile::KeyAt(2001), CCryptoTxtfile::KeyAt(1));
  EXPECT_EQ(CCryptoTxtfile::KeyAt(3989), CCryptoTxtfile::KeyAt(1989));
  EXPECT_NE(CCryptoTxtfile::KeyAt(1989), 0);
}

// --- lines on disk ---

std::string WriteLines(const CTempFolder& oFolder, std::initializer_list<const char*> oLines) {
  CCryptoTxtfile oFile;
  EXPECT_TRUE(oFile.Initialize(255));
  const std::string sPath = oFolder.File("lines.caf");
  EXPECT_TRUE(oFile.Create(sPath.c_str()));
  for (const char* szLine : oLines) EXPECT_TRUE(oFile.Append(szLine));
  EXPECT_TRUE(oFile.Close());
  return oFolder.Read("lines.caf");
}

TEST(CryptoLines, SameTextOnLine0AndLine1GivesDifferentBytes) {
  CTempFolder oFolder;
  const std::string sBytes = WriteLines(oFolder, {"MachineName=SRV1", "MachineName=SRV1"});
  const size_t uLength = std::string("MachineName=SRV1").size();
  ASSERT_EQ(sBytes.size(), 2 * (uLength + 2));
  const std::string sFirst = sBytes.substr(0, uLength);
  const std::string sSecond = sBytes.substr(uLength + 2, uLength);
  EXPECT_NE(sFirst, sSecond);
  EXPECT_NE(sFirst, "MachineName=SRV1");
  EXPECT_EQ(sBytes.substr(uLength, 2), "\r\n");
}

TEST(CryptoLines, LinesReadBackAsWritten) {
  CTempFolder oFolder;
  std::string sAll;
  for (int c = 32; c <= 126; ++c) sAll += static_cast<char>(c);
  WriteLines(oFolder, {"[KEYS]", sAll.c_str(), "", "last=1"});
  CCryptoTxtfile oFile;
  ASSERT_TRUE(oFile.Initialize(255));
  ASSERT_TRUE(oFile.OpenForReadOnly(oFolder.File("lines.caf").c_str()));
  ASSERT_TRUE(oFile.ReadTextLine());
  EXPECT_STREQ(oFile.GetLineBuffer(), "[KEYS]");
  ASSERT_TRUE(oFile.ReadTextLine());
  EXPECT_EQ(std::string(oFile.GetLineBuffer()), sAll);
  ASSERT_TRUE(oFile.ReadTextLine());
  EXPECT_STREQ(oFile.GetLineBuffer(), "");
  ASSERT_TRUE(oFile.ReadTextLine());
  EXPECT_STREQ(oFile.GetLineBuffer(), "last=1");
  EXPECT_FALSE(oFile.ReadTextLine());
  EXPECT_TRUE(oFile.IsEof());
  EXPECT_EQ(oFile.GetLineCounter(), 5);
}

TEST(CryptoLines, CharacterOutsidePrintableRangeCutsTheLine) {
  CLogCapture oLog;
  CTempFolder oFolder;
  CCryptoTxtfile oFile;
  ASSERT_TRUE(oFile.Initialize(255));
  ASSERT_TRUE(oFile.Create(oFolder.File("cut.caf").c_str()));
  EXPECT_FALSE(
      oFile.Append("abc\x01"
                   "def"));
  EXPECT_FALSE(oFile.Append("tab\there"));
  EXPECT_FALSE(oFile.Append("high\xC3\xA9"));
  EXPECT_TRUE(oFile.Append("fine"));
  ASSERT_TRUE(oFile.Close());
  EXPECT_EQ(oLog.CountErrors("CCryptoTxtfile::Append failed."), 3);

  CCryptoTxtfile oReader;
  ASSERT_TRUE(oReader.Initialize(255));
  ASSERT_TRUE(oReader.OpenForReadOnly(oFolder.File("cut.caf").c_str()));
  const char* aszExpected[] = {"abc", "tab", "high", "fine"};
  for (const char* szExpected : aszExpected) {
    ASSERT_TRUE(oReader.ReadTextLine());
    EXPECT_STREQ(oReader.GetLineBuffer(), szExpected);
  }
}

TEST(CryptoLines, CrAndLfAreRefusedEvenWhereTheKeyIsZero) {
  // Line 7 of 255 starts at position 1785; column 205 is position 1990 (no key there).
  std::string sLine(205, 'x');
  sLine += "\r\nrest";
  CTempFolder oFolder;
  CCryptoTxtfile oFile;
  ASSERT_TRUE(oFile.Initialize(255));
  ASSERT_TRUE(oFile.Create(oFolder.File("k0.caf").c_str()));
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(oFile.Append("filler"));
  EXPECT_FALSE(oFile.Append(sLine.c_str()));
  ASSERT_TRUE(oFile.Close());
  const std::string sBytes = oFolder.Read("k0.caf");
  EXPECT_EQ(sBytes.find("\r\nrest"), std::string::npos);
}

TEST(CryptoLines, OverlongLineIsReportedAndFails) {
  CLogCapture oLog;
  CTempFolder oFolder;
  const std::string sLong(300, 'L');
  WriteLines(oFolder, {sLong.c_str()});
  CCryptoTxtfile oFile;
  ASSERT_TRUE(oFile.Initialize(255));
  ASSERT_TRUE(oFile.OpenForReadOnly(oFolder.File("lines.caf").c_str()));
  EXPECT_FALSE(oFile.ReadTextLine());
  EXPECT_TRUE(oFile.IsReadError());
  EXPECT_TRUE(oLog.HasError("CCryptoTxtfile::ReadTextLine has buffer overflow."));
}

TEST(CryptoLines, ErrorTextsNameTheClass) {
  CLogCapture oLog;
  CTempFolder oFolder;
  CCryptoTxtfile oFile;
  EXPECT_FALSE(oFile.OpenForReadOnly(oFolder.File("x").c_str()));
  EXPECT_TRUE(oLog.HasError("CCryptoTxtfile object is not properly initialized."));
  ASSERT_TRUE(oFile.Initialize(255));
  EXPECT_FALSE(oFile.OpenForReadOnly(oFolder.File("x").c_str()));
  EXPECT_TRUE(oLog.HasError("CCryptoTxtfile::OpenForReadOnly cannot find its file."));
  EXPECT_FALSE(oFile.OpenForReadWrite(oFolder.File("x").c_str()));
  EXPECT_TRUE(oLog.HasError("CCryptoTxtfile::OpenForReadWrite cannot find its file."));
  EXPECT_FALSE(oFile.Create((oFolder.Path() + "no/dir/x").c_str()));
  EXPECT_TRUE(oLog.HasError("CCryptoTxtfile::Create cannot create its file."));
  EXPECT_FALSE(oFile.ReadTextLine());
  EXPECT_TRUE(oLog.HasError("CCryptoTxtfile::ReadTextLine called but file is not open."));
  EXPECT_EQ(oFile.GetLineCounter(), 0);
}

}  // namespace
}  // namespace wdx
