// The real wdxsvc against hostile clients and bad settings files: it keeps answering every
// other client, never crashes, and never loses what is stored.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/command_endpoint.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "tests/support/service_fixture.h"

namespace wdx::test {
namespace {

// A raw connection for sending what no well-behaved client would.
class CRawConnection final {
 public:
  explicit CRawConnection(const std::string& sPath) {
    m_iFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un oAddress = {};
    oAddress.sun_family = AF_UNIX;
    sPath.copy(oAddress.sun_path, sizeof oAddress.sun_path - 1);
    m_bConnected = connect(m_iFd, reinterpret_cast<sockaddr*>(&oAddress), sizeof oAddress) == 0;
  }
  ~CRawConnection() { close(m_iFd); }
  CRawConnection(const CRawConnection&) = delete;
  CRawConnection& operator=(const CRawConnection&) = delete;

  bool IsConnected() const { return m_bConnected; }
  void Send(const std::string& sBytes) {
    size_t uSent = 0;
    while (uSent < sBytes.size()) {
      ssize_t iSent = send(m_iFd, sBytes.data() + uSent, sBytes.size() - uSent, MSG_NOSIGNAL);
      if (iSent <= 0) return;
      uSent += static_cast<size_t>(iSent);
    }
  }
  // Reads until a line end or the peer closes; "" when nothing came.
  std::string ReadLine() {
    std::string sLine;
    char c = 0;
    while (recv(m_iFd, &c, 1, 0) == 1 && c != '\n') sLine += c;
    return sLine;
  }

 private:
  int m_iFd = -1;
  bool m_bConnected = false;
};

class ServiceRobustness : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(m_oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
    ASSERT_TRUE(m_oFixture.StartServiceProcess());
    m_pClient = m_oFixture.Connect();
    ASSERT_NE(m_pClient, nullptr);
  }

  void ExpectStillAnswering() {
    int iState = 0;
    ASSERT_TRUE(m_pClient->OpsCommand(WDX_GET_STATE, iState)) << m_pClient->GetLastError();
    EXPECT_EQ(iState, WDX_STATE_READY);
  }

  CServiceFixture m_oFixture;
  std::unique_ptr<CWdxSvrClient> m_pClient;
};

TEST_F(ServiceRobustness, GarbageLinesAreAnsweredWithAnError) {
  CRawConnection oRaw(m_oFixture.SocketPath());
  ASSERT_TRUE(oRaw.IsConnected());
  std::string sGarbage;
  for (int i = 0; i < 300; ++i) {
    const char c = static_cast<char>((i * 37 + 11) % 256);
    sGarbage += c == '\n' ? '\0' : c;
  }
  oRaw.Send(sGarbage + "\n");
  EXPECT_EQ(oRaw.ReadLine().rfind("ERR", 0), 0u);
  oRaw.Send("OpsCommand 12abc\nOpsCommand\nGetStringResult 99999999999\n");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(oRaw.ReadLine().rfind("ERR", 0), 0u);
  // The same connection still works for a proper request.
  oRaw.Send("OpsCommand 1004\n");
  EXPECT_EQ(oRaw.ReadLine(), "OK 999");
  ExpectStillAnswering();
  EXPECT_GE(m_oFixture.CountInLog("malformed request received."), 4);
}

TEST_F(ServiceRobustness, AOneMegabyteLineClosesOnlyThatConnection) {
  CRawConnection oRaw(m_oFixture.SocketPath());
  ASSERT_TRUE(oRaw.IsConnected());
  oRaw.Send(std::string(1 << 20, 'A') + "\n");
  EXPECT_EQ(oRaw.ReadLine(), "ERR request line too long");
  ExpectStillAnswering();
}

TEST_F(ServiceRobustness, HalfALineThenADisconnectIsDropped) {
  {
    CRawConnection oRaw(m_oFixture.SocketPath());
    ASSERT_TRUE(oRaw.IsConnected());
    oRaw.Send("OpsCommand 10");
  }
  ExpectStillAnswering();
  EXPECT_EQ(m_oFixture.CountInLog("Unknown command received."), 0);
}

TEST_F(ServiceRobustness, SixtyFourClientsAtOnceAreAllAnswered) {
  constexpr int kClients = 64;
  std::vector<int> oResults(kClients, 0);
  std::vector<std::thread> oThreads;
  for (int i = 0; i < kClients; ++i) {
    oThreads.emplace_back([&, i] {
      CWdxSvrClient oClient(m_oFixture.Home());
      for (int iCall = 0; iCall < 20; ++iCall) {
        int iState = 0;
        if (oClient.OpsCommand(WDX_GET_STATE, iState) && iState == WDX_STATE_READY) ++oResults[i];
      }
    });
  }
  for (auto& oThread : oThreads) oThread.join();
  for (int i = 0; i < kClients; ++i) EXPECT_EQ(oResults[i], 20) << "client " << i;
  ExpectStillAnswering();
}

// Settings files the service cannot use.
TEST(ServiceSettings, BinaryGarbageInTheSettingsFileFailsInitialisationAndIsKept) {
  CServiceFixture oFixture;
  std::string sGarbage;
  // No line end anywhere: the first "line" overflows the reader.
  for (int i = 0; i < 20000; ++i) {
    const char c = static_cast<char>(i * 7919 % 251);
    sGarbage += (c == '\r' || c == '\n') ? 'x' : c;
  }
  oFixture.Folder().Write("AutoSet.caf", sGarbage);
  ASSERT_EQ(oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  ASSERT_TRUE(oFixture.StartServiceProcess());
  auto pClient = oFixture.Connect();
  ASSERT_NE(pClient, nullptr);
  int iResult = 1;
  ASSERT_TRUE(pClient->OpsCommand(WDX_INITIALIZE, iResult));
  EXPECT_EQ(iResult, WDX_FALSE);
  ASSERT_TRUE(pClient->OpsCommand(WDX_GET_STATE, iResult));
  EXPECT_EQ(iResult, 0);
  EXPECT_GE(oFixture.CountInLog("CWDXSVR::Initialize() failed."), 1);
  EXPECT_EQ(oFixture.Folder().Read("AutoSet.caf"), sGarbage);
}

TEST(ServiceSettings, AMissingSettingsFileIsCreatedAndDefaultsApply) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  ASSERT_TRUE(oFixture.StartServiceProcess());
  auto pClient = oFixture.Connect();
  ASSERT_NE(pClient, nullptr);
  int iResult = 0;
  ASSERT_TRUE(pClient->OpsCommand(WDX_INITIALIZE, iResult));
  EXPECT_EQ(iResult, WDX_TRUE);
  EXPECT_NE(oFixture.LogText().find("CSetRequireds::LoadIfNexessary() SvrStatus= 1000"),
            std::string::npos);
}

TEST(ServiceSettings, AProgramFolderThatDoesNotExistLeavesTheObjectUninitialised) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  // The endpoint lives in the program folder too, so the service cannot serve at all: it must
  // say so and end instead of hanging.
  setenv("WDX_HOME", (oFixture.Home() + "missing/").c_str(), 1);
  const SRunResult oRun = oFixture.RunService({});
  EXPECT_NE(oRun.m_iExitCode, 0);
  EXPECT_NE(oRun.m_sErr.find("cannot serve"), std::string::npos) << oRun.m_sErr;
}

}  // namespace
}  // namespace wdx::test
