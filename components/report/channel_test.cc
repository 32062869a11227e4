#include "components/report/channel.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/support/log_file_fixture.h"

namespace wdx {
namespace {

using Points = std::vector<std::pair<int32_t, int32_t>>;  // minutes, state
constexpr int kMin = 60;
const std::string kEnd = "\r\r\n";

// "MM/DD/YY HH:MM:SS" of 6 December 2026 00:00:00 plus iSeconds.
std::string Stamp(long iSeconds) {
  std::tm oBase = {};
  oBase.tm_year = 126;
  oBase.tm_mon = 11;
  oBase.tm_mday = 6;
  const std::time_t iAt = timegm(&oBase) + iSeconds;
  std::tm oTime = {};
  gmtime_r(&iAt, &oTime);
  char szText[32];
  std::strftime(szText, sizeof szText, "%m/%d/%y %H:%M:%S", &oTime);
  return szText;
}

std::string Ev(long iSeconds, const std::string& sText) {
  return Stamp(iSeconds) + " (event): " + sText;
}

class ChannelTest : public ::testing::Test {
 protected:
  ChannelTest() : m_oLocks(m_oLockFolder.Path()) {}

  std::string LogPath() const { return m_oFolder.File("UpTime.log"); }
  // UpTime.log: a banner line, then each line with its CR CR LF, then sTail as it is.
  void WriteLog(const std::vector<std::string>& aLines, const std::string& sTail = "") const {
    std::string sBytes = Stamp(0) + " Message: " + std::string(43, '/') + kEnd;
    for (const std::string& sLine : aLines) sBytes += sLine + kEnd;
    m_oFolder.Write("UpTime.log", sBytes + sTail);
  }
  // Loads as the report object does: one parser for the start and then the end text.
  bool Load(int32_t lType, const std::string& sDescription, const std::string& sStart,
            const std::string& sEnd = "") {
    CZuvTime oTime;
    oTime.SetStartTime(sStart.c_str());
    const SDateTime oStart = oTime.GetValue();
    oTime.SetStartTime(sEnd.c_str());
    return m_oChannel.ReInitialize(lType, sDescription, LogPath(), oStart, oTime.GetValue());
  }
  Points Walk() {
    Points aPoints;
    for (int32_t lAt = m_oChannel.GetFirstTimepoint(); lAt != -1;
         lAt = m_oChannel.GetNextTimepoint()) {
      aPoints.emplace_back(lAt, m_oChannel.GetPointState());
    }
    return aPoints;
  }

  test::CTempFolder m_oLockFolder;
  test::CPrivateLocks m_oLocks;
  test::CTempFolder m_oFolder;
  test::CInstalledClock m_oClock;  // now: 12/06/26 11:33:53
  test::CLogCapture m_oLog;
  CChannel m_oChannel;
};

TEST_F(ChannelTest, WalksTheMatchingLinesOfTheWindow) {
  struct SCase {
    const char* szName;
    std::vector<std::string> aLines;
    std::string sTail;  // a last line without its end
    int32_t lType;
    std::string sDescription;
    std::string sStart;
    std::string sEnd;
    Points aPoints;
  };
  const std::string sLong = "101, a, " + std::string(300, 'x') + ", ";
  const SCase aCases[] = {
      {"other type, other description and other letter case skipped",
       {Ev(10 * kMin, "101, http://a/, UP"), Ev(20 * kMin, "102, http://a/, DN"),
        Ev(30 * kMin, "101, http://b/, DN"), Ev(40 * kMin, "101, HTTP://A/, DN")},
       "",
       101,
       "http://a/",
       "12/06/26 00:00:00",
       "",
       {{10, 1}}},
      {"type 10 matches lines of type 100",
       {Ev(5 * kMin, "100, prog, DN")},
       "",
       10,
       "prog",
       "12/06/26 00:00:00",
       "",
       {{5, 0}}},
      {"window start after every line",
       {Ev(10 * kMin, "101, a, UP"), Ev(20 * kMin, "101, a, DN")},
       "",
       101,
       "a",
       "12/06/26 11:00:00",
       "",
       {}},
      {"lines before the start skipped",
       {Ev(10 * kMin, "101, a, UP"), Ev(20 * kMin, "101, a, DN")},
       "",
       101,
       "a",
       "12/06/26 00:15:00",
       "",
       {{5, 0}}},
      {"end time ends the series",
       {Ev(10 * kMin, "101, a, UP"), Ev(30 * kMin + 30, "101, a, DN"), Ev(31 * kMin, "101, a, UP")},
       "",
       101,
       "a",
       "12/06/26 00:00:00",
       "12/06/26 00:30:00",
       {{10, 1}, {30, 0}}},
      {"empty end loads up to now",
       {Ev(660 * kMin, "101, a, UP"), Ev(693 * kMin, "101, a, DN"), Ev(720 * kMin, "101, a, UP")},
       "",
       101,
       "a",
       "12/06/26 00:00:00",
       "",
       {{660, 1}, {693, 0}}},
      {"year 99 is 2099",
       {"01/01/99 00:05:00 (event): 101, a, UP"},
       "",
       101,
       "a",
       "1/1/99 0:0:0",
       "1/2/99 0:0:0",
       {{5, 1}}},
      {"clock set back: file order kept, never backwards",
       {Ev(60 * kMin, "101, a, UP"), Ev(90 * kMin, "101, a, DN"), Ev(70 * kMin, "101, a, UP"),
        Ev(100 * kMin, "101, a, DN")},
       "",
       101,
       "a",
       "12/06/26 00:00:00",
       "",
       {{60, 1}, {90, 0}, {90, 1}, {100, 0}}},
      {"a line dated a year ahead does not end the series",
       {Ev(10 * kMin, "101, a, UP"), "12/06/27 00:00:00 (event): 101, a, DN",
        Ev(20 * kMin, "101, a, DN")},
       "",
       101,
       "a",
       "12/06/26 00:00:00",
       "",
       {{10, 1}, {20, 0}}},
      {"garbage, bad stamps, no UP/DN and a torn last line skipped",
       {"garbage line", "(event): 101, a, UP", "99/99/99 00:00:00 (event): 101, a, DN",
        Ev(10 * kMin, "101, a, XX"), "", Ev(20 * kMin, "101, a, DN  ")},
       Ev(30 * kMin, "101, a, U"),
       101,
       "a",
       "12/06/26 00:00:00",
       "",
       {{20, 0}}},
      {"a whole last line without its CR LF is read",
       {Ev(10 * kMin, "101, a, DN")},
       Ev(20 * kMin, "101, a, UP"),
       101,
       "a",
       "12/06/26 00:00:00",
       "",
       {{10, 0}, {20, 1}}},
      {"over-long line: state from its real end, its rest not a line of its own",
       {Ev(10 * kMin, sLong + "DN"), Ev(20 * kMin, sLong + "UP"), Ev(30 * kMin, "101, a, DN")},
       "",
       101,
       "a",
       "12/06/26 00:00:00",
       "",
       {{10, 0}, {20, 1}, {30, 0}}},
      {"no valid start: minutes from the first point",
       {Ev(10 * kMin, "101, a, UP"), Ev(25 * kMin, "101, a, DN")},
       "",
       101,
       "a",
       "garbage",
       "",
       {{0, 1}, {15, 0}}},
  };
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(oCase.szName);
    WriteLog(oCase.aLines, oCase.sTail);
    ASSERT_TRUE(Load(oCase.lType, oCase.sDescription, oCase.sStart, oCase.sEnd));
    EXPECT_EQ(m_oChannel.GetCount(), static_cast<int>(oCase.aPoints.size()));
    EXPECT_EQ(Walk(), oCase.aPoints);
    EXPECT_EQ(m_oChannel.GetFirstStamp().IsEmpty(), oCase.aPoints.empty());
  }
}

TEST_F(ChannelTest, PointTextsOfTheOneDownLine) {
  WriteLog({"12/06/26 11:33:53 (event): 100, Web, DN"});
  ASSERT_TRUE(Load(100, "Web", "12/06/26 11:00:00"));
  ASSERT_EQ(m_oChannel.GetFirstTimepoint(), 33);
  EXPECT_EQ(m_oChannel.GetPointState(), 0);
  const std::pair<int32_t (CChannel::*)(), int32_t> aGetters[] = {{&CChannel::GetMonthNumber, 12},
                                                                  {&CChannel::GetDayNumber, 6},
                                                                  {&CChannel::GetYearNumber, 2026},
                                                                  {&CChannel::GetHourNumber, 11},
                                                                  {&CChannel::GetMinuteNumber, 33}};
  for (const auto& [pfnGetter, lValue] : aGetters) EXPECT_EQ((m_oChannel.*pfnGetter)(), lValue);
  EXPECT_STREQ(m_oChannel.GetFirstStamp().GetBuffer(), "12/06/26 11:33:53");
  EXPECT_EQ(m_oChannel.GetMinutesTillMidnight(), 746);
  // Past the last point the walk answers -1 again and again, and the getters 0.
  for (int iTry = 0; iTry < 3; ++iTry) EXPECT_EQ(m_oChannel.GetNextTimepoint(), -1);
  EXPECT_EQ(m_oChannel.GetPointState(), 0);
  for (const auto& [pfnGetter, lValue] : aGetters) EXPECT_EQ((m_oChannel.*pfnGetter)(), 0);
  EXPECT_EQ(m_oChannel.GetFirstTimepoint(), 33);
}

TEST_F(ChannelTest, OverLongLinesAreReportedOnceEach) {
  const std::string sLong = "101, a, " + std::string(300, 'x') + ", DN";
  WriteLog({Ev(10 * kMin, sLong), Ev(20 * kMin, "101, a, UP"), Ev(30 * kMin, sLong)});
  ASSERT_TRUE(Load(101, "a", "12/06/26 00:00:00"));
  EXPECT_EQ(Walk(), (Points{{10, 0}, {20, 1}, {30, 0}}));
  EXPECT_EQ(m_oLog.CountErrors("CChannel::LoadData() had a file read error on one line.."), 2);
  const std::string sMessage =
      " Message: Each line of UpTime.log should have a terminor sequence of CR,LF.\r\r\n";
  const std::string sText = m_oLog.Text();
  const size_t uFirst = sText.find(sMessage);
  ASSERT_NE(uFirst, std::string::npos);
  EXPECT_NE(sText.find(sMessage, uFirst + 1), std::string::npos);
}

TEST_F(ChannelTest, UnreadableFilesLoadNothingAndDropTheEarlierSeries) {
  struct SCase {
    const char* szName;
    const char* szBytes;  // nullptr: no file
    const char* szError;
  };
  const SCase aCases[] = {
      {"missing file", nullptr, "CTxtFile4::OpenForReadOnly cannot find its file."},
      {"empty file", "",
       "CChannel::LoadData(): UpTime.log is empty or lacks CR,LF line terminators.."},
      {"LF line ends only", "12/06/26 00:00:00 Message: x\n12/06/26 00:10:00 (event): 101, a, UP\n",
       "CChannel::LoadData(): UpTime.log is empty or lacks CR,LF line terminators.."},
  };
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(oCase.szName);
    WriteLog({Ev(10 * kMin, "101, a, UP")});
    ASSERT_TRUE(Load(101, "a", "12/06/26 00:00:00"));
    ASSERT_EQ(m_oChannel.GetCount(), 1);
    if (oCase.szBytes == nullptr) {
      std::remove(LogPath().c_str());
    } else {
      m_oFolder.Write("UpTime.log", oCase.szBytes);
    }
    const int iErrors = m_oLog.CountErrors(oCase.szError);
    const int iFailures = m_oLog.CountErrors("CChannel::ReInitialize() failed.");
    EXPECT_FALSE(Load(101, "a", "12/06/26 00:00:00"));
    EXPECT_FALSE(m_oChannel.IsLoaded());
    EXPECT_EQ(m_oChannel.GetCount(), 0);
    EXPECT_EQ(m_oChannel.GetFirstTimepoint(), -1);
    EXPECT_TRUE(m_oChannel.GetFirstStamp().IsEmpty());
    EXPECT_EQ(m_oLog.CountErrors(oCase.szError), iErrors + 1);
    EXPECT_EQ(m_oLog.CountErrors("CChannel::ReInitialize() failed."), iFailures + 1);
  }
}

TEST_F(ChannelTest, FullStacksKeepEveryChangeAndTheEndsOfEachRun) {
  std::vector<std::string> aLines;
  for (int iAt = 0; iAt < 5000; ++iAt) aLines.push_back(Ev(iAt * kMin, "101, a, UP"));
  aLines.push_back(Ev(5000 * kMin, "101, a, DN"));
  for (int iAt = 5001; iAt <= 5100; ++iAt) aLines.push_back(Ev(iAt * kMin, "101, a, UP"));
  WriteLog(aLines);
  ASSERT_TRUE(Load(101, "a", "12/06/26 00:00:00", "1/31/27 0:0:0"));
  const Points aPoints = Walk();
  ASSERT_EQ(aPoints.size(), 103u);
  EXPECT_EQ((Points(aPoints.begin(), aPoints.begin() + 4)),
            (Points{{0, 1}, {4999, 1}, {5000, 0}, {5001, 1}}));
  EXPECT_EQ(aPoints.back(), (std::pair<int32_t, int32_t>(5100, 1)));
  EXPECT_EQ(m_oLog.CountErrors("CPointerStack::Push() cannot. Stack limit reached."), 0);
}

TEST_F(ChannelTest, MoreThan4096ChangesEndTheSeriesWithOneError) {
  std::vector<std::string> aLines;
  for (int iAt = 0; iAt < 5000; ++iAt) {
    aLines.push_back(Ev(iAt * kMin, iAt % 2 == 0 ? "101, a, UP" : "101, a, DN"));
  }
  WriteLog(aLines);
  ASSERT_TRUE(Load(101, "a", "12/06/26 00:00:00", "1/31/27 0:0:0"));
  const Points aPoints = Walk();
  ASSERT_EQ(aPoints.size(), 4096u);
  EXPECT_EQ(aPoints.back(), (std::pair<int32_t, int32_t>(4095, 0)));
  EXPECT_EQ(m_oLog.CountErrors("CPointerStack::Push() cannot. Stack limit reached."), 1);
}

TEST_F(ChannelTest, TenMegabytesOfFiftyItemsLoad) {
  // One line per item and minute; item 7 goes down every tenth minute.
  std::string sBytes = Stamp(0) + " Message: " + std::string(43, '/') + kEnd;
  int iMinute = 0;
  for (; sBytes.size() < 10'000'000; ++iMinute) {
    for (int iItem = 0; iItem < 50; ++iItem) {
      const bool bDown = iItem == 7 && iMinute % 10 == 9;
      const std::string sName = (iItem < 10 ? "u0" : "u") + std::to_string(iItem);
      sBytes += Ev(iMinute * kMin, "101, " + sName + (bDown ? ", DN" : ", UP")) + kEnd;
    }
  }
  m_oFolder.Write("UpTime.log", sBytes);
  ASSERT_TRUE(Load(101, "u07", "12/06/26 00:00:00", "1/31/27 0:0:0"));
  const Points aPoints = Walk();
  ASSERT_GT(iMinute, 4096);
  ASSERT_LE(aPoints.size(), 4096u);
  // Every down minute is kept, with the up minutes on either side of it.
  int iDowns = 0;
  for (size_t uAt = 0; uAt < aPoints.size(); ++uAt) {
    if (aPoints[uAt].second != 0) continue;
    ++iDowns;
    EXPECT_EQ(aPoints[uAt].first % 10, 9);
    ASSERT_GT(uAt, 0u);
    EXPECT_EQ(aPoints[uAt - 1], (std::pair<int32_t, int32_t>(aPoints[uAt].first - 1, 1)));
  }
  EXPECT_EQ(iDowns, iMinute / 10);
  EXPECT_EQ(aPoints.back().first, iMinute - 1);
}

}  // namespace
}  // namespace wdx
