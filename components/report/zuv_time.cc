#include "components/report/zuv_time.h"

#include <cmath>
#include <limits>
#include <string_view>

#include "foundation/process_log.h"

namespace wdx {
namespace {

constexpr double kMinuteGuard = 5.787037037037037e-6;
constexpr int kSecondsPerDay = 86400;

// Days from 1 March of year 0 style civil counting (proleptic Gregorian).
int64_t DaysFromCivil(int64_t iYear, int iMonth, int iDay) {
  iYear -= iMonth <= 2 ? 1 : 0;
  const int64_t iEra = (iYear >= 0 ? iYear : iYear - 399) / 400;
  const int64_t iYearOfEra = iYear - iEra * 400;
  const int64_t iDayOfYear = (153 * (iMonth + (iMonth > 2 ? -3 : 9)) + 2) / 5 + iDay - 1;
  const int64_t iDayOfEra = iYearOfEra * 365 + iYearOfEra / 4 - iYearOfEra / 100 + iDayOfYear;
  return iEra * 146097 + iDayOfEra - 719468;
}

int DaysInMonth(int iYear, int iMonth) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool bLeap = (iYear % 4 == 0 && iYear % 100 != 0) || iYear % 400 == 0;
  return iMonth == 2 && bLeap ? 29 : kDays[iMonth - 1];
}

// Text up to the first cSeparator (or all of it); sRest keeps what follows the separator.
std::string_view SplitOff(std::string_view& sRest, char cSeparator) {
  const size_t uAt = sRest.find(cSeparator);
  std::string_view sPart = sRest.substr(0, uAt);
  sRest = uAt == std::string_view::npos ? std::string_view() : sRest.substr(uAt + 1);
  return sPart;
}

std::string_view TrimBlanks(std::string_view sText) {
  while (!sText.empty() && (sText.front() == ' ' || sText.front() == '\t')) sText.remove_prefix(1);
  while (!sText.empty() && (sText.back() == ' ' || sText.back() == '\t')) sText.remove_suffix(1);
  return sText;
}

// A decimal number of at most 9 digits; an empty part reads as 0 only when bEmptyIsZero.
bool ParseNumber(std::string_view sText, bool bEmptyIsZero, int& iOut) {
  sText = TrimBlanks(sText);
  if (sText.empty()) {
    iOut = 0;
    return bEmptyIsZero;
  }
  if (sText.size() > 9) return false;
  int iValue = 0;
  for (char cDigit : sText) {
    if (cDigit < '0' || cDigit > '9') return false;
    iValue = iValue * 10 + (cDigit - '0');
  }
  iOut = iValue;
  return true;
}

bool ParseParts(std::string_view sText, SLocalTime& oParts) {
  std::string_view sRest = sText;
  const std::string_view sMonth = SplitOff(sRest, '/');
  const std::string_view sDay = SplitOff(sRest, '/');
  sRest = TrimBlanks(sRest);
  std::string_view sYear = SplitOff(sRest, ' ');
  sRest = TrimBlanks(sRest);
  const std::string_view sHour = SplitOff(sRest, ':');
  const std::string_view sMinute = SplitOff(sRest, ':');
  const std::string_view sSecond = SplitOff(sRest, ' ');
  std::string sFullYear(TrimBlanks(sYear));
  if (sFullYear.size() <= 2) sFullYear = "20" + sFullYear;
  return ParseNumber(sMonth, false, oParts.m_iMonth) && ParseNumber(sDay, false, oParts.m_iDay) &&
         ParseNumber(sFullYear, false, oParts.m_iYear) &&
         ParseNumber(sHour, true, oParts.m_iHour) && ParseNumber(sMinute, true, oParts.m_iMinute) &&
         ParseNumber(sSecond, true, oParts.m_iSecond);
}

}  // namespace

bool MakeDateTime(const SLocalTime& oParts, SDateTime& oOut) {
  if (oParts.m_iYear < 100 || oParts.m_iYear > 9999) return false;
  if (oParts.m_iMonth < 1 || oParts.m_iMonth > 12) return false;
  if (oParts.m_iDay < 1 || oParts.m_iDay > DaysInMonth(oParts.m_iYear, oParts.m_iMonth)) {
    return false;
  }
  if (oParts.m_iHour < 0 || oParts.m_iHour > 23 || oParts.m_iMinute < 0 || oParts.m_iMinute > 59 ||
      oParts.m_iSecond < 0 || oParts.m_iSecond > 59) {
    return false;
  }
  const int64_t iDays =
      DaysFromCivil(oParts.m_iYear, oParts.m_iMonth, oParts.m_iDay) - DaysFromCivil(1899, 12, 30);
  const int iSeconds = oParts.m_iHour * 3600 + oParts.m_iMinute * 60 + oParts.m_iSecond;
  oOut.m_dDays = static_cast<double>(iDays) + static_cast<double>(iSeconds) / kSecondsPerDay;
  oOut.m_eStatus = EDateTimeStatus::VALID;
  return true;
}

int32_t WholeMinutesBetween(double dFrom, double dTo) {
  const double dMinutes = std::trunc((dTo - dFrom) * 1440.0 + kMinuteGuard);
  if (!(dMinutes > std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (dMinutes >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(dMinutes);
}

SDateTime LocalNow() {
  SLocalTime oNow;
  SDateTime oValue;
  if (!GetClock().GetLocalTime(oNow)) {
    oValue.m_eStatus = EDateTimeStatus::INVALID;
    return oValue;
  }
  if (oNow.m_iSecond > 59) oNow.m_iSecond = 59;  // a leap second
  if (!MakeDateTime(oNow, oValue)) oValue.m_eStatus = EDateTimeStatus::INVALID;
  return oValue;
}

bool CZuvTime::SetStartTime(const char* szText) {
  if (szText == nullptr || *szText == '\0') return false;
  SLocalTime oParts;
  SDateTime oValue;
  if (!ParseParts(szText, oParts) || !MakeDateTime(oParts, oValue)) {
    ZuvLogError("CZuvTime::SetStartTime received an invalid time string: ");
    ZuvLogMessage(szText);
    m_oValue.m_eStatus = EDateTimeStatus::INVALID;
    return false;
  }
  m_oValue = oValue;
  m_oParts = oParts;
  const std::string sText =
      std::to_string(oParts.m_iMonth) + "/" + std::to_string(oParts.m_iDay) + "/" +
      std::to_string(oParts.m_iYear) + " " + std::to_string(oParts.m_iHour) + ":" +
      std::to_string(oParts.m_iMinute) + ":" + std::to_string(oParts.m_iSecond);
  m_oText.Assign(sText.c_str());
  m_lMinutes = 0;
  return true;
}

int32_t CZuvTime::MinutesTo(const SDateTime& oTime) {
  m_lMinutes = WholeMinutesBetween(m_oValue.m_dDays, oTime.m_dDays);
  return m_lMinutes;
}

}  // namespace wdx
