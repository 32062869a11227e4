// A phone alert object on scripted engines in a temporary folder of its own, with the calls a
// client makes and the checks the component's tests share. Pauses take no time (a fake clock).
//
// Threading: one test thread; the object's own threads run the calls.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "components/rirer2oduvo/fake_phone_engines.h"
#include "components/rirer2oduvo/rirer2oduvo.h"
#include "platform/fake_clock.h"
#include "tests/support/temp_folder.h"

namespace wdx::test {

using Strings = std::vector<std::string>;

inline constexpr const char* kMessage = "The web server stopped answering.";
inline constexpr const char* kAskForYes =
    "To acknowledge this call please say: YES! Or press 1. Otherwise, just hang up.";

// One object in a folder of its own: on scripted engines where pauses take no time, or on the
// engines and the clock a test hands in (then the test puts the grammar in the folder).
class CPhoneRig final {
 public:
  explicit CPhoneRig(bool bWithGrammar = true, rirer::IPhoneEngines* pEngines = nullptr,
                     IClock* pClock = nullptr) {
    m_oFolder.UseForLocks();
    SetClockForTesting(pClock != nullptr ? pClock : &m_oClock);
    if (bWithGrammar && pEngines == nullptr) m_oFolder.Write("grammer1.cfg", "#JSGF V1.0;\n");
    m_pObject = new CRirer2Oduvo(pEngines != nullptr ? *pEngines : m_oEngines);
    m_pObject->AddRef();
  }
  ~CPhoneRig() {
    Release();
    SetClockForTesting(nullptr);
  }
  CPhoneRig(const CPhoneRig&) = delete;
  CPhoneRig& operator=(const CPhoneRig&) = delete;

  void Release() {
    if (m_pObject != nullptr) m_pObject->Release();
    m_pObject = nullptr;
  }
  int32_t Init() {
    int32_t lResult = 1;
    EXPECT_EQ(m_pObject->Initialize(CVariant(m_oFolder.Path()), &lResult), S_OK);
    return lResult;
  }
  int32_t Query(int32_t lQuery) {
    int32_t lAnswer = 1;
    m_pObject->GetInitStatus(&lQuery, &lAnswer);
    return lAnswer;
  }
  int32_t Status() {
    int32_t lStatus = 0;
    m_pObject->GetProcessingStatus(&lStatus);
    return lStatus;
  }
  int32_t Acknowledged() {
    int32_t lResult = 1;
    m_pObject->GetAcknowledgedStatus(&lResult);
    return lResult;
  }
  // Loads the contacts ("Name=number"), the flags and the message as a client does.
  void SetUp(bool bAcknowledge, const Strings& aContacts, const std::string& sMessage = kMessage) {
    int32_t lResult = 0;
    m_pObject->SetAcknowledgeState(CVariant(bAcknowledge), &lResult);
    EXPECT_EQ(lResult, -1);
    m_pObject->DeleteAddresses(&lResult);
    EXPECT_EQ(lResult, -1);
    for (const std::string& sContact : aContacts) {
      const size_t uAt = sContact.find('=');
      m_pObject->AddAddress(CVariant(sContact.substr(0, uAt)), CVariant(sContact.substr(uAt + 1)),
                            &lResult);
      EXPECT_EQ(lResult, -1) << sContact;
    }
    m_pObject->MessageType(CVariant("Server is down."), &lResult);
    EXPECT_EQ(lResult, -1);
    m_pObject->SetMessage1(CVariant(sMessage));
  }
  int32_t Send() {
    int32_t lResult = 1;
    m_pObject->SendAlerts(&lResult);
    return lResult;
  }
  // Polls until the cycle no longer shows "calling"; the final status.
  int32_t WaitForEnd() {
    const auto oDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
    while (Status() == PHONE_STATUS_CALLING && std::chrono::steady_clock::now() < oDeadline) {
      usleep(2000);
    }
    return Status();
  }
  std::string Log() const { return m_oFolder.Read("PhoneOuts.log"); }
  // Entries of the log of one kind (" Message: ", " Error: ", " (event): ") holding exactly sText.
  bool Has(const char* szKind, const std::string& sText) const {
    return Log().find(szKind + sText + "\r\r\n") != std::string::npos;
  }
  // Waits (up to 240 s) until the log holds the entry; true when it does.
  bool WaitForEntry(const char* szKind, const std::string& sText) const {
    const auto oDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
    while (!Has(szKind, sText) && std::chrono::steady_clock::now() < oDeadline) usleep(5000);
    return Has(szKind, sText);
  }
  Strings Spoken() { return m_oEngines.m_oWorld.Spoken(); }
  Strings Dialled() { return m_oEngines.m_oWorld.Dialled(); }
  int CountSpoken(const std::string& sLine) {
    const Strings aSpoken = Spoken();
    return static_cast<int>(std::count(aSpoken.begin(), aSpoken.end(), sLine));
  }

  CTempFolder m_oFolder;
  CFakeClock m_oClock;
  rirer::test::CFakePhoneEngines m_oEngines;
  CRirer2Oduvo* m_pObject = nullptr;
};

}  // namespace wdx::test
