// The numbers and texts of the sensitivity test that follow from its inputs: the sample time
// and period of a sensitivity, the slider value of a stored "Sensitivity" text, a sensitivity
// typed at the command line, and the "Failed Item" text of a failing counter path.
//
// Threading: stateless functions.
#pragma once

#include <string>

namespace wdx {

inline constexpr int SENSE_MIN = 0;
inline constexpr int SENSE_MAX = 100;
// What an empty (or unreadable) "Sensitivity" shows on the slider.
inline constexpr int SENSE_EMPTY_VALUE = 10;
// The longest sample (sensitivity 100), in seconds.
inline constexpr int SENSE_LONGEST_SAMPLE_S = 130;
inline constexpr const char* SENSE_WARNING =
    "Tests can run up to 130 seconds and cannot be stopped.";

// 10 + floor(1.2 x s) seconds, and 101 - s milliseconds between sampling passes.
int SenseSampleSeconds(int iSensitivity);
int SenseSamplePeriod(int iSensitivity);

// The slider value of a stored text: empty or not a whole number gives SENSE_EMPTY_VALUE, a
// number outside 0..100 is brought to the nearer end.
int SensitivityFromText(const std::string& sText);

// A sensitivity typed by the operator: a whole number 0..100 and nothing else.
bool ParseSensitivity(const std::string& sText, int& iSensitivity);

// The text between the first "(" and the first ")" of a counter path (the process instance
// name), or the whole path when it holds no "(" (or no ")" after it).
std::string FailedItemFromPath(const std::string& sCounterPath);

}  // namespace wdx
