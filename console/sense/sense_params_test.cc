#include "console/sense/sense_params.h"

#include <gtest/gtest.h>

#include <string>

namespace wdx {
namespace {

TEST(SenseParamsTest, SampleSecondsAndPeriodOfASensitivity) {
  const struct {
    int iSensitivity, iSeconds, iPeriod;
  } aCases[] = {{0, 10, 101}, {1, 11, 100}, {5, 16, 96},  {9, 20, 92},
                {50, 70, 51}, {99, 128, 2}, {100, 130, 1}};
  for (const auto& oCase : aCases) {
    EXPECT_EQ(SenseSampleSeconds(oCase.iSensitivity), oCase.iSeconds) << oCase.iSensitivity;
    EXPECT_EQ(SenseSamplePeriod(oCase.iSensitivity), oCase.iPeriod) << oCase.iSensitivity;
  }
  EXPECT_EQ(SenseSampleSeconds(SENSE_MAX), SENSE_LONGEST_SAMPLE_S);
}

TEST(SenseParamsTest, StoredTextAndTypedValue) {
  const struct {
    const char* szText;
    int iSlider;  // SensitivityFromText
    int iTyped;   // ParseSensitivity; -1: refused
  } aCases[] = {
      {"", 10, -1},
      {"0", 0, 0},
      {"55", 55, 55},
      {"100", 100, 100},
      {" 7 ", 7, -1},
      {"+5", 5, -1},
      {"101", 100, -1},
      {"-3", 0, -1},
      {"abc", 10, -1},
      {"5x", 10, -1},
      {"-", 10, -1},
      {"99999999999999999999999", 100, -1},
      {"-99999999999999999999999", 0, -1},
  };
  for (const auto& oCase : aCases) {
    EXPECT_EQ(SensitivityFromText(oCase.szText), oCase.iSlider) << '"' << oCase.szText << '"';
    int iTyped = -1;
    const bool bTaken = ParseSensitivity(oCase.szText, iTyped);
    EXPECT_EQ(bTaken, oCase.iTyped >= 0) << '"' << oCase.szText << '"';
    if (bTaken) {
      EXPECT_EQ(iTyped, oCase.iTyped) << oCase.szText;
    }
  }
}

TEST(SenseParamsTest, FailedItemIsTheInstanceBetweenTheFirstParentheses) {
  const struct {
    const char* szPath;
    const char* szItem;
  } aCases[] = {
      {"\\\\host\\Process(busyloop)\\Elapsed Time", "busyloop"},
      {"\\\\host\\Process(app#1)\\IO Data Bytes/sec", "app#1"},
      {"\\\\host\\Web Service(_Total)\\Service Uptime", "_Total"},
      {"\\\\host\\Process(a)\\Odd(b)", "a"},
      {"no parentheses at all", "no parentheses at all"},
      {"open only (x", "open only (x"},
      {"close) before (open", "close) before (open"},
      {"", ""},
  };
  for (const auto& oCase : aCases) EXPECT_EQ(FailedItemFromPath(oCase.szPath), oCase.szItem);
}

}  // namespace
}  // namespace wdx
