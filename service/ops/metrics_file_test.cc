#include "service/ops/metrics_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "platform/fake_file_system.h"
#include "service/ops/item_codes.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

TEST(MetricsLabel, EscapesWhatTheFormatRequiresAndKeepsUtf8) {
  struct SCase {
    const char* szIn;
    const char* szOut;
  };
  for (const SCase& oCase : {
           SCase{"http://h/a?b=1&c=<2>", "http://h/a?b=1&c=<2>"},
           SCase{"say \"hi\"", "say \\\"hi\\\""}, SCase{"C:\\dir\\x", "C:\\\\dir\\\\x"},
           SCase{"two\nlines", "two\\nlines"},
           SCase{"\\n", "\\\\n"},  // a backslash before n stays two characters
           SCase{"Zürich 東京 \xF0\x9F\x98\x80", "Zürich 東京 \xF0\x9F\x98\x80"},
           SCase{"caf\xE9!", "caf\xEF\xBF\xBD!"},                          // Latin-1 byte
           SCase{"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong "/"
           SCase{"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
           SCase{"cut \xE6\x9D", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},          // torn at the end
       }) {
    EXPECT_EQ(EscapeLabelValue(oCase.szIn), oCase.szOut) << oCase.szIn;
  }
}

SMetricsSnapshot Sample() {
  SMetricsSnapshot oSnapshot;
  oSnapshot.iOpsState = 1005;
  oSnapshot.bGoMode = true;
  oSnapshot.iServerState = 1001;
  oSnapshot.oItems = {{ITEM_LOCAL_URL, "http://a/\"q\"", true},
                      {ITEM_REMOTE_URL, "http://b/", false},
                      {ITEM_PROGRAM, "web server", true},
                      {ITEM_LOCAL_URL, "HTTP://A/\"Q\"", false},  // the same item by lookup
                      {ITEM_RESTART, "Restart", true}};
  oSnapshot.iRestarts = 3;
  oSnapshot.iReboots = 1;
  oSnapshot.dCycleEnd = 1'700'000'000.25;
  oSnapshot.dCycleSeconds = 1.5;
  return oSnapshot;
}

TEST(MetricsFormat, EveryValueOnceWithItsHelpAndType) {
  const std::string sText = FormatMetrics(Sample());
  for (const char* szLine : {
           "# TYPE wardenix_ops_state gauge\nwardenix_ops_state 1005\n",
           "# TYPE wardenix_go_mode gauge\nwardenix_go_mode 1\n",
           "# TYPE wardenix_server_state gauge\nwardenix_server_state 1001\n",
           "# TYPE wardenix_item_up gauge\n"
           "wardenix_item_up{type=\"url\",name=\"http://a/\\\"q\\\"\"} 1\n"
           "wardenix_item_up{type=\"remote_url\",name=\"http://b/\"} 0\n"
           "wardenix_item_up{type=\"program\",name=\"web server\"} 1\n# HELP",
           "# TYPE wardenix_restarts_total counter\nwardenix_restarts_total 3\n",
           "# TYPE wardenix_reboots_total counter\nwardenix_reboots_total 1\n",
           "wardenix_last_cycle_timestamp_seconds 1700000000.250\n",
           "wardenix_last_cycle_duration_seconds 1.500\n",
       }) {
    EXPECT_NE(sText.find(szLine), std::string::npos) << szLine << "\nin:\n" << sText;
  }
  EXPECT_EQ(sText.find("name=\"Restart\""), std::string::npos);
  EXPECT_EQ(sText.find("A/"), std::string::npos);  // the repeated item is left out
  EXPECT_EQ(sText.back(), '\n');
}

TEST(MetricsFormat, NoCycleYetLeavesTheCycleLinesOut) {
  SMetricsSnapshot oSnapshot;
  const std::string sText = FormatMetrics(oSnapshot);
  EXPECT_NE(sText.find("wardenix_go_mode 0\n"), std::string::npos);
  EXPECT_NE(sText.find("# TYPE wardenix_item_up gauge\n# HELP wardenix_restarts_total"),
            std::string::npos);
  EXPECT_EQ(sText.find("last_cycle"), std::string::npos);
}

class MetricsFileTest : public ::testing::Test {
 protected:
  ~MetricsFileTest() override { SetFileSystemForTesting(nullptr); }
  test::CTempFolder m_oFolder;
  test::CLogCapture m_oLog;
};

TEST_F(MetricsFileTest, OffWritesNothingAndOnReplacesTheFileWhole) {
  CMetricsFile oFile;
  EXPECT_TRUE(oFile.Write(Sample()));
  oFile.SetPath(m_oFolder.File("wardenix.prom"));
  m_oFolder.Write("wardenix.prom", std::string(100000, 'x'));  // a longer file before
  ASSERT_TRUE(oFile.Write(Sample()));
  EXPECT_EQ(m_oFolder.Read("wardenix.prom"), FormatMetrics(Sample()));
}

// One error line per run of failures, whatever the failure; a write that works in between
// earns the next run its line.
TEST_F(MetricsFileTest, OneErrorLinePerRunOfFailures) {
  CFakeFileSystem oFake;
  SetFileSystemForTesting(&oFake);
  CMetricsFile oFile;
  const std::string sMissing = m_oFolder.File("no/such/folder/w.prom");
  const std::string sGood = m_oFolder.File("w.prom");
  const std::string sNoFolderLine = "MetricsFile: cannot write " + sMissing +
                                    " (No such file or directory); GO mode goes on without it.";
  const std::string sFullLine = "MetricsFile: cannot write " + sGood +
                                " (No space left on device); GO mode goes on without it.";
  oFile.SetPath(sMissing);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(oFile.Write(Sample()));
  EXPECT_EQ(m_oLog.CountErrors(sNoFolderLine), 1) << m_oLog.Text();
  oFile.SetPath(sGood);
  oFake.SetFailure(EFileOp::REPLACE, ENOSPC);
  struct SStep {
    bool bFails;
    int iFullLines;  // after the step
  };
  for (const SStep& oStep :
       {SStep{true, 1}, SStep{true, 1}, SStep{false, 1}, SStep{true, 2}, SStep{true, 2}}) {
    oFake.SetFailure(EFileOp::REPLACE, oStep.bFails ? ENOSPC : 0);
    EXPECT_EQ(oFile.Write(Sample()), !oStep.bFails);
    EXPECT_EQ(m_oLog.CountErrors(sFullLine), oStep.iFullLines) << m_oLog.Text();
  }
  EXPECT_EQ(m_oFolder.Read("w.prom"), FormatMetrics(Sample()));  // the good write stayed
}

}  // namespace
}  // namespace wdx
