// The hang guard on the real wdxsvc with the real Safehand.so: a cycle held by a URL that never
// answers for longer than RstrSecs runs the program folder's webreset once, and a service
// stopped while the guard is armed ends cleanly.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/ram_file.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

namespace wdx::test {
namespace {

// A loopback port that listens and never accepts: a request to it waits for an answer that
// never comes (until UrlTimeout).
class CSilentPort final {
 public:
  CSilentPort() {
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
  ~CSilentPort() {
    if (m_iFd >= 0) close(m_iFd);
  }
  CSilentPort(const CSilentPort&) = delete;
  CSilentPort& operator=(const CSilentPort&) = delete;

  int Port() const { return m_iPort; }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_iPort) + "/hangs"; }

 private:
  int m_iFd = -1;
  int m_iPort = 0;
};

class HangGuard : public ::testing::Test {
 protected:
  // A minute of service time is 100 ms; the guard's time-out and UrlTimeout are real time.
  HangGuard() : m_oFixture(600) {}

  void SetUp() override {
    ASSERT_NE(m_oSilent.Port(), 0);
    m_oFixture.Folder().Write("webreset", "#!/bin/sh\necho reset >>\"$0.runs\"\n");
    ASSERT_EQ(chmod(m_oFixture.Folder().File("webreset").c_str(), 0755), 0);
  }

  // The silent URL is the one local URL; the request outlasts RstrSecs and ends at UrlTimeout.
  void StartGoOnSilentUrl(int iRstrSecs) {
    const std::vector<std::string> oLines = {"[KEYS]",
                                             "RstrSecs=" + std::to_string(iRstrSecs),
                                             "UrlTimeout=60",
                                             "RestartsB4Reboot=0",
                                             "AdminId=operator",
                                             "Password=pw",
                                             "MachineName=test-host",
                                             "MinuteInterval=1",
                                             "[URLS]",
                                             m_oSilent.Url()};
    CRamFile oFile;
    oFile.Initialize(m_oFixture.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox(oLines));
    ASSERT_TRUE(oFile.SaveToFile());
    ASSERT_EQ(m_oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
    ASSERT_TRUE(m_oFixture.StartServiceProcess());
    m_pClient = m_oFixture.Connect();
    ASSERT_NE(m_pClient, nullptr);
    int iResult = 0;
    ASSERT_TRUE(m_pClient->OpsCommand(WDX_GO, iResult));
    const std::string sTesting = "COpsMngrThread::RunUrls() testing " + m_oSilent.Url();
    ASSERT_TRUE(WaitFor(20000, [&] { return m_oFixture.CountInLog(sTesting.c_str()) >= 1; }))
        << LogTail();
    // The guard was created and configured with the folder's webreset.
    EXPECT_EQ(m_oFixture.CountInLog("CInsurer::8"), 1) << LogTail();
  }

  std::string Runs() { return m_oFixture.Folder().Read("webreset.runs"); }

  std::string LogTail() const {
    const std::string sLog = m_oFixture.LogText();
    return sLog.substr(sLog.size() > 3000 ? sLog.size() - 3000 : 0);
  }

  static bool WaitFor(int iDeadlineMs, const std::function<bool()>& fnDone) {
    for (int i = 0; i < iDeadlineMs / 10; ++i) {
      if (fnDone()) return true;
      usleep(10'000);
    }
    return fnDone();
  }

  CServiceFixture m_oFixture;
  CSilentPort m_oSilent;
  std::unique_ptr<CWdxSvrClient> m_pClient;
};

TEST_F(HangGuard, CycleHungLongerThanRstrSecsRunsWebresetOnce) {
  StartGoOnSilentUrl(15);
  ASSERT_TRUE(WaitFor(40000, [&] { return !Runs().empty(); })) << LogTail();
  // The guard fired while the request still hung: no failure had been decided yet.
  EXPECT_EQ(m_oFixture.CountInLog("FAILURE DETECTED"), 0);
  int iResult = 0;
  ASSERT_TRUE(m_pClient->OpsCommand(WDX_STOP, iResult));
  ASSERT_TRUE(WaitFor(30000, [&] {
    return m_oFixture.CountInLog("COpsMngrThread::Go(): Testing has STOPPED.") == 1;
  })) << LogTail();
  EXPECT_EQ(Runs(), "reset\n");
  EXPECT_EQ(m_oFixture.CountInLog("FAILURE DETECTED"), 0);
  m_pClient.reset();
  EXPECT_EQ(m_oFixture.StopServiceProcess(10000), 0) << LogTail();
}

TEST_F(HangGuard, ServiceStoppedWhileArmedEndsCleanly) {
  StartGoOnSilentUrl(600);
  m_pClient.reset();
  EXPECT_EQ(m_oFixture.StopServiceProcess(10000), 0) << LogTail();
  EXPECT_EQ(m_oFixture.CountInLog("COpsMngrThread::ExitInstance() 1."), 1) << LogTail();
  EXPECT_EQ(m_oFixture.CountInLog("WdxSvc functions terminated."), 1);
  EXPECT_EQ(Runs(), "");
}

}  // namespace
}  // namespace wdx::test
