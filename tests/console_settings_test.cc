// The real wardenix console editing AutoSet.caf, and the service reading what it wrote.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "foundation/ram_file.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

namespace wdx::test {
namespace {

// Starts the console with the arguments and returns at once; its output is dropped.
pid_t SpawnConsole(const std::vector<std::string>& oArgs) {
  std::vector<std::string> oAll = {CServiceFixture::ConsoleProgram()};
  oAll.insert(oAll.end(), oArgs.begin(), oArgs.end());
  std::vector<char*> oArgv;
  for (auto& sArg : oAll) oArgv.push_back(sArg.data());
  oArgv.push_back(nullptr);
  const pid_t iPid = fork();
  if (iPid == 0) {
    const int iNull = open("/dev/null", O_RDWR);
    dup2(iNull, 1);
    dup2(iNull, 2);
    execv(oArgv[0], oArgv.data());
    _exit(127);
  }
  return iPid;
}

// Number of the consoles that ended with exit code 0.
int WaitForConsoles(const std::vector<pid_t>& oPids) {
  int iPassed = 0;
  for (pid_t iPid : oPids) {
    int iStatus = 0;
    if (waitpid(iPid, &iStatus, 0) == iPid && WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0) {
      ++iPassed;
    }
  }
  return iPassed;
}

std::vector<std::string> Lines(const std::string& sText) {
  std::vector<std::string> oLines;
  for (size_t uAt = 0, uEnd; (uEnd = sText.find('\n', uAt)) != std::string::npos; uAt = uEnd + 1) {
    oLines.push_back(sText.substr(uAt, uEnd - uAt));
  }
  return oLines;
}

unsigned ModeOf(const std::string& sPath) {
  struct stat oInfo = {};
  return stat(sPath.c_str(), &oInfo) == 0 ? oInfo.st_mode & 0777 : 0;
}

TEST(ConsoleSettings, SetGetListAddRemoveRoundTrip) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunConsole({"settings", "set", "MinuteInterval", "3"}).m_iExitCode, 0);
  ASSERT_EQ(oFixture.RunConsole({"settings", "set", "Password", "s3cret"}).m_iExitCode, 0);
  ASSERT_EQ(oFixture.RunConsole({"settings", "add", "URLS", "http://127.0.0.1/a"}).m_iExitCode, 0);
  ASSERT_EQ(oFixture.RunConsole({"settings", "add", "URLS", "http://127.0.0.1/b"}).m_iExitCode, 0);
  EXPECT_EQ(oFixture.RunConsole({"settings", "get", "minuteinterval"}).m_sOut, "3\n");

  const SRunResult oList = oFixture.RunConsole({"settings", "list"});
  EXPECT_NE(oList.m_sOut.find("MinuteInterval=3\n"), std::string::npos);
  EXPECT_NE(oList.m_sOut.find("Password=********\n"), std::string::npos);
  EXPECT_EQ(oList.m_sOut.find("s3cret"), std::string::npos);

  ASSERT_EQ(oFixture.RunConsole({"settings", "remove", "URLS", "http://127.0.0.1/a"}).m_iExitCode,
            0);
  EXPECT_EQ(oFixture.RunConsole({"settings", "export"}).m_sOut,
            "[KEYS]\nMinuteInterval=3\nPassword=s3cret\n[URLS]\nhttp://127.0.0.1/b\n");
  // The file on disk is scrambled and private.
  const std::string sRaw = oFixture.Folder().Read("AutoSet.caf");
  EXPECT_EQ(sRaw.find("MinuteInterval"), std::string::npos);
  struct stat oInfo = {};
  ASSERT_EQ(stat(oFixture.Folder().File("AutoSet.caf").c_str(), &oInfo), 0);
  EXPECT_EQ(oInfo.st_mode & 0777, 0600u);
}

TEST(ConsoleSettings, RefusedChangesLeaveTheFileAsItWas) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunConsole({"settings", "set", "AdminId", "ops"}).m_iExitCode, 0);
  const std::string sBefore = oFixture.Folder().Read("AutoSet.caf");
  const SRunResult oBracket = oFixture.RunConsole({"settings", "add", "URLS", "http://x/[1]"});
  EXPECT_EQ(oBracket.m_iExitCode, 1);
  EXPECT_NE(oBracket.m_sErr.find("\"[\""), std::string::npos) << oBracket.m_sErr;
  EXPECT_EQ(oFixture.RunConsole({"settings", "set", "MsgUp", std::string(300, 'x')}).m_iExitCode,
            1);
  EXPECT_EQ(oFixture.RunConsole({"settings", "set", "MsgUp", "caf\xc3\xa9"}).m_iExitCode, 1);
  EXPECT_EQ(oFixture.RunConsole({"settings", "remove", "PROGS", "nothing"}).m_iExitCode, 1);
  const SRunResult oUnknown = oFixture.RunConsole({"settings", "frobnicate"});
  EXPECT_EQ(oUnknown.m_iExitCode, 2);
  EXPECT_NE(oUnknown.m_sErr.find("\"frobnicate\" is not a settings subcommand"), std::string::npos)
      << oUnknown.m_sErr;
  for (const auto& [sKey, sValue, sRange] : {std::tuple{"MinuteInterval", "abc", "from 1 to 1440"},
                                             std::tuple{"MinuteInterval", "-5", "from 1 to 1440"},
                                             std::tuple{"RestartsB4Reboot", "abc", "from 0 to 100"},
                                             std::tuple{"Sensitivity", "101", "from 0 to 100"}}) {
    const SRunResult oNumber = oFixture.RunConsole({"settings", "set", sKey, sValue});
    EXPECT_EQ(oNumber.m_iExitCode, 1) << sKey << " " << sValue;
    EXPECT_NE(oNumber.m_sErr.find(sRange), std::string::npos) << oNumber.m_sErr;
  }
  EXPECT_EQ(oFixture.Folder().Read("AutoSet.caf"), sBefore);
}

TEST(ConsoleSettings, ReadsOfAnEmptyFolderCreateNothing) {
  CServiceFixture oFixture;
  EXPECT_EQ(oFixture.RunConsole({"settings", "list"}).m_sOut,
            "[KEYS]\n[URLS]\n[RURLS]\n[PROGS]\n[STOPS]\n[EMAILS]\n");
  EXPECT_EQ(oFixture.RunConsole({"settings", "get", "URLS"}).m_iExitCode, 0);
  EXPECT_EQ(oFixture.RunConsole({"settings", "get", "AdminId"}).m_sOut, "\n");
  EXPECT_EQ(oFixture.RunConsole({"settings", "export"}).m_sOut, "");
  // Nothing but the restart program that the fixture puts into every home.
  std::vector<std::string> oNames;
  for (const auto& oEntry : std::filesystem::directory_iterator(oFixture.Home())) {
    oNames.push_back(oEntry.path().filename());
  }
  EXPECT_EQ(oNames, std::vector<std::string>({"Wardenix.ini"}));
}

TEST(ConsoleSettings, ListShowsTheSectionsAndGetPrintsOne) {
  CServiceFixture oFixture;
  for (const char* szUrl : {"http://127.0.0.1/a", "http://127.0.0.1/b"}) {
    ASSERT_EQ(oFixture.RunConsole({"settings", "add", "URLS", szUrl}).m_iExitCode, 0);
  }
  ASSERT_EQ(oFixture.RunConsole({"settings", "add", "STOPS", "/usr/bin/app"}).m_iExitCode, 0);
  EXPECT_EQ(oFixture.RunConsole({"settings", "list"}).m_sOut,
            "[KEYS]\n[URLS]\nhttp://127.0.0.1/a\nhttp://127.0.0.1/b\n[RURLS]\n[PROGS]\n"
            "[STOPS]\n/usr/bin/app\n[EMAILS]\n");
  EXPECT_EQ(oFixture.RunConsole({"settings", "get", "URLS"}).m_sOut,
            "http://127.0.0.1/a\nhttp://127.0.0.1/b\n");
}

// Consoles started at once, each adding one line: every line is there afterwards.
TEST(ConsoleSettings, ConcurrentAddsLoseNoLine) {
  CServiceFixture oFixture;
  struct SRound {
    int iConsoles;
    int iRounds;
  };
  int iAdded = 0;
  for (const SRound& oRound : {SRound{100, 1}, SRound{2, 10}}) {
    for (int iRound = 0; iRound < oRound.iRounds; ++iRound) {
      std::vector<pid_t> oPids;
      for (int i = 0; i < oRound.iConsoles; ++i) {
        const std::string sUrl = "http://127.0.0.1:27431/n" + std::to_string(iAdded++);
        oPids.push_back(SpawnConsole({"settings", "add", "URLS", sUrl}));
      }
      ASSERT_EQ(WaitForConsoles(oPids), oRound.iConsoles);
      EXPECT_EQ(Lines(oFixture.RunConsole({"settings", "get", "URLS"}).m_sOut).size(),
                static_cast<size_t>(iAdded))
          << oRound.iConsoles << " consoles, round " << iRound;
    }
  }
  const std::vector<std::string> oUrls =
      Lines(oFixture.RunConsole({"settings", "get", "URLS"}).m_sOut);
  for (int i = 0; i < iAdded; ++i) {
    const std::string sUrl = "http://127.0.0.1:27431/n" + std::to_string(i);
    EXPECT_EQ(std::count(oUrls.begin(), oUrls.end(), sUrl), 1) << sUrl;
  }
  EXPECT_EQ(ModeOf(oFixture.Folder().File("AutoSet.caf")), 0600u);
}

TEST(ConsoleSettings, ImportReplacesEverythingAndRejectsBadFilesWhole) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunConsole({"settings", "set", "AdminId", "ops"}).m_iExitCode, 0);
  oFixture.Folder().Write("good.txt",
                          "[KEYS]\r\nMachineName=SRV1\r\n\r\n[PROGS]\r\n/usr/bin/app\r\n");
  ASSERT_EQ(
      oFixture.RunConsole({"settings", "import", oFixture.Folder().File("good.txt")}).m_iExitCode,
      0);
  EXPECT_EQ(oFixture.RunConsole({"settings", "export"}).m_sOut,
            "[KEYS]\nMachineName=SRV1\n[PROGS]\n/usr/bin/app\n");

  const std::string sBefore = oFixture.Folder().Read("AutoSet.caf");
  oFixture.Folder().Write("bad.txt", "[KEYS]\nAdminId=x\n" + std::string(10000, 'y') + "\n");
  const SRunResult oBad =
      oFixture.RunConsole({"settings", "import", oFixture.Folder().File("bad.txt")});
  EXPECT_EQ(oBad.m_iExitCode, 1);
  EXPECT_NE(oBad.m_sErr.find("Line 3"), std::string::npos) << oBad.m_sErr;
  EXPECT_EQ(oFixture.Folder().Read("AutoSet.caf"), sBefore);
}

TEST(ConsoleSettings, TheServiceLoadsWhatTheConsoleWrote) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunConsole({"settings", "set", "SvrStatus", "Rebooting"}).m_iExitCode, 0);
  ASSERT_EQ(oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  ASSERT_TRUE(oFixture.StartServiceProcess());
  EXPECT_EQ(oFixture.RunConsole({"command", "999"}).m_sOut, "-1\n");
  EXPECT_NE(oFixture.LogText().find("CSetRequireds::LoadIfNexessary() SvrState=1002"),
            std::string::npos);
}

// A loopback page whose status the test sets.
class CPage final {
 public:
  CPage() {
    m_oServer.Get("/page", [this](const httplib::Request&, httplib::Response& oResponse) {
      oResponse.status = m_iStatus;
      oResponse.set_content("page", "text/plain");
    });
    m_iPort = m_oServer.bind_to_any_port("127.0.0.1");
    m_oThread = std::thread([this] { m_oServer.listen_after_bind(); });
    while (!m_oServer.is_running()) std::this_thread::yield();
  }
  ~CPage() {
    m_oServer.stop();
    m_oThread.join();
  }
  CPage(const CPage&) = delete;
  CPage& operator=(const CPage&) = delete;

  std::string Url(const std::string& sQuery) const {
    return "http://127.0.0.1:" + std::to_string(m_iPort) + "/page?" + sQuery;
  }
  std::atomic<int> m_iStatus{200};

 private:
  httplib::Server m_oServer;
  int m_iPort = 0;
  std::thread m_oThread;
};

// Waits up to 20 s for the condition.
bool WaitFor(const std::function<bool()>& fnDone) {
  for (int i = 0; i < 2000; ++i) {
    if (fnDone()) return true;
    usleep(10'000);
  }
  return fnDone();
}

// The console changes the settings while the service runs: GO mode reads them afresh, and the
// service's own saves of "SvrStatus" keep every line the console saved, in GO mode too.
TEST(ConsoleSettings, ChangesWhileTheServiceRunsAreKeptAndHonouredAtTheNextGo) {
  CServiceFixture oFixture(600);  // a minute of service time is 100 ms
  CPage oPage;
  {
    CRamFile oFile;
    oFile.Initialize(oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox(
        {"[KEYS]", "AdminId=operator", "Password=pw", "MachineName=test-host", "MinuteInterval=1",
         "RestartsB4Reboot=0", "SvrStatus=Restarting", "[URLS]", oPage.Url("first")}));
    ASSERT_TRUE(oFile.SaveToFile());
  }
  ASSERT_EQ(oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  ASSERT_TRUE(oFixture.StartServiceProcess());
  auto pClient = oFixture.Connect();  // keeps the service from quitting for want of clients
  ASSERT_NE(pClient, nullptr);

  const SRunResult oAdd = oFixture.RunConsole({"settings", "add", "URLS", oPage.Url("added")});
  ASSERT_EQ(oAdd.m_iExitCode, 0) << oAdd.m_sErr;
  EXPECT_EQ(oAdd.m_sOut.find("next GO"), std::string::npos) << oAdd.m_sOut;
  chmod(oFixture.Folder().File("AutoSet.caf").c_str(), 0644);  // the service's save makes it 0600
  ASSERT_EQ(oFixture.RunConsole({"go"}).m_iExitCode, 0);
  // The added page is tested, and the save of "Up" kept it.
  const std::string sAddedUp = "101, " + oPage.Url("added") + ", UP";
  ASSERT_TRUE(WaitFor([&] {
    return oFixture.Folder().Read("UpTime.log").find(sAddedUp) != std::string::npos;
  })) << oFixture.Folder().Read("UpTime.log");
  auto fnExport = [&] { return oFixture.RunConsole({"settings", "export"}).m_sOut; };
  ASSERT_TRUE(WaitFor([&] { return fnExport().find("SvrStatus=Up\n") != std::string::npos; }));
  EXPECT_NE(fnExport().find(oPage.Url("added") + "\n"), std::string::npos) << fnExport();
  EXPECT_EQ(ModeOf(oFixture.Folder().File("AutoSet.caf")), 0600u);

  // In GO mode the console says when a change takes effect, and the service's save of
  // "Restarting" on a failure keeps it.
  const SRunResult oInGo = oFixture.RunConsole({"settings", "add", "RURLS", oPage.Url("later")});
  ASSERT_EQ(oInGo.m_iExitCode, 0) << oInGo.m_sErr;
  EXPECT_NE(oInGo.m_sOut.find("the change takes effect at the next GO"), std::string::npos)
      << oInGo.m_sOut;
  oPage.m_iStatus = 500;
  ASSERT_TRUE(WaitFor([&] {
    return fnExport().find("SvrStatus=Restarting\n") != std::string::npos;
  })) << fnExport();
  EXPECT_NE(fnExport().find("[RURLS]\n" + oPage.Url("later") + "\n"), std::string::npos)
      << fnExport();
}

TEST(ConsoleSettings, TheServiceCreatesAMissingFilePrivate) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  ASSERT_TRUE(oFixture.StartServiceProcess());
  EXPECT_EQ(oFixture.RunConsole({"command", "999"}).m_sOut, "-1\n");
  EXPECT_EQ(ModeOf(oFixture.Folder().File("AutoSet.caf")), 0600u);
}

}  // namespace
}  // namespace wdx::test
