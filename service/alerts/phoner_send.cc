// The sending half of CPhoner: the contact list, the message, one round and its wait.
#include <string>

#include "foundation/process_log.h"
#include "platform/clock.h"
#include "service/alerts/phoner.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

constexpr int kPollMs = 5000;
constexpr int kPollSliceMs = 250;
// A round's worst case per contact: the longest ring, the whole script with its waits and the
// pause before the next contact; and a margin for the round.
constexpr int kContactAllowanceMs = 240'000;
constexpr int kRoundAllowanceMs = 60'000;

}  // namespace

bool CPhoner::AddPhoneAddress(const std::string& sNumber, const std::string& sName) {
  ZuvLogEvent("CPhoner::AddPhoneAddress 1.");
  ZuvLogEvent(("CPhoner::AddPhoneAddress name:" + sName + ", No: " + sNumber).c_str());
  IRirer2Oduvo* pComponent = AcquireComponent();
  int32_t lResult = 0;
  if (pComponent != nullptr) {
    pComponent->AddAddress(CVariant(sName), CVariant(sNumber), &lResult);
    pComponent->Release();
  }
  if (lResult != -1) {
    ZuvLogError("CPhoner::AddPhoneAddress failed.");
    return false;
  }
  ++m_iContactsLoaded;
  return true;
}

bool CPhoner::DeleteAddresses() {
  IRirer2Oduvo* pComponent = AcquireComponent();
  if (pComponent == nullptr) return false;
  int32_t lResult = 0;
  pComponent->DeleteAddresses(&lResult);
  pComponent->Release();
  if (lResult == -1) m_iContactsLoaded = 0;
  return lResult == -1;
}

bool CPhoner::SetMessage(const std::string& sText) {
  ZuvLogEvent(("CPhoner::SetMessage " + sText).c_str());
  if (IRirer2Oduvo* pComponent = AcquireComponent()) {
    pComponent->SetMessage1(CVariant(sText));
    pComponent->Release();
  }
  return true;
}

bool CPhoner::SetMessageType(int32_t lCode) {
  m_lLastMessageType = lCode;
  WaitForCallCompletion();
  const std::string sPhrase = PhonePhraseOf(lCode);
  ZuvLogEvent(("CPhoner::SetMessageType: " + sPhrase).c_str());
  if (IRirer2Oduvo* pComponent = AcquireComponent()) {
    int32_t lResult = 0;
    pComponent->MessageType(CVariant(sPhrase), &lResult);
    pComponent->Release();
  }
  return true;
}

bool CPhoner::SetAcknowledge(bool bAcknowledge) {
  IRirer2Oduvo* pComponent = AcquireComponent();
  if (pComponent == nullptr) return false;
  int32_t lResult = 0;
  pComponent->SetAcknowledgeState(CVariant(bAcknowledge), &lResult);
  pComponent->Release();
  return lResult == -1;
}

bool CPhoner::SendAlerts() {
  ZuvLogEvent("CPhoner::SendAlerts() 1.");
  IRirer2Oduvo* pComponent = AcquireComponent();
  int32_t lResult = 0;
  if (pComponent != nullptr) {
    // A round that an earlier wait had to stop left the component commanded to stop.
    int32_t lIgnored = 0;
    pComponent->SetProcessingState(&PHONE_COMMAND_RUN, &lIgnored);
    pComponent->SendAlerts(&lResult);
    pComponent->Release();
  }
  if (lResult != -1) {
    ZuvLogError("CPhoner::SendAlerts() failed.");
    return false;
  }
  ZuvLogEvent("CPhoner::SendAlerts() succeeded.");
  return true;
}

bool CPhoner::SetUpPhoner() {
  ZuvLogEvent("CPhoner::SetUpPhoner() 0.");
  if (!m_bInitialized || m_pSettings == nullptr) {
    ZuvLogError("CPhoner::SetUpPhoner() failed.");
    return false;
  }
  ZuvLogEvent("CPhoner::SetUpPhoner() 1.");
  const bool bAck = SetAcknowledge(m_pSettings->m_bPhoneAck);
  ZuvLogEvent("CPhoner::SetUpPhoner() 2.");
  if (!bAck || !DeleteAddresses()) {
    ZuvLogError("CPhoner::SetUpPhoner() failed.");
    return false;
  }
  ZuvLogEvent("CPhoner::SetUpPhoner() 3.");
  ZuvLogEvent("CPhoner::SetUpPhoner() 4.");
  for (int i = 0; i < WDX_PHONE_CONTACTS; ++i) {
    if (!m_pSettings->m_abPhoneEnabled[i]) continue;
    ZuvLogEvent("CPhoner::SetUpPhoner() 5.");
    if (!AddPhoneAddress(m_pSettings->m_aoStrPhoneNumber[i].GetBuffer(),
                         m_pSettings->m_aoStrPhoneName[i].GetBuffer())) {
      ZuvLogError("CPhoner::SetUpPhoner() failed.");
      return false;
    }
    ZuvLogEvent("CPhoner::SetUpPhoner() 6.");
  }
  ZuvLogEvent("CPhoner::SetUpPhoner() 7.");
  ZuvLogEvent("CPhoner::SetUpPhoner() 8.");
  ZuvLogEvent("CPhoner::SetUpPhoner() succeeded.");
  return true;
}

int CPhoner::WaitLimitMs() const {
  return kRoundAllowanceMs + std::max(1, m_iContactsLoaded) * kContactAllowanceMs;
}

void CPhoner::WaitForCallCompletion() {
  int iWaitedMs = 0;
  bool bStopSent = false;
  while (GetProcessingStatus() == PHONE_STATUS_CALLING) {
    ZuvLogEvent("CPhoner::WaitForCallCompletion waits 5 sec.");
    for (int iSlept = 0; iSlept < kPollMs; iSlept += kPollSliceMs) {
      ServiceSleep(kPollSliceMs);
      const bool bCancelled = m_fnCancelled && m_fnCancelled();
      if (!bStopSent && (bCancelled || iWaitedMs + iSlept >= WaitLimitMs())) {
        if (!bCancelled) ZuvLogError("CPhoner::WaitForCallCompletion: the call round overran its time; it is stopped.");
        if (IRirer2Oduvo* pComponent = AcquireComponent()) {
          int32_t lIgnored = 0;
          pComponent->SetProcessingState(&PHONE_COMMAND_STOP, &lIgnored);
          pComponent->Release();
        }
        bStopSent = true;
      }
    }
    iWaitedMs += kPollMs;
  }
}

bool CPhoner::AnyContactEnabled() const {
  if (m_pSettings == nullptr) return false;
  for (int i = 0; i < WDX_PHONE_CONTACTS; ++i) {
    if (m_pSettings->m_abPhoneEnabled[i]) return true;
  }
  return false;
}

bool CPhoner::Announce(const std::function<bool()>& fnSetUp, const std::string& sText,
                       const std::string& sDelivered, int32_t lKind) {
  WaitForCallCompletion();
  if (!fnSetUp() || !SetMessage(sText) || !SendAlerts()) return false;
  WaitForCallCompletion();
  const int32_t lStatus = GetProcessingStatus();
  m_lLastDeliveredKind = lKind;
  ZuvLogMessage((sDelivered + sText + "'.").c_str());
  return lStatus == PHONE_STATUS_DONE;
}

bool CPhoner::SendUpMessage() {
  ZuvLogEvent("CPhoner::SendUpMessage() 0.");
  if (!AnyContactEnabled()) return true;
  if (Announce([this] { return SetUpPhoner(); }, m_pSettings->m_oStrMsgUp.GetBuffer(),
               "Delivered Phone Message:  'Server Up: ", PHONE_MSG_SERVER_UP)) {
    return true;
  }
  ZuvLogError("CPhoner::SendUpMessage() failed.");
  return false;
}

bool CPhoner::SendDownMessage() {
  ZuvLogEvent("CPhoner::SendDownMessage() 0.");
  if (!AnyContactEnabled()) return true;
  if (Announce([this] { return SetUpPhoner(); }, m_pSettings->m_oStrMsgDown.GetBuffer(),
               "Delivered Phone Message:  'Server Down: ", PHONE_MSG_SERVER_DOWN)) {
    return true;
  }
  ZuvLogError("CPhoner::SendDownMessage() failed.");
  return false;
}

bool CPhoner::SendCustomMessage(const std::string& sText) {
  ZuvLogEvent("CPhoner::SendCustomMessage() 0.");
  if (!sText.empty()) {
    if (!AnyContactEnabled()) return true;
    if (Announce([this] { return SetUpPhoner(); }, sText, "Delivered Phone Message: '",
                 m_lLastMessageType)) {
      return true;
    }
  }
  ZuvLogError("CPhoner::SendCustomMessage() failed.");
  return false;
}

bool CPhoner::SendTestCall(const std::string& sName, const std::string& sNumber,
                           const std::string& sText) {
  ZuvLogEvent("CPhoner::SendTestCall() 0.");
  const auto fnSetUp = [&] {
    const bool bAck = SetAcknowledge(m_pSettings != nullptr && m_pSettings->m_bPhoneAck);
    return bAck && DeleteAddresses() && AddPhoneAddress(sNumber, sName);
  };
  if (m_bInitialized && Announce(fnSetUp, sText, "Delivered Phone Message: '", m_lLastMessageType)) {
    return true;
  }
  ZuvLogError("CPhoner::SendTestCall() failed.");
  return false;
}

}  // namespace wdx
