// Date-time values of the uptime report: a count of days since 30 December 1899 00:00 as a
// double (the fraction is the time of day) with a status, the rule that turns a difference into
// whole minutes, and CZuvTime, a time stamp parsed from the text of a log line or a script
// argument ("12/06/26 11:33:53", "12/6/2026 0:5:0").
//
// Threading: values and functions are pure; a CZuvTime is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/zuv_base.h"
#include "foundation/zuv_str.h"
#include "platform/clock.h"

namespace wdx {

enum class EDateTimeStatus { VALID, INVALID, NULL_VALUE };

struct SDateTime {
  double m_dDays = 0.0;
  EDateTimeStatus m_eStatus = EDateTimeStatus::VALID;

  bool IsValid() const { return m_eStatus == EDateTimeStatus::VALID; }
};

// Years 100 to 9999, a real calendar day, hours 0-23, minutes and seconds 0-59; false (and
// oOut untouched) otherwise.
bool MakeDateTime(const SLocalTime& oParts, SDateTime& oOut);
// Whole minutes from dFrom to dTo (days): the integer part of (difference × 1440 plus a
// half-millisecond guard), truncated toward zero and held to the 32-bit range.
int32_t WholeMinutesBetween(double dFrom, double dTo);
// The local time now (invalid when the system cannot tell it).
SDateTime LocalNow();

class CZuvTime final : public CZuvBase {
 public:
  CZuvTime() = default;
  ~CZuvTime() override = default;

  // Parses M/D/YY H:M:S or M/D/YYYY H:M:S (leading zeros optional; a two-character or shorter
  // year gets "20" in front). Anything after the seconds' next blank is ignored, so a whole
  // log line's head may be given. Empty text: nothing changes, false. Unparsable text: an
  // error and a message line with the text, the value becomes invalid, false.
  bool SetStartTime(const char* szText);
  // Whole minutes from the value to oTime, kept as the minutes field and returned.
  int32_t MinutesTo(const SDateTime& oTime);

  const SDateTime& GetValue() const { return m_oValue; }
  void SetValue(const SDateTime& oValue) { m_oValue = oValue; }
  int32_t GetMinutes() const { return m_lMinutes; }
  // "M/D/YYYY H:M:S" without leading zeros, of the last successful parse.
  const CZuvStr& GetText() const { return m_oText; }
  // The fields of the last successful parse.
  const SLocalTime& GetParts() const { return m_oParts; }

 private:
  int32_t m_lMinutes = 0;
  CZuvStr m_oText;
  SDateTime m_oValue;
  SLocalTime m_oParts;
};

}  // namespace wdx
