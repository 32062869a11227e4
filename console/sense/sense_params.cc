#include "console/sense/sense_params.h"

#include <algorithm>
#include <charconv>

#include "foundation/zuv_str.h"
#include "service/restart/warden.h"

namespace wdx {
namespace {

bool ParseWhole(const std::string& sText, long long& llValue) {
  const std::string sTrimmed = CZuvStr::Trimmed(sText);
  if (sTrimmed.empty()) return false;
  const char* pBegin = sTrimmed.data();
  const char* pEnd = pBegin + sTrimmed.size();
  if (*pBegin == '+') ++pBegin;
  auto [pStop, eError] = std::from_chars(pBegin, pEnd, llValue);
  return eError == std::errc() && pStop == pEnd;
}

}  // namespace

int SenseSampleSeconds(int iSensitivity) {
  return CWarden::SampleSecondsFor(iSensitivity);
}

int SenseSamplePeriod(int iSensitivity) {
  return CWarden::SamplePeriodFor(iSensitivity);
}

int SensitivityFromText(const std::string& sText) {
  long long llValue = 0;
  if (!ParseWhole(sText, llValue)) {
    // A huge number of digits is still a number: bring it to the nearer end.
    const std::string sTrimmed = CZuvStr::Trimmed(sText);
    const bool bDigits = !sTrimmed.empty() &&
                         std::all_of(sTrimmed.begin() + (sTrimmed[0] == '-' ? 1 : 0),
                                     sTrimmed.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                         sTrimmed != "-";
    if (!bDigits) return SENSE_EMPTY_VALUE;
    return sTrimmed[0] == '-' ? SENSE_MIN : SENSE_MAX;
  }
  return static_cast<int>(std::clamp<long long>(llValue, SENSE_MIN, SENSE_MAX));
}

bool ParseSensitivity(const std::string& sText, int& iSensitivity) {
  long long llValue = 0;
  if (sText.empty() || sText.find_first_not_of("0123456789") != std::string::npos ||
      !ParseWhole(sText, llValue) || llValue < SENSE_MIN || llValue > SENSE_MAX) {
    return false;
  }
  iSensitivity = static_cast<int>(llValue);
  return true;
}

std::string FailedItemFromPath(const std::string& sCounterPath) {
  const size_t uOpen = sCounterPath.find('(');
  const size_t uClose = sCounterPath.find(')');
  if (uOpen == std::string::npos || uClose == std::string::npos || uClose < uOpen) {
    return sCounterPath;
  }
  return sCounterPath.substr(uOpen + 1, uClose - uOpen - 1);
}

}  // namespace wdx
