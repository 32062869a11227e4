// The best-match scan over a hand-built table and the tilde match's rules.
#include "service/procwatch/image_name_matcher.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/log_capture.h"

namespace wdx {
namespace {

class ImageNameMatcherScan : public ::testing::Test {
 protected:
  void Add(const char* szPath, const char* szBase, uint32_t uPid) {
    m_oRows.push_back(std::make_unique<CProcessImage>(szPath, szBase, uPid));
  }

  ProcessRows m_oRows;
  CImageNameMatcher m_oMatcher;
};

TEST_F(ImageNameMatcherScan, ExactPathIgnoringCaseWinsAtOnce) {
  Add("/usr/sbin/apache2", "apache2", 10);
  Add("/srv/App/Server.bin", "Server.bin", 11);
  Add("/srv/app/server.bin", "server.bin", 12);
  ASSERT_TRUE(m_oMatcher.Go("/SRV/APP/SERVER.BIN", &m_oRows));
  EXPECT_EQ(m_oMatcher.m_sBestTitle, "Server");
  EXPECT_EQ(m_oMatcher.m_iBestScore, 6);
  EXPECT_EQ(m_oMatcher.m_uBestPid, 11u);
  EXPECT_EQ(m_oMatcher.m_iBestPosition, 1);
  EXPECT_EQ(m_oMatcher.m_uPidUnderExamination, 11u);
}

TEST_F(ImageNameMatcherScan, ContainedPathCountsFromPositionEightAndBeatsTheScore) {
  Add("/a/x/bin/web", "web", 1);                // found at 4: too early
  Add("/chroot1/bin/web", "web", 2);            // found at 8: taken, score 3
  Add("/chroot-long/bin/web", "webserver", 3);  // found at 12 > 3: taken, score 9
  Add("/chroot22/bin/web", "w", 4);             // found at 9, not above 9
  ASSERT_TRUE(m_oMatcher.Go("/bin/web", &m_oRows));
  EXPECT_EQ(m_oMatcher.m_uBestPid, 3u);
  EXPECT_EQ(m_oMatcher.m_sBestTitle, "webserver");
  EXPECT_EQ(m_oMatcher.m_iBestScore, 9);
  EXPECT_EQ(m_oMatcher.m_iBestPosition, 2);
  EXPECT_EQ(m_oMatcher.m_uPidUnderExamination, 4u);
}

TEST_F(ImageNameMatcherScan, NothingMatchedLogsBothFailures) {
  test::CLogCapture oLog;
  Add("/usr/bin/other", "other", 5);
  EXPECT_FALSE(m_oMatcher.Go("/usr/bin/missing", &m_oRows));
  EXPECT_TRUE(m_oMatcher.m_sBestTitle.empty());
  EXPECT_EQ(m_oMatcher.m_iBestPosition, -1);
  EXPECT_EQ(m_oMatcher.m_uBestPid, 0u);
  EXPECT_TRUE(oLog.HasError("CImageNameMatcher::ScanForBestMatch() failed for: /usr/bin/missing"));
  EXPECT_TRUE(oLog.HasError("CImageNameMatcher::Go() failed."));
}

TEST_F(ImageNameMatcherScan, EmptyPathOrNoRowsFailAndResetTheResult) {
  test::CLogCapture oLog;
  Add("/usr/bin/a", "a", 5);
  ASSERT_TRUE(m_oMatcher.Go("/usr/bin/a", &m_oRows));
  EXPECT_FALSE(m_oMatcher.Go("", &m_oRows));
  EXPECT_TRUE(m_oMatcher.m_sBestTitle.empty());
  EXPECT_EQ(m_oMatcher.m_iBestPosition, -1);
  EXPECT_FALSE(m_oMatcher.Go("/usr/bin/a", nullptr));
  EXPECT_EQ(oLog.CountErrors("CImageNameMatcher::Go() failed."), 2);
  ProcessRows oEmpty;
  EXPECT_FALSE(m_oMatcher.Go("/usr/bin/a", &oEmpty));
}

// The exact step compares the paths as they are, but for letter case; the contained-path step
// and its position rule are untouched.
TEST(ImageNameMatcherExact, PathsAreComparedAsTheyAre) {
  struct SCase {
    const char* m_szProcess;
    const char* m_szProgram;
    bool m_bMatch;
  };
  const SCase aCases[] = {
      {"/usr/bin/app", "/usr/bin/app", true},
      {"/usr/bin/APP", "/usr/bin/app", true},
      {"/opt/caf\xC3\xA9", "/opt/caf\xC3\xA9", true},
      {"/opt/caf\xC3\xA9", "/opt/caf\xC3\x89", false},  // no case folding beyond A-Z
      {"/usr/bin/app~", "/usr/bin/app", false},
      {"/usr/bin/app", "/usr/bin/app~", false},
      {"/opt/caf\xC3\xA9", "/opt/caf", false},
      {"/usr/bin/app\x7F", "/usr/bin/app", false},
      {" /usr/bin/app", "/usr/bin/app", false},
      {"/usr/bin/app ", "/usr/bin/app", false},
      {"/chroot1/usr/bin/app~", "/usr/bin/app", true},  // contained from position 8 on
  };
  test::CLogCapture oLog;
  for (const SCase& oCase : aCases) {
    ProcessRows oRows;
    oRows.push_back(std::make_unique<CProcessImage>(oCase.m_szProcess, "app", 42));
    CImageNameMatcher oMatcher;
    EXPECT_EQ(oMatcher.Go(oCase.m_szProgram, &oRows), oCase.m_bMatch)
        << oCase.m_szProcess << " / " << oCase.m_szProgram;
    EXPECT_EQ(oMatcher.m_uBestPid, oCase.m_bMatch ? 42u : 0u) << oCase.m_szProcess;
  }
}

struct STildeCase {
  const char* m_szProcess;
  const char* m_szProgram;
  bool m_bMatch;
};

TEST(ImageNameMatcherTilde, RulesTable) {
  const STildeCase aCases[] = {
      {"C:\\PROGRA~1\\App\\SERVER~1.EXE", "C:\\Program Files\\App\\Server.exe", true},
      {"c:\\progra~1\\app\\server~1.exe", "C:\\Program Files\\App\\Server.exe", true},
      {"C:\\PROGRA~1\\App\\SERVER~1.EXE", "D:\\Program Files\\App\\Server.exe", false},
      {"\\PROGRA~1\\App\\SERVER~1.EXE", "D:\\Program Files\\App\\Server.exe", true},
      {"C:\\PROGRA~1\\App\\SERVER~1.EXE", "\\Program Files\\App\\Server.exe", true},
      {"C:\\AB~1\\x.exe", "C:\\ABCDEFGH\\x.exe", false},
      {"C:\\ABCDE~1\\x.exe", "C:\\ABCDEF\\x.exe", false},
      {"C:\\ABCDEF~1\\x.exe", "C:\\ABCDEFGH\\x.exe", true},
      {"C:\\PROGRA~1\\App\\SERVER~1.EXE", "C:\\Program Files\\App\\Server.dll", false},
      {"C:\\PROGRA~1\\App\\SERVER~1", "C:\\Program Files\\App\\Server.dll", true},
      {"C:\\PROGRA~1\\App\\x.EXE", "C:\\Program Files\\App\\x.dll", true},
      {"C:\\PROGRA~1\\Ap\\x.EXE", "C:\\Program Files\\App\\x.exe", false},
      {"C:\\PROGRA~1\\App\\x.exe", "C:\\Program Files\\App\\Sub\\x.exe", false},
      {"C:\\PROGRA~1\\App\\x.exe", "C:\\Program Files\\App", false},
      {"C:\\\\PROGRA~1\\App\\\\x.exe", "C:\\Program Files\\\\App\\x.exe", false},
      {"C:\\\\PROGRA~1\\App\\x.exe", "C:\\\\Program Files\\App\\x.exe", true},
      {"/opt/LONGNA~1/bin/x", "/opt/longname-app/bin/x", true},
      {"", "", true},
  };
  for (const STildeCase& oCase : aCases) {
    EXPECT_EQ(CImageNameMatcher::TildeMatch(oCase.m_szProcess, oCase.m_szProgram), oCase.m_bMatch)
        << oCase.m_szProcess << " vs " << oCase.m_szProgram;
  }
}

TEST(ImageNameMatcherTilde, GarbageNeverCrashes) {
  const std::string sNoise = std::string(3000, '~') + ":\\.\\..~~.\\";
  EXPECT_FALSE(CImageNameMatcher::TildeMatch(sNoise, "C:\\x"));
  EXPECT_FALSE(CImageNameMatcher::TildeMatch(":::", "C:\\x~y"));
  EXPECT_TRUE(CImageNameMatcher::TildeMatch(":", ":"));
}

}  // namespace
}  // namespace wdx
