// The phone alert object on scripted engines: its methods and texts, its readiness answers, a
// second initialisation and the final release.
#include "components/rirer2oduvo/rirer2oduvo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/rirer2oduvo/calling_thread.h"
#include "components/rirer2oduvo/phone_rig.h"

namespace wdx {
namespace {

using test::CPhoneRig;
using test::kAskForYes;
using test::kMessage;
using test::Strings;

TEST(Rirer2OduvoTest, BeforeInitializeEveryAnswerIsZeroAndNothingIsLogged) {
  CPhoneRig oRig;
  for (int32_t lQuery : {1008, 1009, 1010, 1011}) EXPECT_EQ(oRig.Query(lQuery), 0) << lQuery;
  EXPECT_EQ(oRig.Send(), 0);
  EXPECT_EQ(oRig.Status(), 0);
  EXPECT_EQ(oRig.Acknowledged(), 0);
  int32_t lResult = 1;
  oRig.m_pObject->AddAddress(CVariant("Ann"), CVariant("fake:yes"), &lResult);
  EXPECT_EQ(lResult, 0);
  const int32_t lStop = PHONE_COMMAND_STOP;
  lResult = 1;
  oRig.m_pObject->SetProcessingState(&lStop, &lResult);
  EXPECT_EQ(lResult, 0);
  oRig.m_pObject->SetMessage1(CVariant("text"));
  EXPECT_EQ(oRig.Log(), "");
}

TEST(Rirer2OduvoTest, InitializeOpensPhoneOutsAndAnswersTheReadinessQueries) {
  CPhoneRig oRig;
  ASSERT_EQ(oRig.Init(), -1);
  const std::string sLog = oRig.Log();
  size_t uAt = 0;
  for (const std::string& sLine :
       {std::string(42, 'X'), std::string(41, 'X'), std::string(40, 'X'), std::string(39, 'X'),
        std::string("XXXX   Rirer2Oduvo Started"), std::string(37, 'X'), std::string(36, 'X')}) {
    uAt = sLog.find(" Message: " + sLine + "\r\r\n", uAt);
    ASSERT_NE(uAt, std::string::npos) << sLine;
  }
  for (int32_t lQuery : {1008, 1009, 1010, 1011}) EXPECT_EQ(oRig.Query(lQuery), -1) << lQuery;
  for (int32_t lQuery : {1007, 1012, 0, -1}) EXPECT_EQ(oRig.Query(lQuery), 0) << lQuery;
  EXPECT_TRUE(oRig.Has(" (event): ", "CZuvTapiEventThread::Initialize() succeeded."));
  EXPECT_TRUE(oRig.Has(" (event): ", "CThreadOwner::RestartTapiEventThread() RESUMED thread."));
  EXPECT_EQ(oRig.Status(), PHONE_STATUS_IDLE);
}

TEST(Rirer2OduvoTest, SpeechThatCannotStartLeavesItsReadinessAnswersAtZero) {
  struct SCase {
    bool m_bGrammar, m_bRecognizer;
    const char* m_szError;
  };
  for (const SCase& oCase : {SCase{false, true, nullptr},
                             SCase{true, false, "CoCreateInstance on inproc reco engine failed"}}) {
    CPhoneRig oRig(oCase.m_bGrammar);
    oRig.m_oEngines.m_oWorld.m_bFailRecognizer = !oCase.m_bRecognizer;
    EXPECT_EQ(oRig.Init(), 0);
    EXPECT_EQ(oRig.Query(1008), -1);
    for (int32_t lQuery : {1009, 1010, 1011}) EXPECT_EQ(oRig.Query(lQuery), 0) << lQuery;
    if (oCase.m_szError != nullptr) {
      EXPECT_TRUE(oRig.Has(" Error: ", oCase.m_szError));
    }
    EXPECT_TRUE(oRig.Has(" Error: ", "CCallingThread::Initialize() InitializeSapi failed"));
    EXPECT_TRUE(
        oRig.Has(" Error: ", "CThreadOwner::RestartTapiEventThread() Sapi & Tapi not inited."));
    EXPECT_TRUE(oRig.Has(" Error: ", "CThreadOwner::StartThreads() failed."));
    // A cycle still runs to its end: no call can be placed.
    oRig.SetUp(true, {"Ann=fake:yes"});
    ASSERT_EQ(oRig.Send(), -1);
    EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_FAILED);
    EXPECT_TRUE(oRig.Dialled().empty());
  }
}

TEST(Rirer2OduvoTest, MethodTextsAndTheAcknowledgementVariant) {
  CPhoneRig oRig;
  ASSERT_EQ(oRig.Init(), -1);
  int32_t lResult = 1;
  oRig.m_pObject->AddAddress(CVariant(""), CVariant("fake:yes"), &lResult);
  EXPECT_EQ(lResult, 0);
  EXPECT_TRUE(
      oRig.Has(" Error: ", "CContactLedger::AddAddress() NAME is missing for number = fake:yes"));
  struct SAck {
    CVariant m_vValue;
    const char* m_szLine;
  };
  for (const SAck& oAck :
       {SAck{CVariant(true), "CRirer2Oduvo::SetAcknowledgeState() was set to USE acknowledgement."},
        SAck{CVariant(false),
             "CRirer2Oduvo::SetAcknowledgeState() was set to NOT USE acknowledgement."},
        SAck{CVariant(int32_t{0x10000}),
             "CRirer2Oduvo::SetAcknowledgeState() was set to NOT USE acknowledgement."},
        SAck{CVariant(int32_t{2}),
             "CRirer2Oduvo::SetAcknowledgeState() was set to USE acknowledgement."}}) {
    lResult = 1;
    oRig.m_pObject->SetAcknowledgeState(oAck.m_vValue, &lResult);
    EXPECT_EQ(lResult, -1);
    EXPECT_EQ(oRig.m_pObject->GetOwner()->GetCallingThread()->m_bAcknowledge.load(),
              std::string(oAck.m_szLine).find("to USE") != std::string::npos);
    EXPECT_TRUE(oRig.Has(" (event): ", oAck.m_szLine));
  }
  oRig.m_pObject->SetMessage1(CVariant("Disk full"));
  for (const char* szLine : {"CRirer2Oduvo::SetMessage1() 1.", "CRirer2Oduvo::SetMessage1() 2.",
                             "CRirer2Oduvo::SetMessage1() 3 MSG Text:", "Disk full",
                             "CRirer2Oduvo::SetMessage1() succeeded."}) {
    EXPECT_TRUE(oRig.Has(" (event): ", szLine)) << szLine;
  }
  const int32_t lStop = PHONE_COMMAND_STOP;
  lResult = 1;
  oRig.m_pObject->SetProcessingState(&lStop, &lResult);
  EXPECT_EQ(lResult, -1);
  EXPECT_EQ(oRig.m_pObject->GetOwner()->GetCallingThread()->m_lCommandedState, lStop);
}

TEST(Rirer2OduvoTest, ASecondInitializeAndTheFinalReleaseEndTheThreads) {
  CPhoneRig oRig;
  ASSERT_EQ(oRig.Init(), -1);
  rirer::CThreadOwner* pFirst = oRig.m_pObject->GetOwner();
  ASSERT_NE(pFirst, nullptr);
  ASSERT_EQ(oRig.Init(), -1);
  EXPECT_TRUE(oRig.Has(" (event): ", "CThreadOwner::KillAllThreads() called."));
  EXPECT_TRUE(oRig.Has(" (event): ", "CCallingThread::InitInstance() calls AfxEndThread"));
  EXPECT_TRUE(oRig.Has(" (event): ", "CZuvTapiEventThread::InitInstance() calls ExitInstance"));
  oRig.SetUp(true, {"Ann=fake:yes"});
  ASSERT_EQ(oRig.Send(), -1);
  EXPECT_EQ(oRig.WaitForEnd(), PHONE_STATUS_DONE);
  oRig.Release();
  EXPECT_TRUE(oRig.Has(" (event): ", "Rirer2Oduvo CThreadOwner::Destructor."));
  EXPECT_FALSE(oRig.Has(" Error: ", "CThreadOwner::KillAllThreads() failed."));
}

// Late binding: the IRirer2Oduvo methods by name in interface order; an event object cannot be
// named, so SetRefToZuvEvent takes 0 only.
TEST(Rirer2OduvoTest, DispatchCallsTheMethodsByName) {
  CPhoneRig oRig;
  CInterfacePtr<IDispatch> pDispatch;
  ASSERT_EQ(oRig.m_pObject->QueryInterface(IID_IDispatch, pDispatch.Receive()), S_OK);
  const char* const aszNames[] = {"AddAddress",
                                  "SendAlerts",
                                  "DeleteAddresses",
                                  "SetMessage1",
                                  "SetAcknowledgeState",
                                  "MessageType",
                                  "GetAcknowledgedStatus",
                                  "SetRefToZuvEvent",
                                  "GetProcessingStatus",
                                  "SetProcessingState",
                                  "Initialize",
                                  "GetInitStatus"};
  int32_t lExpectedId = 0;
  for (const char* szName : aszNames) {
    int32_t lDispId = 0;
    EXPECT_EQ(pDispatch->GetIDOfName(szName, lDispId), S_OK) << szName;
    EXPECT_EQ(lDispId, ++lExpectedId) << szName;
  }
  struct SCase {
    int32_t lDispId;
    std::vector<CVariant> aArgs;
    HRESULT hrExpected;
    int32_t lResult;
  };
  const SCase aoCases[] = {
      {12, {CVariant(int32_t{1011})}, S_OK, 0},  // not ready before Initialize
      {11, {CVariant(oRig.m_oFolder.Path())}, S_OK, -1},
      {12, {CVariant("1011")}, S_OK, -1},
      {12, {CVariant("ready")}, DISP_E_TYPEMISMATCH, 0},
      {1, {CVariant("Ann"), CVariant("fake:yes")}, S_OK, -1},
      {8, {CVariant(int32_t{0})}, S_OK, -1},
      {8, {CVariant(int32_t{1234})}, DISP_E_TYPEMISMATCH, 0},
      {9, {}, S_OK, PHONE_STATUS_IDLE},
  };
  for (const SCase& oCase : aoCases) {
    CVariant vResult;
    EXPECT_EQ(pDispatch->Invoke(oCase.lDispId, oCase.aArgs, vResult), oCase.hrExpected)
        << oCase.lDispId;
    EXPECT_EQ(vResult.GetInt32(), oCase.lResult) << oCase.lDispId;
  }
}

}  // namespace
}  // namespace wdx
