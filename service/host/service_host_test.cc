#include "service/host/service_host.h"

#include <gtest/gtest.h>

namespace wdx {
namespace {

TEST(ServiceHostSwitch, RecognisesTheThreeSwitchesInAnyCase) {
  EXPECT_EQ(ParseHostSwitch("-RegServer"), EHostSwitch::REG_SERVER);
  EXPECT_EQ(ParseHostSwitch("/regserver"), EHostSwitch::REG_SERVER);
  EXPECT_EQ(ParseHostSwitch("-UNREGSERVER"), EHostSwitch::UNREG_SERVER);
  EXPECT_EQ(ParseHostSwitch("/Service"), EHostSwitch::SERVICE);
  EXPECT_EQ(ParseHostSwitch(""), EHostSwitch::NONE);
}

TEST(ServiceHostSwitch, TheTokenIsTheWholeRestOfTheLine) {
  // Anything after the switch makes it another word.
  EXPECT_EQ(ParseHostSwitch("-Service now"), EHostSwitch::NONE);
  EXPECT_EQ(ParseHostSwitch("-RegServerX"), EHostSwitch::NONE);
  // A later "-" or "/" starts the next token.
  EXPECT_EQ(ParseHostSwitch("-verbose -Service"), EHostSwitch::SERVICE);
  EXPECT_EQ(ParseHostSwitch("--Service"), EHostSwitch::SERVICE);
  EXPECT_EQ(ParseHostSwitch("Service"), EHostSwitch::NONE);
}

TEST(ServiceHostSwitch, ArgumentsAreJoinedWithBlanks) {
  const char* aArgs[] = {"wdxsvc", "-verbose", "/UnregServer"};
  EXPECT_EQ(JoinArguments(3, aArgs), "-verbose /UnregServer");
  EXPECT_EQ(ParseHostSwitch(JoinArguments(3, aArgs)), EHostSwitch::UNREG_SERVER);
}

}  // namespace
}  // namespace wdx
