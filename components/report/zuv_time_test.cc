#include "components/report/zuv_time.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "tests/support/log_capture.h"
#include "tests/support/log_file_fixture.h"

namespace wdx {
namespace {

TEST(ZuvTimeParse, AcceptsTheStampFormsAndRefusesImpossibleDates) {
  struct SCase {
    const char* szText;
    const char* szNormalised;  // nullptr: refused
  };
  const SCase aCases[] = {
      {"12/06/26 11:33:53", "12/6/2026 11:33:53"},
      {"12/6/2026 0:5:0", "12/6/2026 0:5:0"},
      {"1/1/99 0:0:0", "1/1/2099 0:0:0"},
      {"1/1/5 0:0:0", "1/1/205 0:0:0"},  // a short year gets "20" in front, as given
      {"12/06/26", "12/6/2026 0:0:0"},
      {"12/06/26 11:33:53 Message: //////////", "12/6/2026 11:33:53"},
      {"02/29/24 23:59:59", "2/29/2024 23:59:59"},
      {"02/29/25 00:00:00", nullptr},
      {"13/01/26 00:00:00", nullptr},
      {"12/06/26 24:00:00", nullptr},
      {"12/06/26 11:60:00", nullptr},
      {"12/x6/26 11:00:00", nullptr},
      {"garbage", nullptr},
      {"1/1/10000 0:0:0", nullptr},
  };
  test::CTempFolder oLocks;
  test::CPrivateLocks oPrivate(oLocks.Path());
  test::CLogCapture oLog;
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(oCase.szText);
    CZuvTime oTime;
    const bool bParsed = oTime.SetStartTime(oCase.szText);
    ASSERT_EQ(bParsed, oCase.szNormalised != nullptr);
    if (bParsed) {
      EXPECT_STREQ(oTime.GetText().GetBuffer(), oCase.szNormalised);
      EXPECT_TRUE(oTime.GetValue().IsValid());
    } else {
      EXPECT_EQ(oTime.GetValue().m_eStatus, EDateTimeStatus::INVALID);
      const std::string sEntry = std::string(" Message: ") + oCase.szText + "\r\r\n";
      EXPECT_NE(oLog.Text().find(sEntry), std::string::npos);
    }
  }
  EXPECT_EQ(oLog.CountErrors("CZuvTime::SetStartTime received an invalid time string: "), 7);
}

TEST(ZuvTimeParse, EmptyTextChangesNothing) {
  CZuvTime oTime;
  ASSERT_TRUE(oTime.SetStartTime("12/06/26 11:33:53"));
  const double dBefore = oTime.GetValue().m_dDays;
  EXPECT_FALSE(oTime.SetStartTime(""));
  EXPECT_EQ(oTime.GetValue().m_dDays, dBefore);
  EXPECT_TRUE(oTime.GetValue().IsValid());
}

TEST(ZuvTimeValue, CountsDaysFromTheLastDayOf1899) {
  struct SCase {
    SLocalTime oParts;
    double dDays;
  };
  const SCase aCases[] = {
      {{1899, 12, 30, 0, 0, 0}, 0.0},
      {{1900, 1, 1, 12, 0, 0}, 2.5},
      {{2000, 1, 1, 6, 0, 0}, 36526.25},
      {{2026, 12, 6, 0, 0, 0}, 46362.0},
  };
  for (const SCase& oCase : aCases) {
    SDateTime oValue;
    ASSERT_TRUE(MakeDateTime(oCase.oParts, oValue));
    EXPECT_DOUBLE_EQ(oValue.m_dDays, oCase.dDays) << oCase.oParts.m_iYear;
  }
}

TEST(ZuvTimeMinutes, WholeMinutesTruncateTowardZero) {
  constexpr double kSecond = 1.0 / 86400;
  struct SCase {
    double dFrom;
    double dTo;
    int32_t lMinutes;
  };
  const SCase aCases[] = {
      {0.0, 60 * kSecond, 1},
      {0.0, 59 * kSecond, 0},
      {0.0, 119 * kSecond, 1},
      {60 * kSecond, 0.0, 0},  // the guard pulls a whole minute back toward zero
      {120 * kSecond, 0.0, -1},
      {30 * kSecond, 0.0, 0},
      {46362.0, 46363.0, 1440},
      {0.0, 1e7, std::numeric_limits<int32_t>::max()},
      {1e7, 0.0, std::numeric_limits<int32_t>::min()},
  };
  for (const SCase& oCase : aCases) {
    EXPECT_EQ(WholeMinutesBetween(oCase.dFrom, oCase.dTo), oCase.lMinutes)
        << oCase.dFrom << " -> " << oCase.dTo;
  }
  // Stamps a whole number of minutes apart never lose a minute to rounding.
  CZuvTime oStart;
  CZuvTime oLater;
  ASSERT_TRUE(oStart.SetStartTime("12/06/26 11:33:53"));
  for (int iMinute = 34; iMinute < 60; ++iMinute) {
    ASSERT_TRUE(oLater.SetStartTime(("12/06/26 11:" + std::to_string(iMinute) + ":53").c_str()));
    EXPECT_EQ(oStart.MinutesTo(oLater.GetValue()), iMinute - 33);
    EXPECT_EQ(oStart.GetMinutes(), iMinute - 33);
  }
}

}  // namespace
}  // namespace wdx
