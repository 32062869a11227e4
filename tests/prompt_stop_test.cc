// Stops of the real wdxsvc while its GO cycle waits on a web server that never answers: STOP
// and SIGTERM cut the request short, no restart follows, and UrlTimeout bounds the request.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/ram_file.h"
#include "platform/component.h"
#include "platform/registry_store.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "service/ops/ops_mngr_thread.h"
#include "tests/support/service_fixture.h"

extern char** environ;

namespace wdx::test {
namespace {

// A loopback port that listens and never accepts: the kernel completes every connection, so a
// client sends its request and then waits for an answer that never comes.
class CHungServer final {
 public:
  CHungServer() {
    m_iFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in oAddress{};
    oAddress.sin_family = AF_INET;
    oAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t uLength = sizeof oAddress;
    if (m_iFd >= 0 && bind(m_iFd, reinterpret_cast<sockaddr*>(&oAddress), uLength) == 0 &&
        listen(m_iFd, 64) == 0 &&
        getsockname(m_iFd, reinterpret_cast<sockaddr*>(&oAddress), &uLength) == 0) {
      m_iPort = ntohs(oAddress.sin_port);
    }
  }
  ~CHungServer() {
    if (m_iFd >= 0) close(m_iFd);
  }
  CHungServer(const CHungServer&) = delete;
  CHungServer& operator=(const CHungServer&) = delete;

  int Port() const { return m_iPort; }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_iPort) + "/hangs"; }

 private:
  int m_iFd = -1;
  int m_iPort = 0;
};

// A program of the test, started without a shell and ended with it.
class CChildProgram final {
 public:
  explicit CChildProgram(std::vector<std::string> oArgs) {
    std::vector<char*> oArgv;
    for (std::string& sArg : oArgs) oArgv.push_back(sArg.data());
    oArgv.push_back(nullptr);
    if (posix_spawn(&m_iPid, oArgv[0], nullptr, nullptr, oArgv.data(), environ) != 0) m_iPid = -1;
  }
  ~CChildProgram() {
    if (m_iPid <= 0) return;
    kill(m_iPid, SIGKILL);
    waitpid(m_iPid, nullptr, 0);
  }
  CChildProgram(const CChildProgram&) = delete;
  CChildProgram& operator=(const CChildProgram&) = delete;

  int Pid() const { return m_iPid; }

 private:
  pid_t m_iPid = -1;
};

class PromptStop : public ::testing::Test {
 protected:
  // One minute of service time is 100 ms here; network time limits are real time.
  explicit PromptStop(int iTimeScale = 600) : m_oFixture(iTimeScale) {}

  void SetUp() override { ASSERT_NE(m_oHung.Port(), 0); }

  // The keys, then the sections (by default the hung URL as the one local URL).
  void WriteSettings(const std::vector<std::string>& oKeys,
                     std::vector<std::string> oSections = {}) {
    if (oSections.empty()) oSections = {"[URLS]", m_oHung.Url()};
    std::vector<std::string> oLines = {"[KEYS]"};
    oLines.insert(oLines.end(), oKeys.begin(), oKeys.end());
    oLines.insert(oLines.end(),
                  {"AdminId=operator", "Password=pw", "MachineName=test-host", "MinuteInterval=1"});
    oLines.insert(oLines.end(), oSections.begin(), oSections.end());
    CRamFile oFile;
    oFile.Initialize(m_oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox(oLines));
    ASSERT_TRUE(oFile.SaveToFile());
  }

  // Starts the service, enters GO mode and waits until the log shows sMark (by default: the
  // hung request is under way).
  void StartAndHang(std::string sMark = "") {
    if (sMark.empty()) sMark = Testing();
    ASSERT_EQ(m_oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
    ASSERT_TRUE(m_oFixture.StartServiceProcess());
    m_pClient = m_oFixture.Connect();
    ASSERT_NE(m_pClient, nullptr);
    int iResult = 0;
    ASSERT_TRUE(m_pClient->OpsCommand(WDX_GO, iResult));
    ASSERT_TRUE(WaitFor(20000, [&] { return m_oFixture.CountInLog(sMark.c_str()) >= 1; }))
        << LogTail();
  }

  // The end of the service log, for the messages of failed checks.
  std::string LogTail() const {
    const std::string sLog = m_oFixture.LogText();
    return sLog.substr(sLog.size() > 3000 ? sLog.size() - 3000 : 0);
  }

  std::string Testing() const { return "COpsMngrThread::RunUrls() testing " + m_oHung.Url(); }

  int Ops(int iCode) {
    int iResult = 0;
    EXPECT_TRUE(m_pClient->OpsCommand(iCode, iResult)) << m_pClient->GetLastError();
    return iResult;
  }

  std::string AutoRun() {
    std::string sValue;
    OpenRegistryStoreAt(m_oFixture.RegistryPath())
        ->GetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, sValue);
    return sValue;
  }

  static bool WaitFor(int iDeadlineMs, const std::function<bool()>& fnDone) {
    for (int i = 0; i < iDeadlineMs / 10; ++i) {
      if (fnDone()) return true;
      usleep(10'000);
    }
    return fnDone();
  }

  CServiceFixture m_oFixture;
  CHungServer m_oHung;
  std::unique_ptr<CWdxSvrClient> m_pClient;
};

TEST_F(PromptStop, ConsoleStopAbandonsTheRequestStartsNoRestartAndTurnsAutoRunOff) {
  // AutoRun on: the service enters GO mode by itself, and a pending automatic start must not
  // bring it back after the STOP.
  WriteSettings({"RstrSecs=60"});
  ASSERT_TRUE(OpenRegistryStoreAt(m_oFixture.RegistryPath())
                  ->SetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, "1"));
  StartAndHang();
  const SRunResult oStop = m_oFixture.RunConsole({"stop"});
  EXPECT_EQ(oStop.m_iExitCode, 0) << oStop.m_sErr;
  EXPECT_NE(oStop.m_sOut.find("STOP command. Stopping now....."), std::string::npos);
  EXPECT_EQ(AutoRun(), "0");
  // The request would hold the cycle for 120 s; the STOP ends it long before that.
  ASSERT_TRUE(WaitFor(30000, [&] {
    return m_oFixture.CountInLog("COpsMngrThread::Go(): Testing has STOPPED.") == 1;
  }));
  EXPECT_EQ(Ops(WDX_IS_GO_MODE), WDX_FALSE);
  // An abandoned test is no failure: no restart, no DN line, and the state says stopped.
  EXPECT_EQ(Ops(WDX_GET_STATE), WDX_STATE_STOPPED);
  EXPECT_EQ(m_oFixture.CountInLog("FAILURE DETECTED"), 0);
  EXPECT_EQ(m_oFixture.Folder().Read("UpTime.log").find(", DN\r"), std::string::npos);
  // Ten times the automatic start's count-down later, GO mode has not started again.
  usleep(1'000'000);
  EXPECT_EQ(m_oFixture.CountInLog("COpsMngrThread::Go() 1"), 1);
  EXPECT_EQ(m_oFixture.CountInLog(Testing().c_str()), 1);
}

TEST_F(PromptStop, SigtermDuringTheRequestEndsTheServiceWithinFiveSeconds) {
  WriteSettings({});
  StartAndHang();
  m_pClient.reset();
  EXPECT_EQ(m_oFixture.StopServiceProcess(5000), 0) << LogTail();
  EXPECT_EQ(m_oFixture.CountInLog("WDXSVC CThreadOwner::KillAllThreads() failed."), 0);
  EXPECT_EQ(m_oFixture.CountInLog("FAILURE DETECTED"), 0);
  EXPECT_EQ(m_oFixture.CountInLog("WdxSvc functions terminated."), 1);
}

// Real time: the restart would wait 2, 4 and 6 s for the program to register, then check it
// every 5 s for RstrSecs = 600 s; an activity sample of an idle program lasts 10 s.
class PromptStopRealTime : public PromptStop {
 protected:
  PromptStopRealTime() : PromptStop(1) {}
};

TEST_F(PromptStopRealTime, SigtermDuringTheRestartEndsTheServiceWithinFiveSeconds) {
  // A port that refuses: the first cycle fails at once and the restart begins.
  int iClosedPort = 0;
  {
    CHungServer oGone;
    iClosedPort = oGone.Port();
  }
  WriteSettings(
      {"RstrSecs=600", "RestartsB4Reboot=0"},
      {"[URLS]", "http://127.0.0.1:" + std::to_string(iClosedPort) + "/", "[PROGS]", "/bin/true"});
  StartAndHang("COpsMngrThread::DoRestarter() 5.");
  m_pClient.reset();
  EXPECT_EQ(m_oFixture.StopServiceProcess(5000), 0) << LogTail();
  EXPECT_EQ(m_oFixture.CountInLog("WDXSVC CThreadOwner::KillAllThreads() failed."), 0);
  EXPECT_EQ(m_oFixture.CountInLog("COpsMngrThread::DoRestarter() 10."), 0);
}

TEST_F(PromptStopRealTime, SigtermDuringAnActivitySampleEndsTheServiceWithinFiveSeconds) {
  const std::string sLibrary = std::string(WDX_DIST_DIR) + "/Perfwatch.so";
  if (access(sLibrary.c_str(), R_OK) != 0) GTEST_SKIP() << "no " << sLibrary;
  ASSERT_EQ(RegisterLibrary(sLibrary, false), S_OK) << GetComponentError();
  // A sleeping program does no I/O: the sample runs its whole 10 s.
  const std::string sProgram = m_oFixture.Folder().File("idlewatch");
  std::filesystem::copy_file("/bin/sleep", sProgram);
  std::filesystem::permissions(sProgram, std::filesystem::perms::owner_all);
  CChildProgram oIdle({sProgram, "1000"});
  ASSERT_GT(oIdle.Pid(), 0);
  WriteSettings({"Sensitivity=0", "WATCH=1", "RestartsB4Reboot=0"}, {"[STOPS]", sProgram});
  StartAndHang("CWarden::XTst 2.");
  m_pClient.reset();
  EXPECT_EQ(m_oFixture.StopServiceProcess(5000), 0) << LogTail();
  // The sample could not be cut short: the process ended without waiting for it.
  EXPECT_EQ(m_oFixture.CountInLog("CWarden::XTst 2a."), 0);
  EXPECT_EQ(m_oFixture.CountInLog(
                "WDXSVC ends on the stop signal without waiting for the operations thread."),
            1);
}

TEST_F(PromptStop, UrlTimeoutMakesTheHungUrlFail) {
  // Two seconds instead of the default 120: the failure comes well within the deadline.
  WriteSettings({"UrlTimeout=2", "RestartsB4Reboot=0"});
  StartAndHang();
  ASSERT_TRUE(WaitFor(30000, [&] {
    return m_oFixture.CountInLog("FAILURE DETECTED. Attempting RESTART........") >= 1;
  }));
  EXPECT_GE(m_oFixture.CountInLog(("Failed URL: " + m_oHung.Url()).c_str()), 1);
  EXPECT_NE(m_oFixture.Folder().Read("UpTime.log").find("101, " + m_oHung.Url() + ", DN\r"),
            std::string::npos);
}

// A web server reset that is missing, cannot be run or never ends: the restart goes on without
// it, or a STOP ends GO mode while the reset is left running; never a reboot.
struct SWebResetCase {
  const char* m_szName;
  const char* m_szScript;  // nullptr: no webreset in the program folder
  int m_iMode;
  const char* m_szLogText;
};

void PrintTo(const SWebResetCase& oCase, std::ostream* pOut) {
  *pOut << oCase.m_szName;
}

class PromptStopWebReset : public PromptStop,
                           public ::testing::WithParamInterface<SWebResetCase> {};

TEST_P(PromptStopWebReset, TheRestartNeitherHangsNorReboots) {
  const SWebResetCase& oCase = GetParam();
  int iClosedPort = 0;
  {
    CHungServer oGone;
    iClosedPort = oGone.Port();
  }
  WriteSettings({"RestartsB4Reboot=0"},
                {"[URLS]", "http://127.0.0.1:" + std::to_string(iClosedPort) + "/"});
  if (oCase.m_szScript != nullptr) {
    m_oFixture.Folder().Write("webreset", oCase.m_szScript);
    ASSERT_EQ(chmod(m_oFixture.Folder().File("webreset").c_str(), oCase.m_iMode), 0);
  }
  StartAndHang("COpsMngrThread::DoRestarter() 1.");
  const SRunResult oStop = m_oFixture.RunConsole({"stop"});
  EXPECT_EQ(oStop.m_iExitCode, 0) << oStop.m_sErr;
  ASSERT_TRUE(WaitFor(20000, [&] {
    return m_oFixture.CountInLog("COpsMngrThread::Go(): Testing has STOPPED.") == 1;
  })) << LogTail();
  ASSERT_TRUE(WaitFor(5000, [&] { return m_oFixture.CountInLog(oCase.m_szLogText) >= 1; }))
      << LogTail();
  EXPECT_EQ(Ops(WDX_IS_GO_MODE), WDX_FALSE);
  EXPECT_EQ(m_oFixture.RebootCount(), 0);
  if (std::string(oCase.m_szName) == "Hangs") {  // the reset left running is ended here
    ASSERT_TRUE(WaitFor(5000, [&] { return !m_oFixture.Folder().Read("webreset.pid").empty(); }));
    kill(std::stoi(m_oFixture.Folder().Read("webreset.pid")), SIGKILL);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PromptStopWebReset,
    ::testing::Values(
        SWebResetCase{"Missing", nullptr, 0, "finds no web server reset at"},
        SWebResetCase{"NotExecutable", "#!/bin/sh\nexit 0\n", 0644, "web server reset failed"},
        SWebResetCase{"Fails", "#!/bin/sh\nexit 3\n", 0755, "web server reset failed"},
        SWebResetCase{"Hangs", "#!/bin/sh\necho $$ >\"$0.pid\"\nexec sleep 600 >/dev/null 2>&1\n",
                      0755, "leaves running (pid"}),
    [](const ::testing::TestParamInfo<SWebResetCase>& oInfo) { return oInfo.param.m_szName; });

}  // namespace
}  // namespace wdx::test
