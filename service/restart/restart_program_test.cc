// The restart program: loading Wardenix.ini (good and bad files), the two sections, every
// instruction on real files and processes, the slicing of Wait and the stops during waits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/fake_clock.h"
#include "platform/process.h"
#include "service/host/thread_owner.h"
#include "service/host/wdx_codes.h"
#include "service/restart/instruction.h"
#include "service/restart/warden.h"
#include "tests/support/log_capture.h"
#include "tests/support/loopback_servers.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using Clock = std::chrono::steady_clock;

class RestartProgram : public ::testing::Test {
 protected:
  RestartProgram() {
    m_oWarden.m_sBaseDirectory = m_oHome.Path();
    m_oWarden.AttachShared(&m_oOwner);
  }
  ~RestartProgram() override { m_oWarden.Release(); }

  bool Load(const std::string& sText) {
    m_oHome.Write("Wardenix.ini", sText);
    return m_oWarden.SetProgramFile(m_oHome.File("Wardenix.ini")) && m_oWarden.LoadFromIniFile();
  }
  // Loads one instruction and performs it.
  bool Perform(const std::string& sLine) {
    m_oWarden.Release();
    EXPECT_TRUE(Load(sLine + "\n")) << sLine;
    m_oWarden.SetCurrentInstruction(0);
    return m_oWarden.PerformInstruction();
  }
  bool Exists(const std::string& sName) const {
    return std::filesystem::exists(m_oHome.File(sName));
  }
  // Waits (up to 10 s) until the file exists.
  bool Appears(const std::string& sName) const {
    for (auto tEnd = Clock::now() + std::chrono::seconds(10); Clock::now() < tEnd;) {
      if (Exists(sName)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  test::CLogCapture m_oLog;
  test::CTempFolder m_oHome;
  CThreadOwner m_oOwner;
  CWarden m_oWarden;
};

struct SLoadCase {
  const char* m_szName;
  std::string m_sText;
  bool m_bLoaded;
  int m_iInstructions;
  const char* m_szLogged;  // an error text the case must log ("" none required)
};

TEST_F(RestartProgram, LoaderAcceptsGoodAndSurvivesBadFiles) {
  const SLoadCase aCases[] = {
      {"keys and comments", "Stop=a ## kill a\n## Start=b\n# x=y\nwait = 3 \nStart\n", true, 2, ""},
      {"over-long line ends the reading", "Stop=a\nStart=" + std::string(600, 'x') + "\nStop=b\n",
       true, 1, ""},
      {"no =", "nothing here\nat all\n", false, 0, "CWarden::LoadFromIniFile() failed"},
      {"only comments", "## MaxWait=1\n##\n", false, 0, "CWarden::LoadFromIniFile() failed"},
      {"binary garbage", std::string("\x01\xff\0\x80=\x90\n\xfe\xfd\n", 10), true, 0, ""},
      {"Detect without folder", "Detect=alive.txt\nStop=x\n", false, 1,
       "CWarden::LoadFromIniFile() needs a folder and a file name in Detect=alive.txt"},
      {"empty file", "", false, 0, "CWarden::LoadFromIniFile() failed"},
      {"Detect copy over the settings", "Detect=/srv/app/autoset.CAF\n", false, 1,
       "CWarden::LoadFromIniFile() Detect=/srv/app/autoset.CAF would keep its copy over "
       "Wardenix's own file autoset.CAF"},
  };
  for (const SLoadCase& oCase : aCases) {
    SCOPED_TRACE(oCase.m_szName);
    m_oWarden.Release();
    EXPECT_EQ(Load(oCase.m_sText), oCase.m_bLoaded);
    EXPECT_EQ(m_oWarden.GetInstructionCount(), oCase.m_iInstructions);
    if (*oCase.m_szLogged != '\0') {
      EXPECT_TRUE(m_oLog.HasError(oCase.m_szLogged));
    }
  }
  EXPECT_FALSE(Exists("autoset.CAF"));
  m_oWarden.Release();
  EXPECT_FALSE(m_oWarden.SetProgramFile(m_oHome.File("none.ini")) && m_oWarden.LoadFromIniFile());
}

TEST_F(RestartProgram, SettingsTakeEffectInFileOrder) {
  ASSERT_TRUE(
      Load("MaxWait=10\nmaxwait=120\nUserName = bob \nPassword=pw\nDomainName=dom\n"
           "RetryCount=5\nPathToInternetExplorer=/opt/b/browser\nOther=1\n"));
  EXPECT_EQ(m_oWarden.m_iMaxWait, 120);
  EXPECT_EQ(m_oWarden.m_sUserName, "bob");
  EXPECT_EQ(m_oWarden.m_sPassword, "pw");
  EXPECT_EQ(m_oWarden.m_sDomainName, "dom");
  EXPECT_EQ(m_oWarden.m_iRetryCount, 5);
  EXPECT_EQ(m_oWarden.m_sBrowserPath, "/opt/b/browser");
  EXPECT_EQ(m_oWarden.GetInstructionCount(), 0);
  EXPECT_NE(m_oLog.Text().find("|||------ End Loading program from Wardenix.ini"),
            std::string::npos);
  ASSERT_TRUE(Load("MaxWait=-5\n"));
  EXPECT_EQ(m_oWarden.m_iMaxWait, 0);  // a negative bound is none at all
}

TEST_F(RestartProgram, InstructionsPastTheListsRoomAreDropped) {
  std::string sText;
  for (int i = 0; i <= WDX_MAX_INSTRUCTIONS; ++i) sText += "Wait=" + std::to_string(i) + "\n";
  ASSERT_TRUE(Load(sText));
  EXPECT_EQ(m_oWarden.GetInstructionCount(), WDX_MAX_INSTRUCTIONS);
  EXPECT_EQ(m_oLog.CountErrors("CWarden::AddInstruction() failed"), 1);
  EXPECT_EQ(m_oWarden.GetInstruction(WDX_MAX_INSTRUCTIONS - 1)->GetValue(), "4095");
}

// Each case deletes marker files: the ones that are gone show which instructions ran.
struct SSectionCase {
  const char* m_szProgram;
  bool m_bDetect;
  bool m_bResult;
  const char* m_szDeleted;  // the markers d, r, x that are deleted, in that order
};

TEST_F(RestartProgram, SectionsPerformOnlyTheirOwnInstructions) {
  const std::string sDel = "DeleteSignalFile=" + m_oHome.Path();
  const std::string sFull = "Begin=Detection\n" + sDel + "d\nEnd=x\nBegin=Restarter\n" + sDel +
                            "r\nEnd=RESTARTER\n" + sDel + "x\n";
  const SSectionCase aCases[] = {
      {"both", true, true, "d"},     {"both", false, true, "r"},    {"no Begin", true, true, ""},
      {"no Begin", false, true, ""}, {"no End", true, true, "drx"}, {"failing", true, false, ""},
  };
  for (const SSectionCase& oCase : aCases) {
    const std::string sName = oCase.m_szProgram;
    SCOPED_TRACE(sName + (oCase.m_bDetect ? " DETECT" : " RESTARTER"));
    std::string sProgram = sFull;
    if (sName == "no Begin") sProgram = sDel + "d\n" + sDel + "r\n";
    if (sName == "no End")
      sProgram = "Begin=DETECTION\n" + sDel + "d\nBegin=RESTARTER\n" + sDel + "r\n" + sDel + "x\n";
    if (sName == "failing") sProgram = "Begin=Detection\nDetect=/no/such/dir/f\n" + sDel + "d\n";
    for (const char* szMarker : {"d", "r", "x"}) m_oHome.Write(szMarker, "1");
    m_oWarden.Release();
    ASSERT_TRUE(Load(sProgram));
    m_oWarden.m_bProgramLoaded = true;
    std::atomic<int> iState{0};
    std::atomic<bool> bGo{true};
    EXPECT_EQ(oCase.m_bDetect ? m_oWarden.RunIniDetect(iState, bGo) : m_oWarden.RunRestarter(),
              oCase.m_bResult);
    std::string sDeleted;
    for (const char* szMarker : {"d", "r", "x"}) {
      if (!Exists(szMarker)) sDeleted += szMarker;
    }
    EXPECT_EQ(sDeleted, oCase.m_szDeleted);
  }
  m_oWarden.Release();
  EXPECT_FALSE(m_oWarden.RunRestarter());  // an empty list
  EXPECT_NE(m_oLog.Text().find("|||------------End RESTARTER Operations"), std::string::npos);
}

TEST_F(RestartProgram, RunIniDetectNeedsAProgramAndTheGoFlag) {
  std::atomic<int> iState{WDX_STATE_RUNNING};
  std::atomic<bool> bGo{true};
  ASSERT_TRUE(Load("Begin=Detection\nEnd=Detection\n"));
  m_oWarden.m_bIisResetDone = true;
  EXPECT_FALSE(m_oWarden.RunIniDetect(iState, bGo));  // not loaded by Initialize
  EXPECT_FALSE(m_oWarden.m_bIisResetDone);
  m_oWarden.m_bProgramLoaded = true;
  bGo = false;
  EXPECT_FALSE(m_oWarden.RunIniDetect(iState, bGo));
  EXPECT_EQ(iState, WDX_STATE_RUNNING);
  bGo = true;
  EXPECT_TRUE(m_oWarden.RunIniDetect(iState, bGo));
  EXPECT_EQ(iState, WDX_STATE_TESTING);
}

TEST_F(RestartProgram, DetectFollowsTheFirstLineOfTheSignalFile) {
  const std::string sLine = "Detect=" + m_oHome.Path() + "app/alive.txt";
  std::filesystem::create_directory(m_oHome.File("app"));
  const std::string sLong(300, 'a');
  const std::string kMissing = "<missing>";
  const struct {
    std::string m_sContent;  // kMissing: the folder is removed
    bool m_bPasses;
  } aSteps[] = {{"one\n", true},      {"one\n", false},       {"ONE\r\nx\n", false},
                {"two", true},        {"\nthree\n", true},    {"\nthree\n", true},
                {sLong + "\n", true}, {sLong + "b\n", false},  // compared up to 256 bytes
                {kMissing, false}};
  ASSERT_TRUE(Load(sLine + "\n"));
  m_oWarden.SetCurrentInstruction(0);
  for (const auto& oStep : aSteps) {
    SCOPED_TRACE(oStep.m_sContent);
    if (oStep.m_sContent == kMissing) {
      std::filesystem::remove_all(m_oHome.File("app"));  // the folder vanishes
    } else {
      m_oHome.Write("app/alive.txt", oStep.m_sContent);
    }
    EXPECT_EQ(m_oWarden.PerformInstruction(), oStep.m_bPasses);
  }
  EXPECT_TRUE(
      m_oLog.HasError("Activity Detect is NEGATIVE for " + m_oHome.Path() + "app/alive.txt"));
  EXPECT_EQ(m_oHome.Read("alive.txt"), std::string(256, 'a') + "\r\n");  // the copy

  // A copy that cannot be written is reported; the detector then keeps passing.
  std::filesystem::create_directory(m_oHome.File("app"));
  m_oHome.Write("app/alive.txt", "four\n");
  m_oWarden.m_sBaseDirectory = m_oHome.Path() + "gone/";
  ASSERT_TRUE(Load(sLine + "\n"));
  m_oWarden.SetCurrentInstruction(1);
  EXPECT_TRUE(m_oWarden.PerformInstruction());
  EXPECT_TRUE(m_oWarden.PerformInstruction());
  EXPECT_TRUE(m_oLog.HasError("CActivityDetector::Commit() cannot write the copy " +
                              m_oHome.Path() + "gone/alive.txt"));
}

TEST_F(RestartProgram, WaitSleepsWholeSlicesAndIsBoundedByMaxWait) {
  CFakeClock oClock;
  SetClockForTesting(&oClock);
  const struct {
    int m_iMs;
    int64_t m_iSlept;
  } aWaits[] = {{0, 0}, {-5, 0}, {1500, 1500}, {2000, 2000}, {5000, 6000}, {600000, 602000}};
  for (const auto& oWait : aWaits) {
    const int64_t iBefore = oClock.GetTotalSleptMs();
    m_oWarden.Wait(oWait.m_iMs);
    EXPECT_EQ(oClock.GetTotalSleptMs() - iBefore, oWait.m_iSlept) << oWait.m_iMs;
  }
  const struct {
    const char* m_szLine;
    int64_t m_iSlept;
  } aInstructions[] = {{"Wait=3", 4000}, {"Wait=1000", 302000}, {"Wait=x", 0}, {"Wait=-4", 0}};
  for (const auto& oCase : aInstructions) {
    const int64_t iBefore = oClock.GetTotalSleptMs();
    EXPECT_TRUE(Perform(oCase.m_szLine));
    EXPECT_EQ(oClock.GetTotalSleptMs() - iBefore, oCase.m_iSlept) << oCase.m_szLine;
  }
  SetClockForTesting(nullptr);
}

TEST_F(RestartProgram, StoppingServiceEndsTheRestarterWithinOneSlice) {
  CFakeClock oClock;
  SetClockForTesting(&oClock);
  ASSERT_TRUE(Load("Begin=RESTARTER\nWait=300\nWait=300\nEnd=RESTARTER\n"));
  m_oOwner.m_bTerminate = true;
  m_oWarden.RunRestarter();
  EXPECT_LE(oClock.GetTotalSleptMs(), 2000);  // one slice, not 2 x 302 s
  EXPECT_EQ(m_oLog.Text().find("Task:: Wait : 300", m_oLog.Text().find("Task:: Wait : 300") + 1),
            std::string::npos);  // the second Wait never began
  SetClockForTesting(nullptr);
}

TEST_F(RestartProgram, StartStartAndCompleteAndDeleteSignalFileOnRealProcesses) {
  const std::string sHome = m_oHome.Path();
  EXPECT_TRUE(Perform("Start=/bin/sh -c 'echo started > " + sHome + "started'"));
  EXPECT_TRUE(Appears("started"));
  EXPECT_TRUE(Perform("StartAndComplete=/bin/sh -c 'sleep 0.2; echo done > " + sHome + "done'"));
  EXPECT_TRUE(Exists("done"));  // waited for
  m_oHome.Write("webreset", "#!/bin/sh\necho \"$@\" > " + sHome + "reset\n");
  std::filesystem::permissions(m_oHome.File("webreset"), std::filesystem::perms::owner_all);
  EXPECT_TRUE(Perform("StartAndComplete=IisReset now"));
  EXPECT_TRUE(m_oWarden.m_bIisResetDone);
  EXPECT_EQ(m_oHome.Read("reset"), "now\n");
  // A URL: the browser (here a script) is given it.
  m_oHome.Write("browser", "#!/bin/sh\necho \"$@\" > " + sHome + "opened\n");
  std::filesystem::permissions(m_oHome.File("browser"), std::filesystem::perms::owner_all);
  for (const char* szLine :
       {"Start=https://example.test/a b", "StartWithInternetExplorer=http://x/"}) {
    std::remove(m_oHome.File("opened").c_str());
    m_oWarden.Release();
    ASSERT_TRUE(Load(std::string("PathToInternetExplorer=") + sHome + "browser\n" + szLine + "\n"));
    m_oWarden.SetCurrentInstruction(0);
    EXPECT_TRUE(m_oWarden.PerformInstruction());
    EXPECT_TRUE(Appears("opened")) << szLine;
  }
  EXPECT_TRUE(Perform("StartWithInternetExplorer=/bin/false"));  // no URL: nothing
  EXPECT_TRUE(Perform("Start=/no/such/program"));                // a launch failure does not fail
  EXPECT_TRUE(m_oLog.HasError("CProcessLauncher:: cannot start /no/such/program"));
  m_oHome.Write("flag", "1");
  EXPECT_TRUE(Perform("DeleteSignalFile=" + sHome + "flag"));
  EXPECT_FALSE(Exists("flag"));
  EXPECT_TRUE(Perform("DeleteSignalFile=" + sHome + "flag"));  // already gone
  EXPECT_TRUE(Perform("Begin=anything"));
  EXPECT_TRUE(Perform("End=anything"));
}

TEST_F(RestartProgram, StartAndCompleteUrlNeedsA2xxAnswer) {
  test::CLoopbackServer oServer(std::make_unique<httplib::Server>());
  oServer.Http().Get("/ok", [](const httplib::Request&, httplib::Response& oResponse) {
    oResponse.set_content("ok", "text/plain");
  });
  oServer.Http().Get("/bad", [](const httplib::Request&, httplib::Response& oResponse) {
    oResponse.status = 500;
  });
  ASSERT_TRUE(oServer.Start());
  const std::string sBase = "http://127.0.0.1:" + std::to_string(oServer.Port());
  EXPECT_TRUE(Perform("StartAndComplete=" + sBase + "/ok"));
  EXPECT_FALSE(Perform("StartAndComplete=" + sBase + "/bad"));
  EXPECT_TRUE(m_oLog.HasError("CWarden::PerformInstruction() detected a failure."));
  oServer.Stop();
}

TEST_F(RestartProgram, WaitForFileSucceedsTimesOutAndEndsOnStop) {
  const std::string sFile = m_oHome.File("ready.flg");
  m_oHome.Write("ready.flg", "");
  EXPECT_TRUE(Perform("WaitForFile=" + sFile));  // at once
  std::remove(sFile.c_str());
  m_oWarden.m_iMaxWait = 0;
  EXPECT_FALSE(Perform("WaitForFile=" + sFile));
  EXPECT_TRUE(m_oLog.HasError("'WaitForFile' FAILS for " + sFile));

  m_oWarden.m_iMaxWait = 300;
  std::atomic<bool> bGo{false};
  std::atomic<int> iState{0};
  m_oWarden.RunIniDetect(iState, bGo);            // makes the go flag known
  EXPECT_FALSE(Perform("WaitForFile=" + sFile));  // go flag clear
  bGo = true;
  std::thread oStopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    m_oOwner.m_bTerminate = true;
  });
  const auto tStart = Clock::now();
  EXPECT_FALSE(Perform("WaitForFile=" + sFile));
  EXPECT_LT(Clock::now() - tStart, std::chrono::seconds(60));  // not the 300 s of MaxWait
  oStopper.join();
}

TEST_F(RestartProgram, StopDuringTheRestarterEndsItAndLeavesAWaitedProgramRunning) {
  ASSERT_TRUE(
      Load("Begin=RESTARTER\nStartAndComplete=/bin/sleep 600\nWait=300\nStart=/bin/sh -c "
           "'echo > " +
           m_oHome.Path() + "late'\nEnd=RESTARTER\n"));
  std::thread oStopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    m_oOwner.m_bTerminate = true;
  });
  const auto tStart = Clock::now();
  m_oWarden.RunRestarter();
  EXPECT_LT(Clock::now() - tStart, std::chrono::seconds(60));  // not 600 s nor 300 s
  oStopper.join();
  EXPECT_FALSE(Exists("late"));
  EXPECT_EQ(m_oWarden.GetLauncher().GetLeftRunningCount(), 1);
  EXPECT_NE(m_oLog.Text().find("leaves running"), std::string::npos);
  EXPECT_NE(m_oLog.Text().find("RESTARTER ends here."), std::string::npos);
  // The program left running is reaped once it has ended.
  CProcessLauncher& oLauncher = m_oWarden.GetLauncher();
  ASSERT_TRUE(SignalProcess(oLauncher.GetLeftRunning()[0], SIGKILL));
  for (auto tEnd = Clock::now() + std::chrono::seconds(10);
       oLauncher.GetLeftRunningCount() > 0 && Clock::now() < tEnd;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    oLauncher.ReapFinished();
  }
  EXPECT_EQ(oLauncher.GetLeftRunningCount(), 0);
}

}  // namespace
}  // namespace wdx
