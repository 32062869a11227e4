// The call script: what the callee hears and how the answer is read.
#include "components/rirer2oduvo/calling_thread.h"
#include "components/rirer2oduvo/thread_owner.h"
#include "foundation/process_log.h"
#include "platform/clock.h"
#include "platform/debug_output.h"

namespace wdx::rirer {
namespace {

constexpr int kUnlockRetries = 100;
constexpr uint32_t kSpeechWaitMs = 5000;
constexpr uint32_t kListenMs = 3000;
constexpr int kAnnouncements = 4;
constexpr int kAnnouncementPauseMs = 2000;
constexpr int kListenPasses = 2;
constexpr int kBeforeListeningMs = 200;
constexpr int kAfterPassMs = 100;
constexpr const char* kAskForYes =
    "To acknowledge this call please say: YES! Or press 1. Otherwise, just hang up.";
constexpr const char* kNoAcknowledgement = "Message ends. Goodbye.";

bool Contains(const std::string& sText, const char* szWord) {
  return sText.find(szWord) != std::string::npos;
}

// Length of the valid UTF-8 sequence at uAt, 0 when it is not one.
size_t Utf8SequenceLength(const std::string& sText, size_t uAt) {
  const auto uLead = static_cast<unsigned char>(sText[uAt]);
  size_t uLength = 0;
  uint32_t uMin = 0;
  uint32_t uCode = 0;
  if (uLead < 0x80) return 1;
  if (uLead >= 0xC2 && uLead <= 0xDF) {
    uLength = 2, uMin = 0x80, uCode = uLead & 0x1F;
  } else if (uLead >= 0xE0 && uLead <= 0xEF) {
    uLength = 3, uMin = 0x800, uCode = uLead & 0x0F;
  } else if (uLead >= 0xF0 && uLead <= 0xF4) {
    uLength = 4, uMin = 0x10000, uCode = uLead & 0x07;
  } else {
    return 0;
  }
  if (uAt + uLength > sText.size()) return 0;
  for (size_t i = 1; i < uLength; ++i) {
    const auto uNext = static_cast<unsigned char>(sText[uAt + i]);
    if ((uNext & 0xC0) != 0x80) return 0;
    uCode = (uCode << 6) | (uNext & 0x3F);
  }
  if (uCode < uMin || uCode > 0x10FFFF || (uCode >= 0xD800 && uCode <= 0xDFFF)) return 0;
  return uLength;
}

}  // namespace

std::string SpokenText(const std::string& sText, size_t uMaxChars) {
  std::string sOut;
  size_t uChars = 0;
  for (size_t uAt = 0; uAt < sText.size() && uChars < uMaxChars; ++uChars) {
    const size_t uLength = Utf8SequenceLength(sText, uAt);
    if (uLength == 0) {
      sOut += "\xEF\xBF\xBD";  // U+FFFD for a byte that starts no valid character
      ++uAt;
    } else {
      sOut.append(sText, uAt, uLength);
      uAt += uLength;
    }
  }
  return sOut;
}

bool CCallingThread::CopyMessageForCall() {
  if (!m_oParamLock.Lock(OWNER_LOCK_WAIT_MS)) {
    ZuvLogError("CCallingThread::HandleCall() cannot lock m_oParamLocker.");
    return false;
  }
  m_sMessageBuffer = SpokenText(m_oStrMessageText.GetBuffer(), SPOKEN_TEXT_MAX_CHARS);
  m_oStrMessageTypeCopy.Assign(m_pOwner->m_oStrMessageType);
  if (!m_oParamLock.UnLock(kUnlockRetries)) {
    ZuvLogError("CCallingThread::HandleCall() cannot unlock m_oParamLocker.");
    return false;
  }
  if (m_oStrMessageTypeCopy.IsEmpty()) m_oStrMessageTypeCopy.Assign(DEFAULT_MESSAGE_TYPE);
  m_sTypeBuffer = SpokenText(m_oStrMessageTypeCopy.GetBuffer(), SPOKEN_TEXT_MAX_CHARS);
  return true;
}

HRESULT CCallingThread::SayAndWait(const std::string& sText, uint32_t uFlags) {
  const HRESULT hr = m_cpVoice->Speak(sText, uFlags);
  if (Succeeded(hr)) m_cpVoice->WaitUntilDone(kSpeechWaitMs);
  return hr;
}

HRESULT CCallingThread::Announce() {
  HRESULT hr = S_OK;
  for (int i = 0; i < kAnnouncements && IsConnected() && !Terminating(); ++i) {
    hr = SayAndWait(m_sTypeBuffer, SPF_DEFAULT);
    ServiceSleep(kAnnouncementPauseMs);
  }
  m_cpVoice->WaitUntilDone(kSpeechWaitMs);
  return hr;
}

HRESULT CCallingThread::SpeakMessage() {
  HRESULT hr = SayAndWait("", SPF_PURGEBEFORESPEAK);
  const std::string aTexts[] = {m_sMessageBuffer, "Repeat!", m_sMessageBuffer,
                                m_bAcknowledge ? kAskForYes : kNoAcknowledgement};
  for (const std::string& sText : aTexts) {
    // The callee hung up (or the component is going away): the rest is not spoken.
    if (!IsConnected() || Terminating()) break;
    hr = SayAndWait(sText, SPF_DEFAULT);
  }
  return hr;
}

HRESULT CCallingThread::AnswerRecognized(const std::string& sText, bool& bEndLoop) {
  bEndLoop = true;
  if (Contains(sText, "YES")) {
    const HRESULT hr = SayAndWait("You said YES, Call cycle ends. Bye.", SPF_ASYNC);
    m_bAcknowledged = true;
    return hr;
  }
  if (Contains(sText, "No"))
    return SayAndWait("You said NO, Call cycle continues. Bye.", SPF_ASYNC);
  if (Contains(sText, "GOODBYE") || Contains(sText, "BYE")) {
    return SayAndWait("OK, Call cycle continues. Bye.", SPF_ASYNC);
  }
  if (!IsConnected() || m_lCommandedState == COMMAND_STOP) return S_OK;
  bEndLoop = false;
  return SayAndWait("What?", SPF_DEFAULT);
}

bool CCallingThread::TakeKeypadYes(HRESULT& hr) {
  if (!m_bKeypadYes.exchange(false)) return false;
  ZuvLogEvent("CCallingThread::HandleCall() heard: key 1");
  bool bEndLoop = false;
  hr = AnswerRecognized("YES", bEndLoop);
  return true;
}

HRESULT CCallingThread::ConfirmationLoop(HRESULT hrStep) {
  HRESULT hr = hrStep;
  for (int iPass = 0; m_bAcknowledge && iPass < kListenPasses && m_pCurrentCall && IsConnected() &&
                      m_lCommandedState == COMMAND_RUN && !Terminating();
       ++iPass) {
    ServiceSleep(kBeforeListeningMs);
    if (TakeKeypadYes(hr)) break;  // pressed while the message was spoken
    hr = m_cpCmdGrammar->SetRuleState(true);
    m_cpIncomingRecoCtxt->ClearEvents();
    hr = m_cpIncomingRecoCtxt->WaitForNotifyEvent(kListenMs);
    if (m_bKeypadYes) {
      m_cpCmdGrammar->SetRuleState(false);
      TakeKeypadYes(hr);
      break;
    }
    if (!Succeeded(hr)) {
      m_cpCmdGrammar->SetRuleState(false);
      continue;
    }
    SSpEvent oEvent;
    bool bFetched = false;
    m_cpIncomingRecoCtxt->GetEvents(oEvent, bFetched);
    if (!IsConnected()) break;
    if (bFetched && oEvent.m_iEventId == SPEI_PHRASE_START) {
      hr = m_cpIncomingRecoCtxt->WaitForNotifyEvent(kListenMs);
      if (!IsConnected()) break;
      bFetched = false;
      if (hr == S_OK) m_cpIncomingRecoCtxt->GetEvents(oEvent, bFetched);
    }
    m_cpCmdGrammar->SetRuleState(false);
    if (bFetched && oEvent.m_iEventId == SPEI_RECOGNITION && !oEvent.m_sText.empty()) {
      ZuvLogEvent(("CCallingThread::HandleCall() heard: " + oEvent.m_sText).c_str());
      bool bEndLoop = false;
      hr = AnswerRecognized(oEvent.m_sText, bEndLoop);
      if (bEndLoop) break;
    } else if (IsConnected()) {
      hr = SayAndWait("What?", SPF_DEFAULT);
    }
    ServiceSleep(kAfterPassMs);
  }
  return hr;
}

bool CCallingThread::HandleCall() {
  if (!CopyMessageForCall()) return false;
  HRESULT hr = Announce();
  if (m_pCurrentCall && IsConnected()) hr = SpeakMessage();
  hr = ConfirmationLoop(hr);
  bool bLogged = false;
  if (Succeeded(hr)) {
    if (m_bAcknowledge && !Succeeded(m_cpCmdGrammar->SetRuleState(false))) {
      DebugOutput("CCallingThread::HandleCall() cannot deactivate the grammar.\n");
    }
    if (m_cpMMSysAudioIn) m_cpMMSysAudioIn->SetState(SPAS_CLOSED);
    std::string sLine = std::string(m_oStrContactName.GetBuffer()) + " was phoned at " +
                        m_oStrContactNumber.GetBuffer() + ".";
    if (m_bAcknowledged) sLine += " This person acknowledged the call.";
    ZuvLogMessage(sLine.c_str());
    bLogged = true;
  }
  m_sMessageBuffer.clear();
  ServiceSleep(kAfterPassMs);
  return bLogged;
}

}  // namespace wdx::rirer
