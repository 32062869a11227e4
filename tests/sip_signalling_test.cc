// SIP calls against a real SIP peer: SIPp runs one scenario of tests/sip/ on a free loopback port
// as the far end of one call, and the test checks what the caller saw and sipp's verdict on what
// it was sent (its exit code). Rings are short: the ring time-out follows WDX_TIME_SCALE.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <re.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/audio/wave_devices.h"
#include "platform/clock.h"
#include "platform/telephony/sip/sip_call.h"
#include "platform/telephony/telephony.h"
#include "platform/telephony/telephony_test_util.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

constexpr int kTimeScale = 30;  // the 45 s ring time-out takes 1.5 s

// A UDP socket bound to a free loopback port; the port stays taken while the object lives.
class CUdpPort final {
 public:
  CUdpPort() {
    m_iSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in oAddress{};
    oAddress.sin_family = AF_INET;
    oAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t uLength = sizeof(oAddress);
    if (::bind(m_iSocket, reinterpret_cast<sockaddr*>(&oAddress), uLength) == 0 &&
        ::getsockname(m_iSocket, reinterpret_cast<sockaddr*>(&oAddress), &uLength) == 0) {
      m_uPort = ntohs(oAddress.sin_port);
    }
  }
  ~CUdpPort() { Close(); }
  CUdpPort(const CUdpPort&) = delete;
  CUdpPort& operator=(const CUdpPort&) = delete;
  void Close() {
    if (m_iSocket >= 0) ::close(m_iSocket);
    m_iSocket = -1;
  }
  uint16_t Port() const { return m_uPort; }

  // True while a process has bound the loopback port uPort (UDP, or TCP when bTcp).
  static bool IsTaken(uint16_t uPort, bool bTcp) {
    const int iSocket = ::socket(AF_INET, (bTcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
    sockaddr_in oAddress{};
    oAddress.sin_family = AF_INET;
    oAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    oAddress.sin_port = htons(uPort);
    const bool bTaken =
        ::bind(iSocket, reinterpret_cast<sockaddr*>(&oAddress), sizeof(oAddress)) != 0;
    ::close(iSocket);
    return bTaken;
  }

 private:
  int m_iSocket = -1;
  uint16_t m_uPort = 0;
};

// sipp playing one scenario for one call on a free loopback port, its output in the folder.
class CSipp final {
 public:
  explicit CSipp(const test::CTempFolder& oFolder) : m_oFolder(oFolder) {
    CUdpPort oSip, oMedia;
    m_uPort = oSip.Port();
    m_uMediaPort = oMedia.Port();
  }

  // aFills: placeholders of the scenario ("@STATUS@", "@CODEC@") and what the test puts there.
  // bTcp: sipp takes SIP over TCP instead of UDP.
  void Start(const std::string& sScenario,
             const std::vector<std::pair<std::string, std::string>>& aFills, bool bTcp = false) {
    m_bTcp = bTcp;
    std::ifstream oIn(std::string(WDX_SOURCE_DIR) + "tests/sip/" + sScenario);
    std::stringstream oText;
    oText << oIn.rdbuf();
    std::string sXml = oText.str();
    for (const auto& [sPlaceholder, sValue] : aFills) {
      if (sPlaceholder.empty()) continue;
      for (size_t uAt; (uAt = sXml.find(sPlaceholder)) != std::string::npos;) {
        sXml.replace(uAt, sPlaceholder.size(), sValue);
      }
    }
    m_oFolder.Write(sScenario, sXml);
    const std::vector<std::string> aArgs{"/usr/bin/sipp",
                                         "-sf",
                                         m_oFolder.File(sScenario),
                                         "-i",
                                         "127.0.0.1",
                                         "-p",
                                         std::to_string(m_uPort),
                                         "-mi",
                                         "127.0.0.1",
                                         "-mp",
                                         std::to_string(m_uMediaPort),
                                         "-m",
                                         "1",
                                         "-t",
                                         bTcp ? "t1" : "u1",
                                         "-nostdin",
                                         "-timeout",
                                         "20s",
                                         "-timeout_error",
                                         "-trace_err",
                                         "-error_file",
                                         m_oFolder.File("sipp.errors"),
                                         "-trace_msg",
                                         "-message_file",
                                         m_oFolder.File("sipp.messages")};
    const std::string sOutput = m_oFolder.File("sipp.out");
    m_iPid = ::fork();
    if (m_iPid == 0) {
      const int iOut = ::open(sOutput.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(iOut, 1);
      ::dup2(iOut, 2);
      std::vector<char*> aArgv;
      for (const std::string& sArg : aArgs) aArgv.push_back(const_cast<char*>(sArg.c_str()));
      aArgv.push_back(nullptr);
      ::execv(aArgv[0], aArgv.data());
      ::_exit(127);
    }
  }
  ~CSipp() {
    if (m_iPid > 0) {
      ::kill(m_iPid, SIGKILL);
      ::waitpid(m_iPid, nullptr, 0);
    }
  }
  CSipp(const CSipp&) = delete;
  CSipp& operator=(const CSipp&) = delete;

  uint16_t Port() const { return m_uPort; }
  // Waits (generously) until sipp listens on its port.
  bool WaitListening() const {
    for (int i = 0; i < 1000; ++i) {
      if (CUdpPort::IsTaken(m_uPort, m_bTcp)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // sipp's exit code (0: the scenario ran as written), -1 when it has not ended in time.
  int WaitExit() {
    for (int i = 0; i < 3000 && m_iPid > 0; ++i) {
      int iStatus = 0;
      if (::waitpid(m_iPid, &iStatus, WNOHANG) == m_iPid) {
        m_iPid = -1;
        return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : 128 + WTERMSIG(iStatus);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
  // What sipp printed and its error log, for a failure's message.
  std::string Output() const { return m_oFolder.Read("sipp.out") + m_oFolder.Read("sipp.errors"); }
  // The SIP messages sipp sent and received.
  std::string Messages() const { return m_oFolder.Read("sipp.messages"); }

 private:
  const test::CTempFolder& m_oFolder;
  uint16_t m_uPort = 0;
  uint16_t m_uMediaPort = 0;
  bool m_bTcp = false;
  pid_t m_iPid = -1;
};

std::string Md5Hex(const std::string& sText) {
  uint8_t aDigest[MD5_SIZE];
  md5(reinterpret_cast<const uint8_t*>(sText.data()), sText.size(), aDigest);
  std::string sHex;
  for (uint8_t uByte : aDigest) {
    sHex += "0123456789abcdef"[uByte >> 4];
    sHex += "0123456789abcdef"[uByte & 15];
  }
  return sHex;
}

// What the test does with a call that connected.
// '1', '2': the far end presses that key (by SIP INFO), then the test hangs up.
enum class EThen : char { HANG_UP = 0, FAR_END_HANGS_UP = 'x', KEY_1 = '1', KEY_2 = '2' };

class SipSignalling : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("WDX_TIME_SCALE", std::to_string(kTimeScale).c_str(), 1); }

  void SetUp() override {
    if (ScaleInterval(sip::kSipRingTimeoutMs) > 5000) {
      GTEST_SKIP() << "WDX_TIME_SCALE was read before this suite could shorten the ring";
    }
    ASSERT_EQ(CreateTelephony(
                  m_oFolder.Path(), [this] { return m_oAccount; }, m_pTelephony),
              S_OK);
    ASSERT_EQ(m_pTelephony->Initialize(), S_OK);
    ASSERT_EQ(m_pTelephony->Advise(&m_oEvents, m_uCookie), S_OK);
    ASSERT_EQ(m_pTelephony->SetEventFilter(TE_CALLSTATE | TE_DIGITEVENT), S_OK);
    std::vector<std::shared_ptr<ITelAddress>> aAddresses;
    ASSERT_EQ(m_pTelephony->EnumerateAddresses(aAddresses), S_OK);
    m_pAddress = aAddresses.at(0);
  }

  std::shared_ptr<ITelCall> Create(const std::string& sNumber) {
    std::shared_ptr<ITelCall> pCall;
    EXPECT_EQ(
        m_pAddress->CreateCall(sNumber, LINEADDRESSTYPE_PHONENUMBER, TAPIMEDIATYPE_AUDIO, pCall),
        S_OK)
        << sNumber;
    return pCall;
  }

  std::vector<int> StatesOf(const std::vector<STelEvent>& aEvents) const {
    std::vector<int> aStates;
    for (const STelEvent& oEvent : aEvents) {
      if (oEvent.m_iEvent == TE_CALLSTATE) aStates.push_back(oEvent.m_iCallState);
    }
    return aStates;
  }

  test::CLogCapture m_oLog;
  test::CTempFolder m_oFolder;
  SSipAccount m_oAccount;
  test::CEventLog m_oEvents;
  uint32_t m_uCookie = 0;
  std::unique_ptr<ITelephony> m_pTelephony;
  std::shared_ptr<ITelAddress> m_pAddress;
};

TEST_F(SipSignalling, FinalAnswersEndTheCallWithTheirStatus) {
  struct SCase {
    const char* m_szScenario;
    const char* m_szPlaceholder;
    const char* m_szFill;
    HRESULT m_hrExpected;
    std::string m_sLogged;  // after "SIP: call to <number> failed: "
  };
  const SCase aCases[] = {
      {"final_status.xml", "@STATUS@", "486 Busy Here", TEL_E_BUSY, "486 Busy Here"},
      {"final_status.xml", "@STATUS@", "600 Busy Everywhere", TEL_E_BUSY, "600 Busy Everywhere"},
      {"final_status.xml", "@STATUS@", "480 Temporarily Unavailable", TEL_E_NOANSWER,
       "480 Temporarily Unavailable"},
      {"final_status.xml", "@STATUS@", "403 Forbidden", TEL_E_REJECTED, "403 Forbidden"},
      {"final_status.xml", "@STATUS@", "404 Not Found", TEL_E_REJECTED, "404 Not Found"},
      {"final_status.xml", "@STATUS@", "503 Service Unavailable", TEL_E_REJECTED,
       "503 Service Unavailable"},
      {"double_challenge.xml", "", "", TEL_E_REJECTED, "407 Proxy Authentication Required"},
      {"ring_cancel.xml", "", "", TEL_E_NOANSWER, "no answer within 45 s"},  // sipp sees CANCEL
      // Only G.729 answered: no common codec; sipp checks that the 200 is acknowledged, then BYE.
      {"answer_hangup.xml", "@CODEC@", "18", TEL_E_REJECTED,
       "the answer cannot be used: the SDP names no common codec"},
      // An answer whose connection line names no address: malformed.
      {"answer_hangup.xml", "@CODEC@", "0\nc=IN IP4 ", TEL_E_REJECTED,
       "the answer cannot be used: the SDP answer cannot be read"},
  };
  m_oAccount = SSipAccount{"sip:alice@127.0.0.1", "secret", ""};  // names the caller too
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(std::string(oCase.m_szScenario) + " " + oCase.m_szFill);
    test::CTempFolder oFolder;
    CSipp oSipp(oFolder);
    oSipp.Start(oCase.m_szScenario, {{oCase.m_szPlaceholder, oCase.m_szFill}});
    ASSERT_TRUE(oSipp.WaitListening());
    const std::string sNumber = "sip:bob@127.0.0.1:" + std::to_string(oSipp.Port());
    const size_t uEventsBefore = m_oEvents.Events().size();
    const std::shared_ptr<ITelCall> pCall = Create(sNumber);
    ASSERT_TRUE(pCall);
    EXPECT_EQ(pCall->Connect(true), oCase.m_hrExpected);
    EXPECT_EQ(pCall->GetCallState(), CS_DISCONNECTED);
    uint32_t uDevice = 0;
    EXPECT_EQ(pCall->GetID("wave/out", uDevice), E_FAIL);
    EXPECT_EQ(oSipp.WaitExit(), 0) << oSipp.Output();
    ASSERT_TRUE(m_oEvents.WaitForCount(uEventsBefore + 2));
    const std::vector<STelEvent> aAll = m_oEvents.Events();
    EXPECT_EQ(StatesOf({aAll.begin() + uEventsBefore, aAll.end()}),
              (std::vector<int>{CS_INPROGRESS, CS_DISCONNECTED}));
    const std::string sLine = "Error: SIP: call to " + sNumber + " failed: " + oCase.m_sLogged;
    EXPECT_NE(m_oLog.Text().find(sLine), std::string::npos) << m_oLog.Text();
  }
}

TEST_F(SipSignalling, AnsweredCallsCarryTheirAudioUntilEitherSideHangsUp) {
  struct SCase {
    const char* m_szScenario;
    EThen m_eThen;
    bool m_bAccount;   // the account answers the scenario's challenge (sipp checks a 401's)
    bool m_bTcpProxy;  // a telephone number, through the account's proxy over TCP
  };
  const SCase aCases[] = {
      {"answer_hangup.xml", EThen::HANG_UP, false, false},
      {"answer_hangup.xml", EThen::HANG_UP, true, true},
      {"auth_answer.xml", EThen::HANG_UP, true, false},
      {"proxy_auth_answer.xml", EThen::HANG_UP, true, false},
      {"far_bye.xml", EThen::FAR_END_HANGS_UP, false, false},
      {"info_digit.xml", EThen::KEY_1, false, false},
      {"reinvite.xml", EThen::KEY_2, false, false},  // pressed once our answer was taken
  };
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(std::string(oCase.m_szScenario) + (oCase.m_bTcpProxy ? " by TCP" : ""));
    test::CTempFolder oFolder;
    CSipp oSipp(oFolder);
    m_oAccount = SSipAccount{};
    if (oCase.m_bAccount) m_oAccount = {"sip:alice@127.0.0.1", "secret", ""};
    if (oCase.m_bTcpProxy) {
      m_oAccount = {"sip:alice@example.org", "secret",
                    "127.0.0.1:" + std::to_string(oSipp.Port()) + ";transport=tcp"};
    }
    oSipp.Start(oCase.m_szScenario, {{"@CODEC@", "0"}}, oCase.m_bTcpProxy);
    ASSERT_TRUE(oSipp.WaitListening());
    const size_t uEventsBefore = m_oEvents.Events().size();
    const std::shared_ptr<ITelCall> pCall = Create(
        oCase.m_bTcpProxy ? "+1 (555) 0100" : "sip:bob@127.0.0.1:" + std::to_string(oSipp.Port()));
    ASSERT_TRUE(pCall);
    ASSERT_EQ(pCall->Connect(true), S_OK) << m_oLog.Text();
    EXPECT_EQ(pCall->GetCallState(), CS_CONNECTED);
    uint32_t uOut = 0;
    uint32_t uIn = 0;
    EXPECT_EQ(pCall->GetID("wave/out", uOut), S_OK);
    EXPECT_EQ(pCall->GetID("wave/in", uIn), S_OK);
    std::vector<int> aStates{CS_INPROGRESS, CS_CONNECTED, CS_DISCONNECTED};
    size_t uExpected = 3;
    if (oCase.m_eThen == EThen::KEY_1 || oCase.m_eThen == EThen::KEY_2) {
      ASSERT_TRUE(m_oEvents.WaitForCount(uEventsBefore + 3));
      const STelEvent oDigit = m_oEvents.Events()[uEventsBefore + 2];
      EXPECT_EQ(oDigit.m_iEvent, TE_DIGITEVENT);
      EXPECT_EQ(oDigit.m_cDigit, static_cast<char>(oCase.m_eThen));
      EXPECT_EQ(oDigit.m_pCall, pCall.get());
      ++uExpected;
    }
    if (oCase.m_eThen == EThen::FAR_END_HANGS_UP) {
      ASSERT_TRUE(m_oEvents.WaitForCount(uEventsBefore + 3));
      EXPECT_EQ(pCall->GetCallState(), CS_DISCONNECTED);
      const std::shared_ptr<IWaveOutDevice> pOut = CWaveDeviceTable::FindWaveOut(uOut);
      const int16_t aSilence[160] = {};
      EXPECT_TRUE(pOut == nullptr || !pOut->Write(aSilence, 160));  // the line is gone
    }
    EXPECT_EQ(pCall->Disconnect(), S_OK);  // harmless after the far end's BYE
    EXPECT_EQ(oSipp.WaitExit(), 0) << oSipp.Output();
    ASSERT_TRUE(m_oEvents.WaitForCount(uEventsBefore + uExpected));
    const std::vector<STelEvent> aAll = m_oEvents.Events();
    EXPECT_EQ(StatesOf({aAll.begin() + uEventsBefore, aAll.end()}), aStates);
    EXPECT_EQ(pCall->GetID("wave/in", uIn), E_FAIL);
    if (oCase.m_bTcpProxy) {
      EXPECT_NE(
          oSipp.Messages().find("INVITE sip:+15550100@example.org SIP/2.0\r\nVia: SIP/2.0/TCP"),
          std::string::npos)
          << oSipp.Messages();
    }
    if (std::string(oCase.m_szScenario) == "proxy_auth_answer.xml") {
      const std::string sUri = "sip:bob@127.0.0.1:" + std::to_string(oSipp.Port());
      const std::string sResponse = Md5Hex(Md5Hex("alice:wardenix.test:secret") +
                                           ":4f7a1c3b9e2d:" + Md5Hex("INVITE:" + sUri));
      EXPECT_NE(oSipp.Messages().find("Proxy-Authorization: Digest username=\"alice\", realm=\""
                                      "wardenix.test\", nonce=\"4f7a1c3b9e2d\", uri=\"" +
                                      sUri + "\", response=\"" + sResponse + "\""),
                std::string::npos)
          << oSipp.Messages();
    }
  }
}

TEST_F(SipSignalling, UnreachablePeersFailAfterTheRingOrAtOnce) {
  CUdpPort oBlackHole;  // takes the packets and never answers
  struct SCase {
    std::string m_sNumber;
    HRESULT m_hrExpected;
    std::string m_sLogged;
  };
  const SCase aCases[] = {
      {"sip:bob@127.0.0.1:" + std::to_string(oBlackHole.Port()), TEL_E_NOANSWER,
       "no answer within 45 s"},
      {"sip:x@no-such-host.invalid", TEL_E_REJECTED, "cannot find the host no-such-host.invalid: "},
  };
  for (const SCase& oCase : aCases) {
    const std::shared_ptr<ITelCall> pCall = Create(oCase.m_sNumber);
    ASSERT_TRUE(pCall);
    EXPECT_EQ(pCall->Connect(true), oCase.m_hrExpected) << oCase.m_sNumber;
    EXPECT_EQ(pCall->GetCallState(), CS_DISCONNECTED);
    const std::string sLine =
        "Error: SIP: call to " + oCase.m_sNumber + " failed: " + oCase.m_sLogged;
    EXPECT_NE(m_oLog.Text().find(sLine), std::string::npos) << sLine;
  }
}

}  // namespace
}  // namespace wdx
