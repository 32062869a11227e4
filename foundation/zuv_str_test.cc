#include "foundation/zuv_str.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/support/log_capture.h"

namespace wdx {
namespace {

const char* const kAssignTooLong = "CZuvStr::Assign() has input string too long.";
const char* const kAssignFailed = "CZuvStr::Assign() failed.";
const char* const kAppendTooLong =
    "CZuvStr::operator+=() was passed in a string that \ris byond max length of "
    "ZUV_MAX_STR_LENGTH.";

// --- Capacity and limits -----------------------------------------------------------------

TEST(ZuvStrCapacity, EmptyObjectGets260Bytes) {
  CZuvStr oStr;
  EXPECT_EQ(oStr.GetCapacity(), 260);
  EXPECT_TRUE(oStr.IsEmpty());
  EXPECT_STREQ(oStr.GetBuffer(), "");
}

TEST(ZuvStrCapacity, NewBufferFollowsTheLengthRule) {
  EXPECT_EQ(CZuvStr("a").GetCapacity(), 8);
  EXPECT_EQ(CZuvStr("abcd").GetCapacity(), 8);
  EXPECT_EQ(CZuvStr("abcde").GetCapacity(), 10);
  EXPECT_EQ(CZuvStr(std::string(33, 'x').c_str()).GetCapacity(), 66);
  EXPECT_EQ(CZuvStr(std::string(34, 'x').c_str()).GetCapacity(), 50);
}

TEST(ZuvStrCapacity, ShorterTextIsCopiedInPlaceAndLongerReallocates) {
  CZuvStr oStr(std::string(40, 'x').c_str());
  ASSERT_EQ(oStr.GetCapacity(), 56);
  ASSERT_TRUE(oStr.Assign("short"));
  EXPECT_EQ(oStr.GetCapacity(), 56);
  EXPECT_STREQ(oStr.GetBuffer(), "short");
  ASSERT_TRUE(oStr.Assign(std::string(54, 'y').c_str()));  // 54 + 2 is not below 56
  EXPECT_EQ(oStr.GetCapacity(), 70);
  EXPECT_EQ(oStr.GetLength(), 54);
  ASSERT_TRUE(oStr.Assign(""));
  EXPECT_EQ(oStr.GetCapacity(), 70);
  EXPECT_TRUE(oStr.IsEmpty());
}

TEST(ZuvStrCapacity, GrowthByAppendGoesStraightToTheLimit) {
  CZuvStr oStr("abc");
  ASSERT_TRUE(oStr += "defgh");
  EXPECT_EQ(oStr.GetCapacity(), ZUV_MAX_STR_LENGTH);
  EXPECT_STREQ(oStr.GetBuffer(), "abcdefgh");
}

TEST(ZuvStrLimits, AssignAcceptsUpTo2046Characters) {
  test::CLogCapture oLog;
  CZuvStr oStr("old");
  EXPECT_TRUE(oStr.Assign(std::string(2046, 'a').c_str()));
  EXPECT_EQ(oStr.GetLength(), 2046);
  EXPECT_FALSE(oLog.HasError(kAssignTooLong));
}

TEST(ZuvStrLimits, AssignRefuses2047CharactersAndKeepsTheOldText) {
  test::CLogCapture oLog;
  CZuvStr oStr("old");
  EXPECT_FALSE(oStr.Assign(std::string(2047, 'a').c_str()));
  EXPECT_STREQ(oStr.GetBuffer(), "old");
  EXPECT_EQ(oLog.CountErrors(kAssignTooLong), 1);
  EXPECT_EQ(oLog.CountErrors(kAssignFailed), 1);
}

TEST(ZuvStrLimits, AppendThatNeedsTheLimitIsRefused) {
  test::CLogCapture oLog;
  CZuvStr oStr("abc");
  EXPECT_FALSE(oStr += std::string(2043, 'z').c_str());  // 3 + 2043 + 2 = 2048
  EXPECT_STREQ(oStr.GetBuffer(), "abc");
  EXPECT_EQ(oLog.CountErrors(kAppendTooLong), 1);
  EXPECT_TRUE(oStr += std::string(2042, 'z').c_str());
  EXPECT_EQ(oStr.GetLength(), 2045);
}

TEST(ZuvStrLimits, AppendThatFitsTheBufferIsNeverRefused) {
  CZuvStr oStr(std::string(2040, 'a').c_str());
  ASSERT_EQ(oStr.GetCapacity(), 2056);
  EXPECT_TRUE(oStr += "0123456789");  // needs 2052 bytes: over the limit but within the buffer
  EXPECT_EQ(oStr.GetLength(), 2050);
  EXPECT_FALSE(oStr += "0123456789");  // now the buffer would have to grow
  EXPECT_EQ(oStr.GetLength(), 2050);
}

TEST(ZuvStrLimits, SilencedReportsStillRefuse) {
  test::CLogCapture oLog;
  CZuvStr::SetReportsEnabled(false);
  CZuvStr oStr("keep");
  const bool bAssigned = oStr.Assign(std::string(3000, 'a').c_str());
  const bool bAppended = (oStr += std::string(3000, 'a').c_str());
  CZuvStr::SetReportsEnabled(true);
  EXPECT_FALSE(bAssigned);
  EXPECT_FALSE(bAppended);
  EXPECT_STREQ(oStr.GetBuffer(), "keep");
  EXPECT_FALSE(oLog.HasError(kAssignTooLong));
  EXPECT_FALSE(oLog.HasError(kAppendTooLong));
}

// --- Assignment and appending ---------------------------------------------------------------

TEST(ZuvStrAssign, NullTextIsTheEmptyText) {
  CZuvStr oStr("x");
  EXPECT_TRUE(oStr.Assign(static_cast<const char*>(nullptr)));
  EXPECT_TRUE(oStr.IsEmpty());
  EXPECT_TRUE(oStr += static_cast<const char*>(nullptr));
}

TEST(ZuvStrAssign, CopiesAreIndependent) {
  CZuvStr oFirst("alpha");
  CZuvStr oSecond(oFirst);
  oSecond += "beta";
  CZuvStr oThird;
  oThird = oFirst;
  oFirst.Assign("gamma");
  EXPECT_STREQ(oSecond.GetBuffer(), "alphabeta");
  EXPECT_STREQ(oThird.GetBuffer(), "alpha");
}

TEST(ZuvStrAssign, AppendingItselfDoublesTheText) {
  CZuvStr oStr("abc");
  ASSERT_TRUE(oStr += oStr);
  EXPECT_STREQ(oStr.GetBuffer(), "abcabc");
  ASSERT_TRUE(oStr += oStr);  // now within the grown buffer
  EXPECT_STREQ(oStr.GetBuffer(), "abcabcabcabc");
}

TEST(ZuvStrAssign, AssigningPartOfItselfWorks) {
  CZuvStr oStr(std::string(40, 'q').c_str());
  oStr += "tail";
  ASSERT_TRUE(oStr.Assign(oStr.GetBuffer() + 40));
  EXPECT_STREQ(oStr.GetBuffer(), "tail");
}

TEST(ZuvStrAssign, CharacterAppend) {
  CZuvStr oStr("ab");
  oStr += 'c';
  EXPECT_STREQ(oStr.GetBuffer(), "abc");
}

TEST(ZuvStrAssign, WideTextBecomesUtf8) {
  CZuvStr oStr;
  ASSERT_TRUE(oStr.AssignWide(L"h\u00e9llo \u20ac"));
  EXPECT_STREQ(oStr.GetBuffer(), "h\xc3\xa9llo \xe2\x82\xac");
  EXPECT_TRUE(oStr.AssignWide(nullptr));
  EXPECT_TRUE(oStr.IsEmpty());
  EXPECT_FALSE(oStr.AssignWide(std::wstring(3000, L'w').c_str()));
}

// --- Comparison and search ------------------------------------------------------------------

TEST(ZuvStrCompare, IsEqualIsExact) {
  CZuvStr oStr("Abc");
  EXPECT_TRUE(oStr.IsEqual("Abc"));
  EXPECT_FALSE(oStr.IsEqual("abc"));
  EXPECT_TRUE(oStr.IsEqual(CZuvStr("Abc")));
}

TEST(ZuvStrCompare, EqualsNoCaseIgnoresCaseAndTrimCharacters) {
  EXPECT_TRUE(CZuvStr("  Hello\t").EqualsNoCase("hELLO"));
  EXPECT_TRUE(CZuvStr("").EqualsNoCase(" \r\n"));
  EXPECT_FALSE(CZuvStr("hello").EqualsNoCase("hell"));
  EXPECT_FALSE(CZuvStr("hell").EqualsNoCase("hello"));
  EXPECT_FALSE(CZuvStr("abc").EqualsNoCase(""));
  EXPECT_FALSE(CZuvStr("xabc").EqualsNoCase("abcd"));
}

TEST(ZuvStrFind, ResumesAfterThePartialMatchStart) {
  EXPECT_EQ(CZuvStr("aaab").Find("aab"), 1);
  EXPECT_EQ(CZuvStr("abababc").Find("ababc"), 2);
}

TEST(ZuvStrFind, CaseIsIgnoredUnlessExact) {
  CZuvStr oStr("Process Name");
  EXPECT_EQ(oStr.Find("name"), 8);
  EXPECT_EQ(oStr.Find("name", true), -1);
  EXPECT_EQ(oStr.Find("Name", true), 8);
  EXPECT_EQ(oStr.Find("n"), 8);
  EXPECT_EQ(oStr.Find("s", true), 5);
}

TEST(ZuvStrFind, EmptyOrMissingGivesMinusOne) {
  EXPECT_EQ(CZuvStr("abc").Find(""), -1);
  EXPECT_EQ(CZuvStr("abc").Find(nullptr), -1);
  EXPECT_EQ(CZuvStr("").Find("a"), -1);
  EXPECT_EQ(CZuvStr("abc").Find("abcd"), -1);
  EXPECT_EQ(CZuvStr("abc").Find("x"), -1);
}

// --- Pieces -----------------------------------------------------------------------------------

TEST(ZuvStrPieces, LeftAndMid) {
  CZuvStr oStr("abcdef");
  EXPECT_STREQ(oStr.Left(2), "ab");
  EXPECT_STREQ(oStr.Left(99), "abcdef");
  EXPECT_STREQ(oStr.Left(-1), "");
  EXPECT_STREQ(oStr.Mid(4), "ef");
  EXPECT_STREQ(oStr.Mid(1, 3), "bcd");
  EXPECT_STREQ(oStr.Mid(4, 10), "ef");
  EXPECT_STREQ(oStr.Mid(6), "");
  EXPECT_STREQ(oStr.Mid(60, 2), "");
  EXPECT_STREQ(oStr.GetBuffer(), "abcdef");
}

TEST(ZuvStrPieces, MidWithCountZeroGivesOneCharacter) {
  CZuvStr oStr("abc");
  EXPECT_STREQ(oStr.Mid(1, 0), "b");
  EXPECT_STREQ(oStr.Mid(2, -5), "c");
}

TEST(ZuvStrPieces, ScratchResultsAreCappedForLongTexts) {
  CZuvStr oStr(std::string(2000, 'm').c_str());
  EXPECT_EQ(std::string(oStr.Left(2000)).size(), 1039u);
  EXPECT_EQ(std::string(oStr.Mid(10)).size(), 1039u);
}

TEST(ZuvStrPieces, RightChangesTheObject) {
  CZuvStr oStr("abcdef");
  EXPECT_STREQ(oStr.Right(10), "abcdef");
  EXPECT_STREQ(oStr.Right(2), "ef");
  EXPECT_STREQ(oStr.GetBuffer(), "ef");
  EXPECT_STREQ(oStr.Right(0), "");
}

TEST(ZuvStrPieces, TrimRemovesControlTildeAndHighBytes) {
  CZuvStr oStr("\tvalue~");
  EXPECT_STREQ(oStr.Trim(), "value");
  CZuvStr oHigh("\x80\xff a b \x7f");
  EXPECT_STREQ(oHigh.Trim(), "a b");
  CZuvStr oAll(" \t~\r\n");
  EXPECT_STREQ(oAll.Trim(), "");
  CZuvStr oLeft("  x  ");
  EXPECT_STREQ(oLeft.TrimLeft(), "x  ");
  EXPECT_STREQ(oLeft.TrimRight(), "x");
  EXPECT_TRUE(CZuvStr::IsTrimChar('}' + 1));
  EXPECT_FALSE(CZuvStr::IsTrimChar('}'));
  EXPECT_FALSE(CZuvStr::IsTrimChar('!'));
}

TEST(ZuvStrPieces, SplitAtTheFirstDelimiter) {
  CZuvStr oStr("a=b=c");
  CZuvStr oOut;
  oStr.SplitAt('=', oOut);
  EXPECT_STREQ(oOut.GetBuffer(), "a");
  EXPECT_STREQ(oStr.GetBuffer(), "b=c");
  oStr.SplitAt(';', oOut);
  EXPECT_STREQ(oOut.GetBuffer(), "b=c");
  EXPECT_TRUE(oStr.IsEmpty());
}

TEST(ZuvStrPieces, SplitAtIsExact) {
  CZuvStr oStr("aXbxc");
  CZuvStr oOut;
  oStr.SplitAt('x', oOut);
  EXPECT_STREQ(oOut.GetBuffer(), "aXb");
  EXPECT_STREQ(oStr.GetBuffer(), "c");
}

// --- Numbers and conversions -----------------------------------------------------------------

TEST(ZuvStrNumbers, ToIntReadsBlanksSignAndDigits) {
  EXPECT_EQ(CZuvStr("  -42xyz").ToInt(), -42);
  EXPECT_EQ(CZuvStr("+17").ToInt(), 17);
  EXPECT_EQ(CZuvStr("1000").ToInt(), 1000);
  EXPECT_EQ(CZuvStr("").ToInt(), 0);
  EXPECT_EQ(CZuvStr("abc").ToInt(), 0);
  EXPECT_EQ(CZuvStr("-").ToInt(), 0);
}

TEST(ZuvStrNumbers, ToIntClampsOverlongNumbers) {
  EXPECT_EQ(CZuvStr("99999999999999999999999").ToInt(), INT_MAX);
  EXPECT_EQ(CZuvStr("-99999999999999999999999").ToInt(), INT_MIN);
  EXPECT_EQ(CZuvStr("-2147483648").ToInt(), INT_MIN);
}

TEST(ZuvStrNumbers, FromIntAndFromUInt) {
  CZuvStr oStr("previous");
  EXPECT_STREQ(oStr.FromInt(INT_MIN), "-2147483648");
  EXPECT_STREQ(oStr.FromUInt(4294967295u), "4294967295");
  EXPECT_STREQ(oStr.FromInt(0), "0");
}

TEST(ZuvStrConvert, MakeUpperFoldsAsciiOnly) {
  CZuvStr oStr("abc-xyz \xe9");
  EXPECT_STREQ(oStr.MakeUpper(), "ABC-XYZ \xe9");
}

TEST(ZuvStrConvert, EscapeBackslashesDoublesBothSlashes) {
  CZuvStr oStr("a/b\\c");
  EXPECT_STREQ(oStr.EscapeBackslashes(), "a\\\\b\\\\c");
  EXPECT_STREQ(oStr.GetBuffer(), "a/b\\c");
}

TEST(ZuvStrConvert, EscapeBackslashesOfALongPathStaysInTheScratchArea) {
  CZuvStr oStr(std::string(2000, '/').c_str());
  EXPECT_EQ(std::string(oStr.EscapeBackslashes()), std::string(1038, '\\'));
}

}  // namespace
}  // namespace wdx
