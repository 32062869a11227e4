#include "console/report_cli.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>

#include "console/report_params.h"
#include "console/settings_editor.h"
#include "platform/file_system.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

// A report script that reads RParams.txt by its bare name (so only from the program folder) and
// copies it into the report.
constexpr const char* kCopyingScript = "#!/bin/sh\ncp RParams.txt UptimeReport.html\n";

TEST(ReportCliTest, WritesParamsRunsTheScriptInTheFolderAndPrintsThePath) {
  struct SCase {
    const char* szName;
    const char* szScript;  // nullptr: no script in the folder
    int iExit;
    bool bPrintsPath;
  };
  const SCase aCases[] = {
      {"script succeeds", kCopyingScript, 0, true},
      {"script fails", "#!/bin/sh\nexit 3\n", 1, false},
      {"no script", nullptr, 1, false},
  };
  for (const SCase& oCase : aCases) {
    test::CTempFolder oFolder;
    oFolder.UseForLocks();
    CSettingsEditor oEditor(oFolder.Path());
    ASSERT_TRUE(oEditor.AddLine("URLS", "http://one/") && oEditor.AddLine("URLS", "http://two/") &&
                oEditor.AddLine("STOPS", "/usr/bin/stopped"))
        << oEditor.GetLastError();
    if (oCase.szScript) {
      oFolder.Write(REPORT_SCRIPT_FILE, oCase.szScript);
      ASSERT_EQ(chmod(oFolder.File(REPORT_SCRIPT_FILE).c_str(), 0755), 0);
    }
    const std::string sBefore = GetFileSystem().GetCurrentFolder();
    std::ostringstream oOut, oErr;
    EXPECT_EQ(RunReportCommand(oFolder.Path(), oOut, oErr), oCase.iExit) << oCase.szName;
    EXPECT_EQ(GetFileSystem().GetCurrentFolder(), sBefore) << oCase.szName;
    const std::string sParams =
        "@URLS@\r\nhttp://one/\r\nhttp://two/\r\n@STOPS@\r\n/usr/bin/stopped\r\n";
    EXPECT_EQ(oFolder.Read(REPORT_PARAMS_FILE), sParams) << oCase.szName;
    if (oCase.bPrintsPath) {
      EXPECT_EQ(oOut.str(), oFolder.File(REPORT_HTML_FILE) + "\n");
      EXPECT_EQ(oFolder.Read(REPORT_HTML_FILE), sParams);
    } else {
      EXPECT_EQ(oOut.str(), "") << oCase.szName;
      EXPECT_NE(oErr.str().find("the report script"), std::string::npos) << oErr.str();
    }
  }
}

}  // namespace
}  // namespace wdx
