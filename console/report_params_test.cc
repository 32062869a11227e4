#include "console/report_params.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using Lines = std::vector<std::string>;

TEST(ReportParamsTest, BlocksInOrderWithEmptySectionsLeftOut) {
  struct SCase {
    const char* szName;
    SReportSections oSections;
    Lines oExpected;
  };
  const SCase aCases[] = {
      {"all three",
       {{"r1"}, {"u1", "u2"}, {"s1"}},
       {"@RURLS@", "r1", "@URLS@", "u1", "u2", "@STOPS@", "s1"}},
      {"no remote URLs", {{}, {"u1", "u2"}, {}}, {"@URLS@", "u1", "u2"}},
      {"no remote URLs, stops",
       {{}, {"u1", "u2"}, {"s1"}},
       {"@URLS@", "u1", "u2", "@STOPS@", "s1"}},
      {"only stops", {{}, {}, {"a", "b"}}, {"@STOPS@", "a", "b"}},
      {"nothing", {}, {}},
  };
  for (const SCase& oCase : aCases)
    EXPECT_EQ(BuildReportParamLines(oCase.oSections), oCase.oExpected) << oCase.szName;
}

TEST(ReportParamsTest, WritesCrLfLinesReplacingAnOldFile) {
  test::CLogCapture oLog;
  test::CTempFolder oFolder;
  oFolder.Write(REPORT_PARAMS_FILE, "@STOPS@\r\nold entry that is longer than the new file\r\n");
  const SReportSections oSections{{}, {"http://a/<x>&\"q\"", "http://b/\xC3\xA9"}, {}};
  ASSERT_TRUE(CreateReportParams(oFolder.Path(), oSections));
  EXPECT_EQ(oFolder.Read(REPORT_PARAMS_FILE),
            "@URLS@\r\nhttp://a/<x>&\"q\"\r\nhttp://b/\xC3\xA9\r\n");
  EXPECT_NE(oLog.Text().find("CreateReportParams()  Done. OK."), std::string::npos);

  ASSERT_TRUE(CreateReportParams(oFolder.Path(), SReportSections{}));
  EXPECT_EQ(oFolder.Read(REPORT_PARAMS_FILE), "");
}

TEST(ReportParamsTest, FailuresAreLoggedWithoutDone) {
  struct SCase {
    const char* szName;
    bool bBlockWithFolder;    // RParams.txt is a folder holding a file: it cannot be deleted
    const char* szSubFolder;  // written into a folder that does not exist
    const char* szError;
  };
  const SCase aCases[] = {
      {"undeletable", true, "", "CreateReportParams() cannot delete Rpt file."},
      {"missing folder", false, "absent/", "CreateReportParams() oTxtFile.Create failed."},
  };
  for (const SCase& oCase : aCases) {
    test::CLogCapture oLog;
    test::CTempFolder oFolder;
    if (oCase.bBlockWithFolder) {
      ASSERT_EQ(mkdir(oFolder.File(REPORT_PARAMS_FILE).c_str(), 0700), 0);
      oFolder.Write(std::string(REPORT_PARAMS_FILE) + "/keep", "x");
    }
    EXPECT_FALSE(
        CreateReportParams(oFolder.Path() + oCase.szSubFolder, SReportSections{{"r"}, {}, {}}))
        << oCase.szName;
    EXPECT_TRUE(oLog.HasError(oCase.szError)) << oCase.szName << "\n" << oLog.Text();
    EXPECT_EQ(oLog.Text().find("Done. OK."), std::string::npos) << oCase.szName;
  }
}

}  // namespace
}  // namespace wdx
