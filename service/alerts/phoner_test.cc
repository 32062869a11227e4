// CPhoner against a scripted component: what it loads, what it sends, what it reports and logs.
// The end-to-end rounds on the real component are in tests/phone_alert_test.cc.
#include "service/alerts/phoner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/fake_clock.h"
#include "service/settings/all_sets.h"
#include "tests/support/log_capture.h"

namespace wdx {
namespace {

// Answers as scripted and records each call as one text.
class CScriptedPhone final : public IRirer2Oduvo {
 public:
  int32_t m_lInit = -1;
  int32_t m_lSend = -1;
  int32_t m_lFinalStatus = PHONE_STATUS_DONE;
  int m_iCallingReads = 2;  // status reads that answer 1001 after a send
  bool m_aReady[4] = {true, true, true, true};
  std::vector<std::string> m_aCalls;
  std::atomic<uint32_t> m_lRefs{1};
  int32_t m_lCommanded = PHONE_COMMAND_RUN;

  HRESULT QueryInterface(const char*, void** ppOut) override {
    *ppOut = this;
    AddRef();
    return S_OK;
  }
  uint32_t AddRef() override { return ++m_lRefs; }
  uint32_t Release() override { return --m_lRefs; }
  HRESULT AddAddress(const CVariant& vName, const CVariant& vNumber, int32_t* pl) override {
    m_aCalls.push_back("AddAddress " + vName.GetString() + " " + vNumber.GetString());
    *pl = vName.GetString().empty() ? 0 : -1;
    return S_OK;
  }
  HRESULT SendAlerts(int32_t* pl) override {
    m_aCalls.push_back("SendAlerts");
    *pl = m_lSend;
    if (m_lSend == -1) m_iLeft = m_iCallingReads;
    return S_OK;
  }
  HRESULT DeleteAddresses(int32_t* pl) override {
    m_aCalls.push_back("DeleteAddresses");
    *pl = -1;
    return S_OK;
  }
  HRESULT SetMessage1(const CVariant& v) override {
    m_aCalls.push_back("SetMessage1 " + v.GetString());
    return S_OK;
  }
  HRESULT SetAcknowledgeState(const CVariant& v, int32_t* pl) override {
    m_aCalls.push_back(std::string("SetAcknowledgeState ") + (v.GetBool() ? "on" : "off"));
    *pl = -1;
    return S_OK;
  }
  HRESULT MessageType(const CVariant& v, int32_t* pl) override {
    m_aCalls.push_back("MessageType " + v.GetString());
    *pl = -1;
    return S_OK;
  }
  HRESULT GetAcknowledgedStatus(int32_t* pl) override {
    *pl = 0;
    return S_OK;
  }
  HRESULT SetRefToZuvEvent(CZuvEvent*, int32_t* pl) override {
    *pl = -1;
    return S_OK;
  }
  HRESULT GetProcessingStatus(int32_t* pl) override {
    if (m_iLeft > 0) {
      --m_iLeft;
      *pl = PHONE_STATUS_CALLING;
    } else {
      *pl = m_lFinalStatus;
    }
    return S_OK;
  }
  HRESULT SetProcessingState(const int32_t* plState, int32_t* pl) override {
    m_lCommanded = *plState;
    if (*plState == PHONE_COMMAND_STOP) m_aCalls.push_back("Stop");
    *pl = -1;
    return S_OK;
  }
  HRESULT Initialize(const CVariant& v, int32_t* pl) override {
    m_aCalls.push_back("Initialize " + v.GetString());
    *pl = m_lInit;
    return S_OK;
  }
  HRESULT GetInitStatus(const int32_t* plQuery, int32_t* pl) override {
    const int i = *plQuery - PHONE_INIT_CALL_THREAD;
    *pl = (i >= 0 && i < 4 && m_aReady[i]) ? -1 : 0;
    return S_OK;
  }

 private:
  int m_iLeft = 0;
};

class PhonerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockForTesting(&m_oClock);
    m_oSets.m_oStrMsgDown.Assign("The shop is down");
    m_oSets.m_oStrMsgUp.Assign("The shop is up");
    m_oSets.m_bPhoneAck = true;
    Enable(1, "Ann", "sim:no");
  }
  void TearDown() override { SetClockForTesting(nullptr); }

  void Enable(int iRow, const char* szName, const char* szNumber) {
    m_oSets.m_abPhoneEnabled[iRow - 1] = true;
    m_oSets.m_aoStrPhoneName[iRow - 1].Assign(szName);
    m_oSets.m_aoStrPhoneNumber[iRow - 1].Assign(szNumber);
  }
  // A phoner holding the scripted component, initialised with the settings.
  CPhoner& Ready() {
    m_oPhoner.SetWorkingDirectory("/srv/wdx/");
    EXPECT_TRUE(m_oPhoner.Initialize(&m_oSets));
    m_oPhone.m_aCalls.clear();
    return m_oPhoner;
  }
  std::vector<std::string> CallsStartingWith(const std::string& sPrefix) const {
    std::vector<std::string> aFound;
    for (const std::string& s : m_oPhone.m_aCalls) {
      if (s.rfind(sPrefix, 0) == 0) aFound.push_back(s);
    }
    return aFound;
  }

  CFakeClock m_oClock;
  test::CLogCapture m_oLog;
  CAllSets m_oSets;
  CScriptedPhone m_oPhone;
  CPhoner m_oPhoner{[this]() -> IRirer2Oduvo* {
    m_oPhone.AddRef();
    return &m_oPhone;
  }};
};

TEST_F(PhonerTest, RoundOutcomeDecidesTheResultAndTheDeliveredLineIsAlwaysWritten) {
  struct SCase {
    int32_t m_lFinal;
    bool m_bDown;
    bool m_bExpected;
    const char* szDelivered;
    const char* szFailure;
  };
  const SCase aCases[] = {
      {PHONE_STATUS_DONE, true, true, "Delivered Phone Message:  'Server Down: The shop is down'.", ""},
      {PHONE_STATUS_DONE, false, true, "Delivered Phone Message:  'Server Up: The shop is up'.", ""},
      {PHONE_STATUS_FAILED, true, false, "Delivered Phone Message:  'Server Down: The shop is down'.",
       "CPhoner::SendDownMessage() failed."},
      {PHONE_STATUS_FAILED, false, false, "Delivered Phone Message:  'Server Up: The shop is up'.",
       "CPhoner::SendUpMessage() failed."},
  };
  CPhoner& oPhoner = Ready();
  for (const SCase& oCase : aCases) {
    m_oPhone.m_lFinalStatus = oCase.m_lFinal;
    const bool bResult = oCase.m_bDown ? oPhoner.SendDownMessage() : oPhoner.SendUpMessage();
    EXPECT_EQ(bResult, oCase.m_bExpected) << oCase.szDelivered;
    EXPECT_NE(m_oLog.Text().find(oCase.szDelivered), std::string::npos);
    if (*oCase.szFailure != '\0') {
      EXPECT_TRUE(m_oLog.HasError(oCase.szFailure));
    }
    EXPECT_EQ(oPhoner.GetLastDeliveredKind(), oCase.m_bDown ? 1004 : 1003);
  }
}

TEST_F(PhonerTest, AFailedSendFailsBothDirectionsWithoutADeliveredLine) {
  CPhoner& oPhoner = Ready();
  m_oPhone.m_lSend = 0;
  EXPECT_FALSE(oPhoner.SendUpMessage());
  EXPECT_FALSE(oPhoner.SendDownMessage());
  EXPECT_TRUE(m_oLog.HasError("CPhoner::SendAlerts() failed."));
  EXPECT_TRUE(m_oLog.HasError("CPhoner::SendUpMessage() failed."));
  EXPECT_TRUE(m_oLog.HasError("CPhoner::SendDownMessage() failed."));
  EXPECT_EQ(m_oLog.Text().find("Delivered Phone Message"), std::string::npos);
}

TEST_F(PhonerTest, OnlyEnabledContactsAreLoadedInRowOrderWithTheAcknowledgementFlag) {
  m_oSets.m_abPhoneEnabled[0] = false;
  Enable(5, "Eve", "sim:yes");
  Enable(2, "Bob", "sim:busy");
  m_oSets.m_aoStrPhoneName[2].Assign("Carl");  // row 3 disabled: never called
  CPhoner& oPhoner = Ready();
  ASSERT_TRUE(oPhoner.SendDownMessage());
  EXPECT_EQ(CallsStartingWith("AddAddress"),
            (std::vector<std::string>{"AddAddress Bob sim:busy", "AddAddress Eve sim:yes"}));
  EXPECT_EQ(CallsStartingWith("SetAcknowledgeState"), std::vector<std::string>{"SetAcknowledgeState on"});
  EXPECT_EQ(CallsStartingWith("SetMessage1"), std::vector<std::string>{"SetMessage1 The shop is down"});
}

TEST_F(PhonerTest, NoEnabledContactIsASuccessThatTouchesNothing) {
  m_oSets.m_abPhoneEnabled[0] = false;
  CPhoner& oPhoner = Ready();
  EXPECT_TRUE(oPhoner.SendDownMessage());
  EXPECT_TRUE(oPhoner.SendUpMessage());
  EXPECT_TRUE(oPhoner.SendCustomMessage("Remote down"));
  EXPECT_TRUE(m_oPhone.m_aCalls.empty());
}

TEST_F(PhonerTest, MessageTypesPassTheirPhrases) {
  CPhoner& oPhoner = Ready();
  for (int32_t lCode : {999, 1000, 1003, 1004, 1007, 1008, 1009}) oPhoner.SetMessageType(lCode);
  EXPECT_EQ(CallsStartingWith("MessageType"),
            (std::vector<std::string>{"MessageType ", "MessageType ", "MessageType Server is back up.",
                                      "MessageType Server is down.", "MessageType Remote URL is back up.",
                                      "MessageType Remote URL is down.", "MessageType "}));
}

TEST_F(PhonerTest, CustomMessageKeepsTheMessageTypeAsItsKindAndRefusesAnEmptyText) {
  CPhoner& oPhoner = Ready();
  oPhoner.SetMessageType(PHONE_MSG_REMOTE_URL_DOWN);
  EXPECT_TRUE(oPhoner.SendCustomMessage("http://example.test/ failed"));
  EXPECT_EQ(oPhoner.GetLastDeliveredKind(), PHONE_MSG_REMOTE_URL_DOWN);
  EXPECT_NE(m_oLog.Text().find("Delivered Phone Message: 'http://example.test/ failed'."),
            std::string::npos);
  EXPECT_FALSE(oPhoner.SendCustomMessage(""));
  EXPECT_TRUE(m_oLog.HasError("CPhoner::SendCustomMessage() failed."));
}

TEST_F(PhonerTest, InitialisationReadinessAndReinitialisation) {
  m_oPhone.m_lInit = 0;
  m_oPhone.m_aReady[1] = false;  // speech did not come up
  m_oPhone.m_aReady[3] = false;
  m_oPhoner.SetWorkingDirectory("/srv/wdx/");
  EXPECT_TRUE(m_oPhoner.Initialize(&m_oSets));  // the object exists, though not ready
  EXPECT_FALSE(m_oPhoner.IsReady());
  EXPECT_TRUE(m_oLog.HasError("CPhoner::CreateRirer2Oduvo failed."));
  EXPECT_NE(m_oLog.Text().find(" 2) fix the config problem. Probably bad SAPI or TAPI."), std::string::npos);
  ASSERT_TRUE(m_oPhoner.GetPhoneReadyState());
  unsigned char aReady[4];
  m_oPhoner.GetReadyFlags(aReady);
  EXPECT_EQ(std::vector<int>(aReady, aReady + 4), (std::vector<int>{1, 0, 1, 0}));
  // Again: the running round is stopped and the component replaced.
  m_oPhone.m_lInit = -1;
  EXPECT_TRUE(m_oPhoner.Initialize(&m_oSets));
  EXPECT_TRUE(m_oPhoner.IsReady());
  EXPECT_EQ(CallsStartingWith("Stop").size(), 1u);
  EXPECT_EQ(CallsStartingWith("Initialize").size(), 2u);
  m_oPhoner.Release();
  EXPECT_EQ(m_oPhone.m_lRefs, 1u);  // every reference taken was given back
}

TEST(PhonerWithoutComponent, ReportsFalseEverywhere) {
  test::CLogCapture oLog;
  CAllSets oSets;
  oSets.m_abPhoneEnabled[0] = true;
  CPhoner oPhoner{[]() -> IRirer2Oduvo* { return nullptr; }};
  EXPECT_FALSE(oPhoner.Initialize(&oSets));
  EXPECT_TRUE(oLog.HasError("CPhoner::3"));
  EXPECT_TRUE(oLog.HasError("CPhoner::Initialize() failed."));
  EXPECT_FALSE(oPhoner.GetPhoneReadyState());
  EXPECT_FALSE(oPhoner.SendDownMessage());
  EXPECT_FALSE(oPhoner.Initialize(nullptr));
}

TEST_F(PhonerTest, ARoundThatNeverEndsIsStoppedWhenCancelledOrOverdue) {
  CPhoner& oPhoner = Ready();
  // The fake clock makes the 5 s polls instant. A cancel (the service stops) stops the round once.
  int iAsked = 0;
  oPhoner.SetCancelCheck([&] { return ++iAsked > 3; });
  m_oPhone.m_lFinalStatus = PHONE_STATUS_FAILED;
  m_oPhone.m_iCallingReads = 3;
  EXPECT_FALSE(oPhoner.SendDownMessage());
  EXPECT_EQ(CallsStartingWith("Stop").size(), 1u);
  oPhoner.SetCancelCheck(nullptr);
  m_oPhone.m_iCallingReads = 200;  // 1000 s of polls: beyond one contact's allowance
  m_oPhone.m_aCalls.clear();
  oPhoner.SendDownMessage();
  EXPECT_EQ(CallsStartingWith("Stop").size(), 1u);
  EXPECT_TRUE(m_oLog.HasError("CPhoner::WaitForCallCompletion: the call round overran its time; it is stopped."));
}

}  // namespace
}  // namespace wdx
