#include "platform/telephony/telephony.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <set>

#include "platform/speech/speech.h"
#include "platform/telephony/telephony_test_util.h"
#include "tests/support/log_capture.h"

namespace wdx {
namespace {

using test::CEventLog;

class TelephonyTest : public test::CTelephonyFixture {};

TEST_F(TelephonyTest, OneAudioLineIsOfferedWhileInitialised) {
  EXPECT_EQ(m_pAddress->GetName(), "Wardenix line");
  EXPECT_EQ(m_pAddress->QueryMediaType(TAPIMEDIATYPE_AUDIO), S_OK);
  EXPECT_EQ(m_pAddress->QueryMediaType(0x10), S_FALSE);

  std::shared_ptr<ITelCall> pCall;
  EXPECT_EQ(m_pAddress->CreateCall("sim:yes", LINEADDRESSTYPE_PHONENUMBER, 0x10, pCall),
            E_INVALIDARG);
  EXPECT_EQ(m_pAddress->CreateCall("sim:yes", 0x2, TAPIMEDIATYPE_AUDIO, pCall), E_INVALIDARG);

  EXPECT_EQ(m_pTelephony->Shutdown(), S_OK);
  EXPECT_EQ(m_pTelephony->Shutdown(), S_OK);
  std::vector<std::shared_ptr<ITelAddress>> aAddresses;
  EXPECT_EQ(m_pTelephony->EnumerateAddresses(aAddresses), TEL_E_NOTINITIALIZED);
  EXPECT_TRUE(aAddresses.empty());
  EXPECT_EQ(Create("sim:yes", pCall), TEL_E_NOTINITIALIZED);  // an address kept from before

  ASSERT_EQ(m_pTelephony->Initialize(), S_OK);  // and again
  ASSERT_EQ(Create("sim:yes", pCall), S_OK);
  EXPECT_EQ(pCall->Connect(true), S_OK);
  EXPECT_EQ(m_oEvents.States(), (std::vector<int>{CS_INPROGRESS, CS_CONNECTED}));

  m_pTelephony.reset();  // going away, it hangs up and tells the sinks first
  EXPECT_EQ(pCall->GetCallState(), CS_DISCONNECTED);
  EXPECT_EQ(m_oEvents.States(), (std::vector<int>{CS_INPROGRESS, CS_CONNECTED, CS_DISCONNECTED}));
}

TEST_F(TelephonyTest, NumbersAreCheckedBeforeAnythingIsDialled) {
  test::CLogCapture oLog;
  struct SCase {
    std::string m_sNumber;
    HRESULT m_hrExpected;
  };
  const SCase aCases[] = {
      {"", TEL_E_BADNUMBER},
      {"sim:say:" + std::string(248, 'a'), TEL_E_BADNUMBER},  // 256 characters
      {std::string(10000, '9'), TEL_E_BADNUMBER},
      {"sim:", TEL_E_BADNUMBER},
      {"sim:maybe", TEL_E_BADNUMBER},
      {"sim:yes ", TEL_E_BADNUMBER},
      {"sim:say:", TEL_E_BADNUMBER},
      {"sim:say: \t ", TEL_E_BADNUMBER},
      {"+15551234567", TEL_E_NOLINE},
      {"SIM:yes", TEL_E_BADNUMBER},  // not simulated, and not a number SIP can dial
      {"sip:alice", TEL_E_BADNUMBER},
      {"sip:alice@example.org", S_OK},  // dialled directly, no account needed
      {"sim:say:" + std::string(247, 'a'), S_OK},  // 255 characters
      {"sim:say:Fine, thank you.", S_OK},
  };
  for (const SCase& oCase : aCases) {
    std::shared_ptr<ITelCall> pCall;
    EXPECT_EQ(Create(oCase.m_sNumber, pCall), oCase.m_hrExpected) << oCase.m_sNumber;
    EXPECT_EQ(pCall != nullptr, oCase.m_hrExpected == S_OK) << oCase.m_sNumber;
    if (pCall) {
      EXPECT_EQ(pCall->GetNumber(), oCase.m_sNumber);
      EXPECT_EQ(pCall->GetCallState(), CS_IDLE);
    }
  }
  EXPECT_TRUE(oLog.HasError("Telephony: cannot dial \"sim:maybe\": no such simulated callee"));
  EXPECT_TRUE(oLog.HasError("Telephony: cannot dial \"\": the number is empty"));
  EXPECT_TRUE(oLog.HasError("Telephony: cannot dial \"" + std::string(64, '9') +
                            "...\": the number is too long"));
  EXPECT_TRUE(oLog.HasError(
      "Telephony: cannot dial \"+15551234567\": no telephone line is configured for this number"));
  EXPECT_TRUE(oLog.HasError(
      "SIP: cannot dial \"SIM:yes\": the number has a character that cannot be dialled: ':'"));
  EXPECT_TRUE(oLog.HasError(
      "SIP: cannot dial \"sip:alice\": a SIP number must have the form sip:user@host[:port]"));
  EXPECT_TRUE(m_oEvents.States().empty());

  std::set<std::string> oTexts;
  for (HRESULT hr : {S_OK, TEL_E_BADNUMBER, TEL_E_NOLINE, TEL_E_BUSY, TEL_E_NOANSWER,
                     TEL_E_REJECTED, TEL_E_DISCONNECTED, TEL_E_NOTINITIALIZED, E_FAIL}) {
    oTexts.insert(DescribeTelephonyResult(hr));
  }
  EXPECT_EQ(oTexts.size(), 9u);  // each result has its own text
  EXPECT_STREQ(DescribeTelephonyResult(TEL_E_BUSY), "busy");
  EXPECT_STREQ(DescribeTelephonyResult(TEL_E_NOANSWER), "no answer");
  EXPECT_STREQ(DescribeTelephonyResult(0x7654321), "unknown telephony result");
}

TEST_F(TelephonyTest, ConnectReturnsOnceEverySinkHasBeenToldTheCallIsConnected) {
  CEventLog oSecond(50);  // slow: Connect must still wait for it
  uint32_t uSecond = 0;
  ASSERT_EQ(m_pTelephony->Advise(&oSecond, uSecond), S_OK);
  EXPECT_NE(uSecond, m_uCookie);

  const std::shared_ptr<ITelCall> pCall = Dial("sim:yes");
  ASSERT_TRUE(pCall);
  // No waiting: both sinks already had both events when Connect returned.
  const std::vector<int> aDialled{CS_INPROGRESS, CS_CONNECTED};
  EXPECT_EQ(m_oEvents.States(), aDialled);
  EXPECT_EQ(oSecond.States(), aDialled);
  EXPECT_EQ(pCall->GetCallState(), CS_CONNECTED);
  EXPECT_EQ(m_oClock.GetTotalSleptMs(), ScaleInterval(2000));  // it rang first
  for (const STelEvent& oEvent : m_oEvents.Events()) {
    EXPECT_EQ(oEvent.m_iEvent, TE_CALLSTATE);
    EXPECT_EQ(oEvent.m_pCall, pCall.get());
  }
  for (const std::thread::id& oThread : m_oEvents.Threads()) {
    EXPECT_NE(oThread, std::this_thread::get_id());  // the layer's own thread
  }
  EXPECT_EQ(pCall->Connect(true), E_UNEXPECTED);

  EXPECT_EQ(pCall->Disconnect(), S_OK);
  EXPECT_EQ(pCall->Disconnect(), S_OK);  // harmless, told once
  EXPECT_EQ(pCall->GetCallState(), CS_DISCONNECTED);
  ASSERT_TRUE(oSecond.WaitForCount(3));
  m_pTelephony->Shutdown();  // delivers what is queued before it stops
  EXPECT_EQ(m_oEvents.States(), (std::vector<int>{CS_INPROGRESS, CS_CONNECTED, CS_DISCONNECTED}));
  EXPECT_EQ(pCall->Connect(true), TEL_E_DISCONNECTED);
  EXPECT_EQ(pCall->Connect(false), E_INVALIDARG);
}

TEST_F(TelephonyTest, BusyAndUnansweredCallsRingThenEnd) {
  struct SCase {
    const char* m_szNumber;
    HRESULT m_hrExpected;
    int m_iRingMs;
  };
  const SCase aCases[] = {{"sim:busy", TEL_E_BUSY, 2000}, {"sim:noanswer", TEL_E_NOANSWER, 30000}};
  for (const SCase& oCase : aCases) {
    CEventLog oEvents;
    uint32_t uCookie = 0;
    ASSERT_EQ(m_pTelephony->Advise(&oEvents, uCookie), S_OK);
    const int64_t iSleptBefore = m_oClock.GetTotalSleptMs();
    std::shared_ptr<ITelCall> pCall;
    ASSERT_EQ(Create(oCase.m_szNumber, pCall), S_OK);
    EXPECT_EQ(pCall->Connect(true), oCase.m_hrExpected) << oCase.m_szNumber;
    EXPECT_EQ(m_oClock.GetTotalSleptMs() - iSleptBefore, ScaleInterval(oCase.m_iRingMs));
    EXPECT_EQ(pCall->GetCallState(), CS_DISCONNECTED);
    ASSERT_TRUE(oEvents.WaitForCount(2)) << oCase.m_szNumber;
    EXPECT_EQ(oEvents.States(), (std::vector<int>{CS_INPROGRESS, CS_DISCONNECTED}));
    uint32_t uDevice = 7;
    EXPECT_EQ(pCall->GetID("wave/out", uDevice), E_FAIL);
    EXPECT_EQ(uDevice, 0u);
    EXPECT_EQ(pCall->Connect(true), TEL_E_DISCONNECTED);
    EXPECT_EQ(m_pTelephony->Unadvise(uCookie), S_OK);
  }
  EXPECT_FALSE(std::filesystem::exists(m_oFolder.File("simcalls")));  // nothing answered
}

TEST_F(TelephonyTest, OnlyTheEventsOfTheFilterAreDelivered) {
  for (int iFilter : {0, TE_CALLNOTIFICATION}) {
    ASSERT_EQ(m_pTelephony->SetEventFilter(iFilter), S_OK);
    ASSERT_TRUE(Dial("sim:silent"));  // its events have been handled when it returns
    EXPECT_TRUE(m_oEvents.States().empty()) << iFilter;
  }
  ASSERT_EQ(m_pTelephony->SetEventFilter(TE_CALLSTATE), S_OK);
  ASSERT_TRUE(Dial("sim:silent"));
  EXPECT_EQ(m_oEvents.States(), (std::vector<int>{CS_INPROGRESS, CS_CONNECTED}));
}

// A sink that holds the notification thread in its first event until the test releases it.
class CBlockingSink final : public ITelEventSink {
 public:
  HRESULT Event(const STelEvent& /*oEvent*/) override {
    if (m_iEvents.fetch_add(1) == 0) {
      m_oEntered.set_value();
      m_oRelease.get_future().wait();
    }
    return S_OK;
  }
  std::atomic<int> m_iEvents{0};
  std::promise<void> m_oEntered;
  std::promise<void> m_oRelease;
};

TEST_F(TelephonyTest, UnadviseWaitsForTheEventBeingDelivered) {
  EXPECT_EQ(m_pTelephony->Unadvise(m_uCookie), S_OK);  // the fixture's sink goes last
  CBlockingSink oBlocking;
  uint32_t uBlocking = 0;
  ASSERT_EQ(m_pTelephony->Advise(&oBlocking, uBlocking), S_OK);
  ASSERT_EQ(m_pTelephony->Advise(&m_oEvents, m_uCookie), S_OK);
  uint32_t uNone = 0;
  EXPECT_EQ(m_pTelephony->Advise(nullptr, uNone), E_POINTER);
  EXPECT_EQ(m_pTelephony->Unadvise(9999), E_INVALIDARG);

  std::shared_ptr<ITelCall> pCall;
  ASSERT_EQ(Create("sim:busy", pCall), S_OK);
  EXPECT_EQ(pCall->Connect(true), TEL_E_BUSY);  // its events wait behind the blocked sink
  oBlocking.m_oEntered.get_future().wait();

  std::atomic<bool> bUnadvised{false};
  std::thread oUnadvise([&] {
    EXPECT_EQ(m_pTelephony->Unadvise(uBlocking), S_OK);
    bUnadvised = true;
  });
  // Unadvise must not return while the sink is still being called.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(bUnadvised.load());
  oBlocking.m_oRelease.set_value();
  oUnadvise.join();
  EXPECT_TRUE(bUnadvised.load());

  ASSERT_TRUE(m_oEvents.WaitForCount(2));
  EXPECT_EQ(m_oEvents.States(), (std::vector<int>{CS_INPROGRESS, CS_DISCONNECTED}));
  EXPECT_EQ(oBlocking.m_iEvents.load(), 1);  // not told of the hang-up
}

// Ringing in real time: a hang-up from another thread ends a synchronous Connect at once.
class TelephonyRingTest : public test::CTelephonyFixture {
 protected:
  TelephonyRingTest() : CTelephonyFixture(false) {}
};

TEST_F(TelephonyRingTest, HangingUpOrShuttingDownEndsRingingPromptly) {
  if (ScaleInterval(30000) < 10000) GTEST_SKIP() << "WDX_TIME_SCALE makes the ring too short";
  for (const bool bShutdown : {false, true}) {
    CEventLog oEvents;
    uint32_t uCookie = 0;
    ASSERT_EQ(m_pTelephony->Advise(&oEvents, uCookie), S_OK);
    std::shared_ptr<ITelCall> pCall;
    ASSERT_EQ(Create("sim:noanswer", pCall), S_OK);
    auto oConnect = std::async(std::launch::async, [&] { return pCall->Connect(true); });
    ASSERT_TRUE(oEvents.WaitForCount(1));
    const auto oStart = std::chrono::steady_clock::now();
    if (bShutdown) {
      EXPECT_EQ(m_pTelephony->Shutdown(), S_OK);
    } else {
      EXPECT_EQ(pCall->Disconnect(), S_OK);
    }
    EXPECT_EQ(oConnect.get(), TEL_E_DISCONNECTED);
    EXPECT_LT(std::chrono::steady_clock::now() - oStart, std::chrono::seconds(5)) << bShutdown;
    ASSERT_TRUE(oEvents.WaitForCount(2));
    EXPECT_EQ(oEvents.States(), (std::vector<int>{CS_INPROGRESS, CS_DISCONNECTED}));
    EXPECT_EQ(pCall->GetCallState(), CS_DISCONNECTED);
    m_pTelephony->Unadvise(uCookie);
  }
}

}  // namespace
}  // namespace wdx
