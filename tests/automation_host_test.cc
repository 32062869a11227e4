// The automation host wdxcall as scripts and cron meet it: the real program of this build
// driving the real component libraries, registered with wdxregsvr in the registry store that
// WDX_REGISTRY names.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "tests/support/service_fixture.h"

namespace wdx::test {
namespace {

std::string Dist(const std::string& sName) {
  return std::string(WDX_DIST_DIR) + "/" + sName;
}

class AutomationHost : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* szLibrary : {"ZuvLifeSign.so", "Perfwatch.so"}) {
      const SRunResult oRun = m_oFixture.Run(Dist("wdxregsvr"), {"/s", Dist(szLibrary)});
      ASSERT_EQ(oRun.m_iExitCode, 0) << szLibrary << ": " << oRun.m_sErr;
    }
  }
  // wdxcall with the bare environment of a cron job: a PATH and the store's location only.
  SRunResult CallAsCron(const std::vector<std::string>& oArgs) {
    std::vector<std::string> oAll = {"-i", "PATH=/usr/bin:/bin",
                                     "WDX_REGISTRY=" + m_oFixture.RegistryPath(), Dist("wdxcall")};
    oAll.insert(oAll.end(), oArgs.begin(), oArgs.end());
    return m_oFixture.Run("/usr/bin/env", oAll);
  }
  // wdxcall in line mode with sInput on its standard input.
  SRunResult CallLines(const std::string& sProgId, const std::string& sInput) {
    m_oFixture.Folder().Write("calls.txt", sInput);
    return m_oFixture.Run("/bin/sh", {"-c", "exec \"$0\" \"$1\" < \"$2\"", Dist("wdxcall"), sProgId,
                                      m_oFixture.Folder().File("calls.txt")});
  }

  CServiceFixture m_oFixture;
};

TEST_F(AutomationHost, ALifeSignFromCronAndTheErrorsAScriptSees) {
  const std::string sFile = m_oFixture.Folder().File("alive");
  const int64_t llBefore = std::time(nullptr);
  SRunResult oRun = CallAsCron({"ZuvLifeSign.LifeSign", "ShowLifeSign", sFile});
  const int64_t llAfter = std::time(nullptr);
  ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sErr;
  EXPECT_EQ(oRun.m_sOut, "1\n");
  const std::string sLine = m_oFixture.Folder().Read("alive");
  ASSERT_EQ(sLine.find_first_not_of("0123456789"), sLine.size() - 1) << sLine;
  EXPECT_EQ(sLine.back(), '\n');
  EXPECT_GE(std::stoll(sLine), llBefore);
  EXPECT_LE(std::stoll(sLine), llAfter);

  struct SCase {
    std::vector<std::string> oArgs;
    int iExitCode;
    const char* szOut;
    const char* szErr;  // a part of the error text
  };
  const SCase aoCases[] = {
      {{"ZuvLifeSign.LifeSign.1", "DeleteFile", sFile}, 0, "-1\n", ""},
      {{"ZuvLifeSign.LifeSign", "Delete", sFile}, 0, "0\n", ""},
      {{"ZuvLifeSign.LifeSign", "CreateOrModify", sFile + "/below-a-file"}, 0, "0\n", ""},
      {{"ZuvLifeSign.LifeSign", "Wave", sFile}, 3, "", "Wave: unknown method"},
      {{"ZuvLifeSign.LifeSign", "ShowLifeSign"}, 3, "", "ShowLifeSign: wrong number of arguments"},
      {{"ZuvLifeSign.Other", "ShowLifeSign", sFile},
       2,
       "",
       "cannot create ZuvLifeSign.Other: class not registered"},
      {{}, 1, "", "usage: wdxcall"},
  };
  for (const SCase& oCase : aoCases) {
    const std::string sWhat = oCase.oArgs.empty() ? "(none)" : oCase.oArgs[1 % oCase.oArgs.size()];
    oRun = CallAsCron(oCase.oArgs);
    EXPECT_EQ(oRun.m_iExitCode, oCase.iExitCode) << sWhat << ": " << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut, oCase.szOut) << sWhat;
    EXPECT_NE(oRun.m_sErr.find(oCase.szErr), std::string::npos) << sWhat << ": " << oRun.m_sErr;
    if (*oCase.szErr == '\0') {
      EXPECT_EQ(oRun.m_sErr, "") << sWhat;
    }
  }
  EXPECT_EQ(m_oFixture.Folder().Read("alive"), "");
}

TEST_F(AutomationHost, LinesDriveOnePerfwatchObjectAndGoOnAfterErrors) {
  const std::string sKey = "\\\\host\\Process(wdxcall)\\Elapsed Time";
  const std::string sInput =
      "IsReady\n"
      "UpdateInstanceCount 1\n"
      "Reinitialize '" +
      m_oFixture.Home() +
      "'\n"
      "AddKey '" +
      sKey +
      "'\n"
      "IsReady\n"
      "GetDeltaByIndex 7\n"
      "SetSamplePeriod 100\n"
      "AddKey\n"
      "Sample 1\n"
      "GetFirstFailure\n";
  const SRunResult oRun = CallLines("Perfwatch.Watcher", sInput);
  EXPECT_EQ(oRun.m_iExitCode, 3) << oRun.m_sErr;
  EXPECT_EQ(oRun.m_sOut, "0\n-1\n-1\n-1\n-1\n0\n\n\n");
  EXPECT_EQ(oRun.m_sErr,
            "wdxcall: line 8: AddKey: wrong number of arguments (0x8002000E)\n"
            "wdxcall: line 9: Sample: unknown method (0x80020006)\n");
  // The calls reached the component: its own log in the folder it was given.
  const std::string sStats = m_oFixture.Folder().Read("Stats.log");
  EXPECT_NE(sStats.find("Watcher Started"), std::string::npos) << sStats;
  EXPECT_NE(sStats.find("CWatcher::SetSamplePeriod"), std::string::npos) << sStats;
}

}  // namespace
}  // namespace wdx::test
