// The console's token file: made once with mode 0600, reused, and refused (left as it is) when
// others can read it or it holds no token.
#include "console/web/console_token.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

TEST(ConsoleTokenTest, MadeOncePrivateAndReused) {
  test::CTempFolder oFolder;
  std::string sToken;
  std::string sError;
  ASSERT_TRUE(LoadOrCreateConsoleToken(oFolder.Path(), sToken, sError)) << sError;
  EXPECT_EQ(sToken.size(), 64u);
  EXPECT_EQ(sToken.find_first_not_of("0123456789abcdef"), std::string::npos);
  struct stat oStat = {};
  ASSERT_EQ(stat(oFolder.File(kConsoleTokenFile).c_str(), &oStat), 0);
  EXPECT_EQ(oStat.st_mode & 07777, 0600u);
  std::string sAgain;
  ASSERT_TRUE(LoadOrCreateConsoleToken(oFolder.Path(), sAgain, sError)) << sError;
  EXPECT_EQ(sAgain, sToken);
  test::CTempFolder oOther;
  ASSERT_TRUE(LoadOrCreateConsoleToken(oOther.Path(), sAgain, sError)) << sError;
  EXPECT_NE(sAgain, sToken);  // per install
}

TEST(ConsoleTokenTest, ConsolesStartedTogetherShareOneToken) {
  for (int iRound = 0; iRound < 20; ++iRound) {
    test::CTempFolder oFolder;
    std::vector<std::string> oTokens(6);
    std::vector<int> oOk(6, 0);
    std::vector<std::thread> oThreads;
    for (size_t i = 0; i < oTokens.size(); ++i) {
      oThreads.emplace_back([&, i] {
        std::string sError;
        oOk[i] = LoadOrCreateConsoleToken(oFolder.Path(), oTokens[i], sError) ? 1 : 0;
      });
    }
    for (std::thread& oThread : oThreads) oThread.join();
    for (size_t i = 0; i < oTokens.size(); ++i) {
      EXPECT_EQ(oOk[i], 1) << i;
      EXPECT_EQ(oTokens[i], oTokens[0]) << i;
    }
  }
}

TEST(ConsoleTokenTest, UnsafeOrBrokenFilesAreRefusedAndKept) {
  const std::string sValid(64, 'e');
  struct SCase {
    const char* szName;
    std::string sContent;
    int iMode;
    const char* szError;
  };
  const SCase aCases[] = {
      {"group readable", sValid + "\n", 0640, "can be read by others (mode 0640)"},
      {"world readable", sValid + "\n", 0604, "can be read by others (mode 0604)"},
      {"empty", "", 0600, "holds no valid token"},
      {"short", sValid.substr(1) + "\n", 0600, "holds no valid token"},
      {"upper case", std::string(64, 'E'), 0600, "holds no valid token"},
  };
  for (const SCase& oCase : aCases) {
    test::CTempFolder oFolder;
    oFolder.Write(kConsoleTokenFile, oCase.sContent);
    ASSERT_EQ(chmod(oFolder.File(kConsoleTokenFile).c_str(), oCase.iMode), 0);
    std::string sToken;
    std::string sError;
    EXPECT_FALSE(LoadOrCreateConsoleToken(oFolder.Path(), sToken, sError)) << oCase.szName;
    EXPECT_NE(sError.find(oCase.szError), std::string::npos) << oCase.szName << ": " << sError;
    EXPECT_EQ(oFolder.Read(kConsoleTokenFile), oCase.sContent) << oCase.szName;
  }
  test::CTempFolder oFolder;  // a file without a trailing newline is fine
  oFolder.Write(kConsoleTokenFile, sValid);
  ASSERT_EQ(chmod(oFolder.File(kConsoleTokenFile).c_str(), 0600), 0);
  std::string sToken;
  std::string sError;
  EXPECT_TRUE(LoadOrCreateConsoleToken(oFolder.Path(), sToken, sError)) << sError;
  EXPECT_EQ(sToken, sValid);
}

TEST(ConsoleTokenTest, RandomHexAndSameSecret) {
  std::set<std::string> oSeen;
  for (int i = 0; i < 50; ++i) oSeen.insert(RandomHex(16));
  EXPECT_EQ(oSeen.size(), 50u);
  EXPECT_EQ(oSeen.begin()->size(), 32u);
  EXPECT_TRUE(SameSecret("abc", "abc"));
  EXPECT_FALSE(SameSecret("abc", "abd"));
  EXPECT_FALSE(SameSecret("abc", "ab"));
  EXPECT_FALSE(SameSecret("", "a"));
}

}  // namespace
}  // namespace wdx
