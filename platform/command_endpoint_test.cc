#include "platform/command_endpoint.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/fake_clock.h"
#include "platform/unique_fd.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

// Answers "echo:" + the line; "big" gets a long answer. Remembers every line it saw.
class CEchoHandler final : public ICommandHandler {
 public:
  std::string HandleLine(const std::string& sLine) override {
    {
      std::lock_guard<std::mutex> oLock(m_oMutex);
      m_oLines.push_back(sLine);
    }
    if (sLine == "big") return std::string(4000, 'b');
    return "echo:" + sLine;
  }
  std::string OverflowAnswer() override { return "overflow"; }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> oLock(m_oMutex);
    return m_oLines;
  }

 private:
  std::mutex m_oMutex;
  std::vector<std::string> m_oLines;
};

sockaddr_un AddressOf(const std::string& sPath) {
  sockaddr_un oAddress{};
  oAddress.sun_family = AF_UNIX;
  std::strncpy(oAddress.sun_path, sPath.c_str(), sizeof(oAddress.sun_path) - 1);
  return oAddress;
}

// A blocking raw connection, for what the client class does not do on purpose.
CUniqueFd RawConnect(const std::string& sPath) {
  CUniqueFd oFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un oAddress = AddressOf(sPath);
  if (connect(oFd.Get(), reinterpret_cast<sockaddr*>(&oAddress), sizeof(oAddress)) != 0) {
    oFd.Reset();
  }
  return oFd;
}

void SendAll(int iFd, const std::string& sBytes) {
  size_t iDone = 0;
  while (iDone < sBytes.size()) {
    ssize_t iSent = send(iFd, sBytes.data() + iDone, sBytes.size() - iDone, MSG_NOSIGNAL);
    ASSERT_GT(iSent, 0) << std::strerror(errno);
    iDone += static_cast<size_t>(iSent);
  }
}

// Reads until the peer closes (or 5 s pass); returns everything read.
std::string ReadToEnd(int iFd) {
  std::string sAll;
  char acBuffer[4096];
  for (;;) {
    pollfd oPoll = {iFd, POLLIN, 0};
    if (poll(&oPoll, 1, 5000) <= 0) return sAll + "<no end>";
    ssize_t iRead = recv(iFd, acBuffer, sizeof(acBuffer), 0);
    if (iRead <= 0) return sAll;
    sAll.append(acBuffer, static_cast<size_t>(iRead));
  }
}

template <typename Predicate>
bool WaitUntil(Predicate fnDone, int iMaxMs = 5000) {
  for (int i = 0; i < iMaxMs; i += 2) {
    if (fnDone()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return fnDone();
}

class CommandEndpointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_sPath = m_oFolder.File("cmd.sock");
    ASSERT_TRUE(m_pServer->Start(m_sPath, &m_oHandler)) << m_pServer->GetLastError();
  }

  bool CallOnce(ICommandClient& oClient, const std::string& sRequest, std::string& sAnswer) {
    return oClient.Call(sRequest, sAnswer, 5000);
  }

  test::CTempFolder m_oFolder;
  CEchoHandler m_oHandler;
  std::unique_ptr<ICommandServer> m_pServer = CreateCommandServer();
  std::string m_sPath;
};

// --- Requests and answers ---

TEST_F(CommandEndpointTest, ManyLinesOnOneConnection) {
  auto pClient = CreateCommandClient();
  ASSERT_TRUE(pClient->Connect(m_sPath)) << pClient->GetLastError();
  std::string sAnswer;
  for (int i = 0; i < 2000; ++i) {
    ASSERT_TRUE(CallOnce(*pClient, "OpsCommand " + std::to_string(i), sAnswer));
    ASSERT_EQ("echo:OpsCommand " + std::to_string(i), sAnswer);
  }
  EXPECT_EQ(1, m_pServer->GetClientCount());
}

TEST_F(CommandEndpointTest, PipelinedLinesAreAnsweredInOrder) {
  CUniqueFd oFd = RawConnect(m_sPath);
  ASSERT_TRUE(oFd.IsValid());
  std::string sRequests;
  std::string sExpected;
  for (int i = 0; i < 300; ++i) {
    sRequests += "r" + std::to_string(i) + (i % 2 ? "\r\n" : "\n");
    sExpected += "echo:r" + std::to_string(i) + "\n";
  }
  SendAll(oFd.Get(), sRequests);
  shutdown(oFd.Get(), SHUT_WR);  // answers still come after the client's end of input
  EXPECT_EQ(sExpected, ReadToEnd(oFd.Get()));
}

TEST_F(CommandEndpointTest, EmptyLineIsALine) {
  auto pClient = CreateCommandClient();
  ASSERT_TRUE(pClient->Connect(m_sPath));
  std::string sAnswer;
  ASSERT_TRUE(CallOnce(*pClient, "", sAnswer));
  EXPECT_EQ("echo:", sAnswer);
}

TEST_F(CommandEndpointTest, BinaryGarbageIsAnsweredLikeAnyLine) {
  std::string sGarbage;
  for (int i = 0; i < 256; ++i) {
    if (i != '\n') sGarbage += static_cast<char>(i);
  }
  auto pClient = CreateCommandClient();
  ASSERT_TRUE(pClient->Connect(m_sPath));
  std::string sAnswer;
  ASSERT_TRUE(CallOnce(*pClient, sGarbage, sAnswer));
  EXPECT_EQ("echo:" + sGarbage, sAnswer);
  ASSERT_TRUE(CallOnce(*pClient, "after", sAnswer));
  EXPECT_EQ("echo:after", sAnswer);
}

TEST_F(CommandEndpointTest, SixtyFourClientsAtOnceAreAllAnswered) {
  constexpr int kClients = 64;
  std::vector<std::unique_ptr<ICommandClient>> oClients;
  for (int i = 0; i < kClients; ++i) {
    oClients.push_back(CreateCommandClient());
    ASSERT_TRUE(oClients.back()->Connect(m_sPath)) << i;
  }
  std::atomic<int> iGood{0};
  std::vector<std::thread> oThreads;
  for (int i = 0; i < kClients; ++i) {
    oThreads.emplace_back([&, i] {
      std::string sAnswer;
      for (int k = 0; k < 20; ++k) {
        std::string sRequest = std::to_string(i) + "/" + std::to_string(k);
        if (oClients[i]->Call(sRequest, sAnswer, 10000) && sAnswer == "echo:" + sRequest) ++iGood;
      }
    });
  }
  for (auto& oThread : oThreads) oThread.join();
  EXPECT_EQ(kClients * 20, iGood.load());
  EXPECT_EQ(kClients, m_pServer->GetClientCount());
  const int64_t iBefore = m_pServer->GetIdleSinceMs();
  oClients.clear();
  ASSERT_TRUE(WaitUntil([&] { return m_pServer->GetClientCount() == 0; }));
  EXPECT_GE(m_pServer->GetIdleSinceMs(), iBefore);
}

// --- Limits and bad clients ---

TEST_F(CommandEndpointTest, LineOfExactlyTheLimitIsAccepted) {
  auto pClient = CreateCommandClient();
  ASSERT_TRUE(pClient->Connect(m_sPath));
  std::string sLine(MAX_REQUEST_LINE, 'x');
  std::string sAnswer;
  ASSERT_TRUE(CallOnce(*pClient, sLine + "\r", sAnswer));  // "\r" is not counted
  EXPECT_EQ("echo:" + sLine, sAnswer);
  ASSERT_TRUE(CallOnce(*pClient, sLine + "y", sAnswer));
  EXPECT_EQ("overflow", sAnswer);
  EXPECT_FALSE(CallOnce(*pClient, "next", sAnswer));  // the server has closed
  EXPECT_TRUE(pClient->GetLastErrorCode() == EPIPE || pClient->GetLastErrorCode() == ECONNRESET);
}

TEST_F(CommandEndpointTest, MegabyteLineGetsOverflowAnswerOthersKeepBeingServed) {
  test::CLogCapture oLog;
  auto pOther = CreateCommandClient();
  ASSERT_TRUE(pOther->Connect(m_sPath));
  CUniqueFd oFd = RawConnect(m_sPath);
  ASSERT_TRUE(oFd.IsValid());
  std::string sHuge(1024 * 1024, 'A');
  // The server stops reading at the limit; the send ends when the server has closed.
  std::thread oWriter([&] { send(oFd.Get(), sHuge.data(), sHuge.size(), MSG_NOSIGNAL); });
  std::string sAnswer;
  ASSERT_TRUE(CallOnce(*pOther, "still here", sAnswer));
  EXPECT_EQ("echo:still here", sAnswer);
  oWriter.join();
  EXPECT_EQ("overflow\n", ReadToEnd(oFd.Get()));
  ASSERT_TRUE(CallOnce(*pOther, "and after", sAnswer));
  EXPECT_EQ("echo:and after", sAnswer);
  EXPECT_EQ(1, m_pServer->GetClientCount());
  for (const auto& sLine : m_oHandler.Lines()) EXPECT_LT(sLine.size(), 100u);
  m_pServer->Stop();
  EXPECT_EQ(1, oLog.CountErrors(
                   "CCommandServer: a request line was too long; the connection is closed."));
}

TEST_F(CommandEndpointTest, HalfLineThenDisconnectIsDroppedSilently) {
  {
    CUniqueFd oFd = RawConnect(m_sPath);
    ASSERT_TRUE(oFd.IsValid());
    SendAll(oFd.Get(), "OpsCommand 10");
    ASSERT_TRUE(WaitUntil([&] { return m_pServer->GetClientCount() == 1; }));
  }
  ASSERT_TRUE(WaitUntil([&] { return m_pServer->GetClientCount() == 0; }));
  EXPECT_TRUE(m_oHandler.Lines().empty());
  auto pClient = CreateCommandClient();
  ASSERT_TRUE(pClient->Connect(m_sPath));
  std::string sAnswer;
  ASSERT_TRUE(CallOnce(*pClient, "x", sAnswer));
  EXPECT_EQ("echo:x", sAnswer);
}

TEST_F(CommandEndpointTest, ClientThatReadsNoAnswersIsDropped) {
  CUniqueFd oFd = RawConnect(m_sPath);
  ASSERT_TRUE(oFd.IsValid());
  ASSERT_TRUE(WaitUntil([&] { return m_pServer->GetClientCount() == 1; }));
  // Each "big" asks for 4000 bytes: the socket buffers fill, then the server's queue.
  std::string sBatch;
  for (int i = 0; i < 100; ++i) sBatch += "big\n";
  for (int i = 0; i < 100 && m_pServer->GetClientCount() > 0; ++i) {
    if (send(oFd.Get(), sBatch.data(), sBatch.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(WaitUntil([&] { return m_pServer->GetClientCount() == 0; }));
}

// All slots taken, on a clock that moves only when the test says so.
class CommandEndpointFullTest : public CommandEndpointTest {
 protected:
  void SetUp() override {
    SetClockForTesting(&m_oClock);
    CommandEndpointTest::SetUp();
    for (int i = 0; i < MAX_CLIENTS; ++i) {
      m_oFds.push_back(RawConnect(m_sPath));
      ASSERT_TRUE(m_oFds.back().IsValid());
    }
    ASSERT_TRUE(WaitUntil([&] { return m_pServer->GetClientCount() == MAX_CLIENTS; }));
  }
  void TearDown() override {
    m_pServer->Stop();
    SetClockForTesting(nullptr);
  }
  // One request on a raw connection; its answer, or "" when the connection was closed.
  static std::string Ask(int iFd, const std::string& sLine) {
    SendAll(iFd, sLine + "\n");
    char acAnswer[64] = {};
    pollfd oPoll = {iFd, POLLIN, 0};
    if (poll(&oPoll, 1, 5000) <= 0) return "<no answer>";
    return recv(iFd, acAnswer, sizeof(acAnswer) - 1, 0) > 0 ? acAnswer : "";
  }

  CFakeClock m_oClock;
  std::vector<CUniqueFd> m_oFds;
};

TEST_F(CommandEndpointFullTest, NewConnectionIsClosedWhileNoClientIsIdle) {
  m_oClock.AdvanceMs(IDLE_CLIENT_MS - 1);
  CUniqueFd oExtra = RawConnect(m_sPath);
  ASSERT_TRUE(oExtra.IsValid());
  EXPECT_EQ("", ReadToEnd(oExtra.Get()));
  EXPECT_EQ(MAX_CLIENTS, m_pServer->GetClientCount());
  EXPECT_EQ("echo:seven\n", Ask(m_oFds[7].Get(), "seven"));
}

TEST_F(CommandEndpointFullTest, IdleClientsMakeRoomAndActiveOnesStay) {
  // A console asks once a second; a half line is no sign of life.
  m_oClock.AdvanceMs(IDLE_CLIENT_MS - 1000);
  EXPECT_EQ("echo:poll\n", Ask(m_oFds[0].Get(), "poll"));
  SendAll(m_oFds[1].Get(), "half");
  m_oClock.AdvanceMs(1000);
  CUniqueFd oExtra = RawConnect(m_sPath);
  ASSERT_TRUE(oExtra.IsValid());
  EXPECT_EQ("echo:new\n", Ask(oExtra.Get(), "new"));
  EXPECT_TRUE(WaitUntil([&] { return m_pServer->GetClientCount() == 2; }));
  EXPECT_EQ("echo:poll\n", Ask(m_oFds[0].Get(), "poll"));
  EXPECT_EQ("", ReadToEnd(m_oFds[1].Get()));
  EXPECT_EQ("", ReadToEnd(m_oFds[2].Get()));
}

// --- The socket file ---

TEST_F(CommandEndpointTest, SocketFileHasMode0600) {
  struct stat oStat;
  ASSERT_EQ(0, lstat(m_sPath.c_str(), &oStat));
  EXPECT_TRUE(S_ISSOCK(oStat.st_mode));
  EXPECT_EQ(0600u, oStat.st_mode & 07777);
}

TEST_F(CommandEndpointTest, SecondServerOnALivePathIsRefused) {
  CEchoHandler oOther;
  auto pSecond = CreateCommandServer();
  EXPECT_FALSE(pSecond->Start(m_sPath, &oOther));
  EXPECT_NE(std::string::npos, pSecond->GetLastError().find("another server"));
  auto pClient = CreateCommandClient();
  ASSERT_TRUE(pClient->Connect(m_sPath));
  std::string sAnswer;
  ASSERT_TRUE(CallOnce(*pClient, "first", sAnswer));
  EXPECT_EQ("echo:first", sAnswer);
}

TEST_F(CommandEndpointTest, StopRemovesTheSocketFile) {
  m_pServer->Stop();
  EXPECT_NE(0, access(m_sPath.c_str(), F_OK));
  auto pClient = CreateCommandClient();
  EXPECT_FALSE(pClient->Connect(m_sPath));
  EXPECT_EQ(ENOENT, pClient->GetLastErrorCode());
  EXPECT_TRUE(m_pServer->Start(m_sPath, &m_oHandler)) << m_pServer->GetLastError();
}

TEST(CommandEndpointStartTest, StaleSocketFileIsReplaced) {
  test::CTempFolder oFolder;
  const std::string sPath = oFolder.File("stale.sock");
  {
    CUniqueFd oDead(socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un oAddress = AddressOf(sPath);
    ASSERT_EQ(0, bind(oDead.Get(), reinterpret_cast<sockaddr*>(&oAddress), sizeof(oAddress)));
  }
  auto pClient = CreateCommandClient();
  EXPECT_FALSE(pClient->Connect(sPath));
  EXPECT_EQ(ECONNREFUSED, pClient->GetLastErrorCode());
  CEchoHandler oHandler;
  auto pServer = CreateCommandServer();
  ASSERT_TRUE(pServer->Start(sPath, &oHandler)) << pServer->GetLastError();
  ASSERT_TRUE(pClient->Connect(sPath)) << pClient->GetLastError();
  std::string sAnswer;
  ASSERT_TRUE(pClient->Call("hi", sAnswer, 5000));
  EXPECT_EQ("echo:hi", sAnswer);
}

TEST(CommandEndpointStartTest, OtherFileAtThePathIsNeitherReplacedNorServed) {
  test::CTempFolder oFolder;
  oFolder.Write("data.sock", "precious");
  CEchoHandler oHandler;
  auto pServer = CreateCommandServer();
  EXPECT_FALSE(pServer->Start(oFolder.File("data.sock"), &oHandler));
  EXPECT_EQ("precious", oFolder.Read("data.sock"));
  EXPECT_FALSE(pServer->Start(oFolder.File(std::string(200, 'p')), &oHandler));
  EXPECT_FALSE(pServer->Start(oFolder.File("x.sock"), nullptr));
}

// --- The client ---

TEST(CommandClientTest, CallTimesOutWhenTheServerDoesNotAnswer) {
  test::CTempFolder oFolder;
  const std::string sPath = oFolder.File("mute.sock");
  CUniqueFd oListener(socket(AF_UNIX, SOCK_STREAM, 0));
  sockaddr_un oAddress = AddressOf(sPath);
  ASSERT_EQ(0, bind(oListener.Get(), reinterpret_cast<sockaddr*>(&oAddress), sizeof(oAddress)));
  ASSERT_EQ(0, listen(oListener.Get(), 4));
  auto pClient = CreateCommandClient();
  ASSERT_TRUE(pClient->Connect(sPath));
  std::string sAnswer = "old";
  auto oStart = std::chrono::steady_clock::now();
  EXPECT_FALSE(pClient->Call("OpsCommand 1004", sAnswer, 100));
  auto iWaitedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - oStart)
                       .count();
  EXPECT_GE(iWaitedMs, 100);
  EXPECT_EQ(ETIMEDOUT, pClient->GetLastErrorCode());
  EXPECT_EQ("", sAnswer);
  EXPECT_FALSE(pClient->IsConnected());  // a late answer must not pass for the next one
}

TEST(CommandClientTest, NobodyListening) {
  test::CTempFolder oFolder;
  auto pClient = CreateCommandClient();
  EXPECT_FALSE(pClient->Connect(oFolder.File("none.sock")));
  EXPECT_EQ(ENOENT, pClient->GetLastErrorCode());
  EXPECT_FALSE(pClient->GetLastError().empty());
  std::string sAnswer;
  EXPECT_FALSE(pClient->Call("x", sAnswer, 10));
  EXPECT_EQ(ENOTCONN, pClient->GetLastErrorCode());
}

TEST_F(CommandEndpointTest, RequestWithALineEndIsRefused) {
  auto pClient = CreateCommandClient();
  ASSERT_TRUE(pClient->Connect(m_sPath));
  std::string sAnswer;
  EXPECT_FALSE(pClient->Call("a\nb", sAnswer, 1000));
  EXPECT_EQ(EINVAL, pClient->GetLastErrorCode());
  EXPECT_TRUE(m_oHandler.Lines().empty());
}

TEST_F(CommandEndpointTest, ServerStopEndsTheClientsCall) {
  auto pClient = CreateCommandClient();
  ASSERT_TRUE(pClient->Connect(m_sPath));
  ASSERT_TRUE(WaitUntil([&] { return m_pServer->GetClientCount() == 1; }));
  m_pServer->Stop();
  std::string sAnswer;
  EXPECT_FALSE(pClient->Call("x", sAnswer, 1000));
  EXPECT_TRUE(pClient->GetLastErrorCode() == EPIPE || pClient->GetLastErrorCode() == ECONNRESET);
}

}  // namespace
}  // namespace wdx
