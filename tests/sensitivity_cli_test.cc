// `wardenix sensitivity test` on real processes: the real console program with the real
// Perfwatch component (registered with wdxregsvr), the process watch reading /proc, and the URL
// checks against a loopback web site. A program that keeps doing I/O passes; an idle one is
// named as the failed item; a failing URL or a missing program is named before any sample.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "foundation/ram_file.h"
#include "tests/support/service_fixture.h"
#include "tests/support/test_site.h"

extern char** environ;

namespace wdx::test {
namespace {

using Lines = std::vector<std::string>;

// A program of the test folder, named sName, that runs until the test ends: a copy of the shell
// that writes into /dev/null every 50 ms (busy), or a copy of sleep (idle).
class CWatchedProgram final {
 public:
  CWatchedProgram(const CTempFolder& oFolder, const std::string& sName, bool bBusy)
      : m_sProgram(oFolder.File(sName)) {
    std::filesystem::copy_file(bBusy ? "/bin/sh" : "/bin/sleep", m_sProgram);
    std::filesystem::permissions(m_sProgram, std::filesystem::perms::owner_all);
    std::string sArg0 = m_sProgram;
    std::string sArg1 = "600";
    if (bBusy) {
      oFolder.Write(sName + ".sh", "while :; do echo x; sleep 0.05; done > /dev/null\n");
      sArg1 = oFolder.File(sName + ".sh");
    }
    char* aArgs[] = {sArg0.data(), sArg1.data(), nullptr};
    if (posix_spawn(&m_iPid, m_sProgram.c_str(), nullptr, nullptr, aArgs, environ) != 0) {
      m_iPid = -1;
    }
    m_oStarted = std::chrono::steady_clock::now();
  }
  ~CWatchedProgram() {
    if (m_iPid <= 0) return;
    kill(m_iPid, SIGKILL);
    waitpid(m_iPid, nullptr, 0);
  }
  CWatchedProgram(const CWatchedProgram&) = delete;
  CWatchedProgram& operator=(const CWatchedProgram&) = delete;

  const std::string& Program() const { return m_sProgram; }
  int Pid() const { return m_iPid; }
  // "Elapsed Time" counts whole seconds: a program is watched once it is two seconds old.
  void WaitUntilSettled() const {
    std::this_thread::sleep_until(m_oStarted + std::chrono::seconds(2));
  }

 private:
  std::string m_sProgram;
  pid_t m_iPid = -1;
  std::chrono::steady_clock::time_point m_oStarted;
};

class SensitivityCli : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string sLibrary = std::string(WDX_DIST_DIR) + "/Perfwatch.so";
    ASSERT_EQ(access(sLibrary.c_str(), R_OK), 0) << sLibrary;
    // As an operator registers it; the fixture's registry store is the console's.
    const SRunResult oRun = m_oFixture.Run(std::string(WDX_DIST_DIR) + "/wdxregsvr", {sLibrary});
    ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sOut << oRun.m_sErr;
  }

  void WriteSettings(const Lines& oSections, const std::string& sWatch = "1") {
    Lines oLines{"[KEYS]", "AdminId=operator", "Password=pw", "MachineName=test-host",
                 "WATCH=" + sWatch};
    oLines.insert(oLines.end(), oSections.begin(), oSections.end());
    CRamFile oFile;
    oFile.Initialize(m_oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox(oLines));
    ASSERT_TRUE(oFile.SaveToFile());
  }

  CServiceFixture m_oFixture;
  CTestSite m_oSite;
};

TEST_F(SensitivityCli, BusyProgramPassesAndAnIdleOneIsNamed) {
  CWatchedProgram oBusy(m_oFixture.Folder(), "busyloop", true);
  CWatchedProgram oIdle(m_oFixture.Folder(), "idler", false);
  ASSERT_GT(oBusy.Pid(), 0);
  ASSERT_GT(oIdle.Pid(), 0);
  oBusy.WaitUntilSettled();
  oIdle.WaitUntilSettled();

  WriteSettings({"Sensitivity=0", "[URLS]", m_oSite.Url("/local"), "[RURLS]",
                 m_oSite.Url("/remote"), "[STOPS]", oBusy.Program()});
  SRunResult oRun = m_oFixture.RunConsole({"sensitivity", "test"});
  EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sOut << oRun.m_sErr;
  EXPECT_EQ(oRun.m_sOut,
            "Sensitivity 0: a sample of 10 s, every 101 ms. Tests can run up to 130 seconds and "
            "cannot be stopped.\nTesting the URLs...\nSampling the watched programs for 10 s...\n"
            "Result: pass\n");

  WriteSettings({"[STOPS]", oBusy.Program(), oIdle.Program()});
  oRun = m_oFixture.RunConsole({"sensitivity", "test", "0"});
  EXPECT_EQ(oRun.m_iExitCode, 1) << oRun.m_sOut << oRun.m_sErr;
  EXPECT_NE(oRun.m_sOut.find("\nResult: FAIL\nFailed Item: idler\n"), std::string::npos)
      << oRun.m_sOut << oRun.m_sErr;
  const std::string sLog = m_oFixture.Folder().Read("Wardenix.log");
  EXPECT_EQ(sLog.find("CWarden::CreateWatcher failed."), std::string::npos) << sLog;
}

TEST_F(SensitivityCli, WhatFailsBeforeTheSampleIsNamed) {
  const struct {
    const char* szName;
    Lines oSettings;
    const char* szWatch;
    int iLocal, iRemote;
    std::string sOut;  // found in standard output
    std::string sErr;  // found in standard error
  } aCases[] = {
      {"local URL",
       {"[URLS]", m_oSite.Url("/local")},
       "1",
       500,
       200,
       "Result: FAIL\nFailed Item: " + m_oSite.Url("/local") + "\n",
       ""},
      {"remote URL",
       {"[RURLS]", m_oSite.Url("/local"), m_oSite.Url("/remote")},
       "1",
       200,
       404,
       "Result: FAIL\nFailed Item: " + m_oSite.Url("/remote") + "\n",
       ""},
      {"program not running",
       {"[STOPS]", "/opt/nowhere/ghost"},
       "T",
       200,
       200,
       "Result: FAIL\nFailed Item: Failed. Cannot see ghost\n",
       ""},
      {"auto detect off",
       {"[STOPS]", "/opt/nowhere/ghost"},
       "F",
       200,
       200,
       "",
       "wardenix: The 'Auto Detect' setting is disabled..\n"},
  };
  for (const auto& oCase : aCases) {
    WriteSettings(oCase.oSettings, oCase.szWatch);
    m_oSite.m_iLocalStatus = oCase.iLocal;
    m_oSite.m_iRemoteStatus = oCase.iRemote;
    const SRunResult oRun = m_oFixture.RunConsole({"sensitivity", "test", "0"});
    EXPECT_EQ(oRun.m_iExitCode, 1) << oCase.szName << oRun.m_sOut << oRun.m_sErr;
    EXPECT_NE(oRun.m_sOut.find(oCase.sOut), std::string::npos) << oCase.szName << oRun.m_sOut;
    EXPECT_NE(oRun.m_sErr.find(oCase.sErr), std::string::npos) << oCase.szName << oRun.m_sErr;
    EXPECT_EQ(oRun.m_sOut.find("Sampling"), std::string::npos) << oCase.szName << oRun.m_sOut;
  }
}

}  // namespace
}  // namespace wdx::test
