#include "platform/command_words.h"

#include <gtest/gtest.h>

namespace wdx {
namespace {

std::vector<std::string> Split(const std::string& sLine) {
  std::vector<std::string> oWords;
  SplitCommandWords(sLine, oWords);
  return oWords;
}

TEST(CommandLine, SplitsOnBlanksAndKeepsQuotedText) {
  using V = std::vector<std::string>;
  EXPECT_EQ(Split("/usr/bin/app --port 8080"), (V{"/usr/bin/app", "--port", "8080"}));
  EXPECT_EQ(Split("  a\t b  "), (V{"a", "b"}));
  EXPECT_EQ(Split("'/opt/my app/run' -x"), (V{"/opt/my app/run", "-x"}));
  EXPECT_EQ(Split("echo \"say \\\"hi\\\" \\\\ now\""), (V{"echo", "say \"hi\" \\ now"}));
  EXPECT_EQ(Split("a\\ b c"), (V{"a b", "c"}));
  EXPECT_EQ(Split("pre'quoted'post"), (V{"prequotedpost"}));
  // Backslashes inside single quotes are kept as they are.
  EXPECT_EQ(Split("'C:\\x'"), (V{"C:\\x"}));
  EXPECT_EQ(Split("''"), (V{""}));
}

TEST(CommandLine, RefusesEmptyLinesAndUnterminatedQuotes) {
  std::vector<std::string> oWords = {"left over"};
  EXPECT_FALSE(SplitCommandWords("", oWords));
  EXPECT_TRUE(oWords.empty());
  EXPECT_FALSE(SplitCommandWords("   ", oWords));
  EXPECT_FALSE(SplitCommandWords("run 'half", oWords));
  EXPECT_TRUE(oWords.empty());
  EXPECT_FALSE(SplitCommandWords("run \"half", oWords));
}

}  // namespace
}  // namespace wdx
