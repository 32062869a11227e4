#include "components/rirer2oduvo/calling_thread.h"

#include <vector>

#include "components/rirer2oduvo/phone_engines.h"
#include "components/rirer2oduvo/thread_owner.h"
#include "foundation/process_log.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/file_system.h"

namespace wdx::rirer {
namespace {
// An address inside this library, to find the library's own folder.
void GrammarAnchor() {}
}  // namespace

namespace {

constexpr int kUnlockRetries = 100;
constexpr int kPauseBetweenCallsMs = 3000;

}  // namespace

CCallingThread::CCallingThread(CThreadOwner* pOwner, IPhoneEngines& oEngines)
    : m_pOwner(pOwner),
      m_oEngines(oEngines),
      m_oLedgerLock(LEDGER_LOCK_NAME),
      m_oParamLock(EVENT_PARAM_LOCKER_NAME),
      m_oBeginCallingLock(EVENT_BEGIN_CALLING_NAME) {}

CCallingThread::~CCallingThread() {
  Join();
  ShutdownSapi();
  ShutdownTapi();
}

bool CCallingThread::Resume() {
  if (m_oThread.joinable()) return true;
  try {
    m_oThread = std::thread([this] { InitInstance(); });
  } catch (...) {
    return false;
  }
  return true;
}

void CCallingThread::Join() {
  if (m_oThread.joinable()) m_oThread.join();
}

void CCallingThread::Detach() {
  if (m_oThread.joinable()) m_oThread.detach();
}

void CCallingThread::InitInstance() {
  Initialize();
  m_bInitEnded = true;
  KeepAlive();
  ZuvLogEvent("CCallingThread::InitInstance() calls AfxEndThread");
  m_pOwner->m_bCallingThreadEnded = true;
}

bool CCallingThread::Terminating() const {
  return m_pOwner == nullptr || m_pOwner->m_bTerminateThreads;
}

void CCallingThread::SetWorkingDirectory(const std::string& sFolder) {
  std::lock_guard<std::mutex> oGuard(m_oFolderLock);
  m_sWorkingDirectory = sFolder;
}

std::string CCallingThread::GetWorkingDirectory() const {
  std::lock_guard<std::mutex> oGuard(m_oFolderLock);
  return m_sWorkingDirectory;
}

bool CCallingThread::Initialize() {
  m_bInitialized = false;
  m_bSapiReady = false;
  m_bTapiReady = false;
  ZuvLogEvent("CCallingThread::Initialize() 1");
  if (m_pOwner == nullptr) return false;
  ZuvLogEvent("CCallingThread::Initialize() 2");
  m_pOwner->m_oContactLedger.Initialize();
  ZuvLogEvent("CCallingThread::Initialize() 3");
  if (!Succeeded(InitializeSapi())) {
    ZuvLogError("CCallingThread::Initialize() InitializeSapi failed");
    ZuvLogError("CCallingThread::Initialize() failed.");
    return false;
  }
  m_bSapiReady = true;
  ZuvLogEvent("CCallingThread::Initialize() 4");
  if (!Succeeded(InitializeTapi())) {
    ZuvLogError("CCallingThread::Initialize() InitializeTapi failed");
    ZuvLogError("CCallingThread::Initialize() failed.");
    return false;
  }
  m_bTapiReady = true;
  ZuvLogEvent("CCallingThread::Initialize() 5");
  m_bInitialized = true;
  return true;
}

HRESULT CCallingThread::InitializeSapi() {
  auto fnFail = [](HRESULT hr, const char* szLine) {
    if (szLine != nullptr) ZuvLogError(szLine);
    return Succeeded(hr) ? E_FAIL : hr;
  };
  HRESULT hr = m_oEngines.CreateVoice(m_cpLocalVoice);
  if (!Succeeded(hr) || !m_cpLocalVoice)
    return fnFail(hr, "Could not create a TTS voice on the local machine");
  hr = m_oEngines.CreateRecognizer(m_cpIncomingRecognizer);
  if (!Succeeded(hr) || !m_cpIncomingRecognizer)
    return fnFail(hr, "CoCreateInstance on inproc reco engine failed");
  hr = m_cpIncomingRecognizer->CreateRecoContext(m_cpIncomingRecoCtxt);
  if (!Succeeded(hr) || !m_cpIncomingRecoCtxt)
    return fnFail(hr, "Could not create recognition context");
  const uint64_t uInterest = SpeechEventBit(SPEI_PHRASE_START) | SpeechEventBit(SPEI_RECOGNITION) |
                             SpeechEventBit(SPEI_FALSE_RECOGNITION);
  hr = m_cpIncomingRecoCtxt->SetInterest(uInterest, uInterest);
  if (!Succeeded(hr)) return fnFail(hr, "Could not set interest in SAPI events");
  hr = m_cpIncomingRecoCtxt->SetAudioOptions(true);
  if (!Succeeded(hr)) return fnFail(hr, "Could not set audio options to retain recognized audio");
  hr = m_cpIncomingRecoCtxt->CreateGrammar(0, m_cpCmdGrammar);
  if (!Succeeded(hr) || !m_cpCmdGrammar) return fnFail(hr, nullptr);
  hr = m_cpCmdGrammar->LoadCmdFromFile(GetWorkingDirectory() + GRAMMAR_FILE_NAME, SPLO_STATIC);
  if (hr == SPERR_NOT_FOUND) {
    // A program folder without its own grammar uses the one shipped beside the component.
    const std::string sShipped =
        FolderOf(GetLibraryPathOf(reinterpret_cast<const void*>(&GrammarAnchor))) + GRAMMAR_FILE_NAME;
    hr = m_cpCmdGrammar->LoadCmdFromFile(sShipped, SPLO_STATIC);
  }
  if (!Succeeded(hr)) return fnFail(hr, nullptr);
  hr = m_cpIncomingRecoCtxt->GetVoice(m_cpVoice);
  if (!Succeeded(hr) || !m_cpVoice)
    return fnFail(hr, "Could not create a TTS voice for speaking over the phone");
  return S_OK;
}

HRESULT CCallingThread::InitializeTapi() {
  HRESULT hr = m_oEngines.CreateTelephony(GetWorkingDirectory(), m_pTapi);
  if (!Succeeded(hr) || !m_pTapi) {
    ZuvLogError("CoCreateInstance on TAPI failed");
    m_pTapi.reset();
    return Succeeded(hr) ? E_FAIL : hr;
  }
  hr = m_pTapi->Initialize();
  if (!Succeeded(hr)) {
    ZuvLogError("TAPI failed to initialize");
    m_pTapi.reset();
    return hr;
  }
  return S_OK;
}

void CCallingThread::KeepAlive() {
  CZuvEvent& oEvent = m_pOwner->m_oEventBeginCalling;
  while (!Terminating()) {
    if (!oEvent.Wait()) {
      ZuvLogEvent("CCallingThread::KeepAlive() timed out..");
      // A request fired just after the time-out stays signalled for the next wait.
      oEvent.ClearTimedOut();
      continue;
    }
    ZuvLogEvent("CCallingThread::KeepAlive() COMMAND Event..");
    oEvent.Clear();
    if (Terminating()) break;
    // Taken before the cycle: a request made while it runs starts the next one.
    if (m_bSendRequested.exchange(false)) SendAlerts();
  }
}

bool CCallingThread::TakeContact(bool bFirst, bool& bFound) {
  bFound = false;
  if (!m_oLedgerLock.Lock(LEDGER_LOCK_WAIT_MS)) {
    ZuvLogError("CCallingThread::SendAlerts() cannot lock m_oContactLedger.");
    return false;
  }
  CContactLedger& oLedger = m_pOwner->m_oContactLedger;
  CContact* pContact = bFirst ? oLedger.GetFirst() : oLedger.GetNext();
  if (pContact != nullptr) {
    bFound = true;
    m_oStrContactName.Assign(pContact->m_oStrName);
    m_oStrContactNumber.Assign(pContact->m_oStrNumber);
  }
  if (!m_oLedgerLock.UnLock(kUnlockRetries)) {
    ZuvLogError("CCallingThread::SendAlerts() cannot unlock m_oContactLedger.");
    return false;
  }
  return true;
}

void CCallingThread::PublishFinalStatus(int32_t lFinalStatus) {
  const bool bLocked = m_oBeginCallingLock.Lock(OWNER_LOCK_WAIT_MS);
  m_lProcessingStatus = m_bSendRequested ? STATUS_CALLING : lFinalStatus;
  if (bLocked) m_oBeginCallingLock.UnLock(kUnlockRetries);
}

bool CCallingThread::SendAlerts() {
  m_bAcknowledged = false;
  m_lProcessingStatus = STATUS_CALLING;
  int32_t lStatus = STATUS_IDLE;
  bool bLockFailed = false;
  bool bFound = false;
  if (!Terminating()) {
    bLockFailed = !TakeContact(true, bFound);
    while (!bLockFailed && bFound && m_lCommandedState == COMMAND_RUN && !Terminating()) {
      lStatus = STATUS_CALLING;
      if (!SendMessage(m_oStrContactNumber.GetBuffer())) lStatus = STATUS_CALL_FAILED;
      if (m_bAcknowledged) break;
      bLockFailed = !TakeContact(false, bFound);
      if (!bLockFailed && bFound) ServiceSleep(kPauseBetweenCallsMs);
    }
  }
  int32_t lFinal = STATUS_DONE;
  if (!(m_bAcknowledge && m_bAcknowledged) &&
      (lStatus == STATUS_CALL_FAILED || lStatus == STATUS_IDLE || bLockFailed)) {
    lFinal = STATUS_FAILED;
  }
  PublishFinalStatus(lFinal);
  if (CZuvEvent* pEvent = m_pZuvEvent.load()) {
    if (pEvent->Lock(OWNER_LOCK_WAIT_MS)) {
      pEvent->Fire();
      pEvent->UnLock(kUnlockRetries);
    } else {
      ZuvLogError("ZUV: Cannot lock m_pZuvEvent \n");
    }
  }
  ZuvLogEvent("CCallingThread::SendAlerts() done");
  return true;
}

bool CCallingThread::SendMessage(const std::string& sNumber) {
  const std::string sCallNumber = sNumber;
  ZuvLogEvent("CCallingThread::SendMessage 0");
  if (Terminating() || sCallNumber.empty()) return false;
  if (m_oParamLock.Lock(OWNER_LOCK_WAIT_MS)) {
    if (m_oStrMessageText.IsEmpty()) m_oStrMessageText.Assign(DEFAULT_MESSAGE_TEXT);
    m_oParamLock.UnLock(kUnlockRetries);
  }
  GetCompatibleAddresses();
  if (!m_pAddress) return false;
  HRESULT hr = m_pAddress->CreateCall(sCallNumber, LINEADDRESSTYPE_PHONENUMBER, TAPIMEDIATYPE_AUDIO,
                                      m_pCurrentCall);
  if (!Succeeded(hr) || !m_pCurrentCall) {
    ZuvLogError(("CCallingThread::SendMessage 4: Unable to create a call to " + sCallNumber + ": " +
                 m_oEngines.DescribeResult(hr) + ".")
                    .c_str());
    m_pCurrentCall.reset();
    return false;
  }
  m_bKeypadYes = false;
  hr = m_pCurrentCall->Connect(true);
  if (!Succeeded(hr)) {
    ZuvLogMessage(
        ("CCallingThread::SendMessage 5.2: Unable to connect call at " + sCallNumber).c_str());
    ZuvLogEvent(("CCallingThread::SendMessage 5.2: " + m_oEngines.DescribeResult(hr)).c_str());
    ReleaseTheCall();
    return false;
  }
  if (!Succeeded(SetUpAudio())) {
    // The far end answered: it is not left on the line.
    m_pCurrentCall->Disconnect();
    ReleaseTheCall();
    return false;
  }
  HandleCall();
  m_pCurrentCall->Disconnect();
  ReleaseTheCall();
  return true;
}

HRESULT CCallingThread::GetCompatibleAddresses() {
  m_pAddress.reset();
  std::vector<std::shared_ptr<ITelAddress>> aAddresses;
  const HRESULT hr = m_pTapi ? m_pTapi->EnumerateAddresses(aAddresses) : E_UNEXPECTED;
  if (!Succeeded(hr)) {
    ZuvLogError("Could not find a compatible output device.");
    return hr;
  }
  for (const auto& pAddress : aAddresses) {
    if (Terminating()) break;
    if (pAddress && pAddress->QueryMediaType(TAPIMEDIATYPE_AUDIO) == S_OK) {
      m_pAddress = pAddress;
      break;
    }
  }
  if (!m_pAddress) {
    ZuvLogError("Could not find a compatible address.");
    return E_FAIL;
  }
  return S_OK;
}

void CCallingThread::ShutdownSapi() {
  m_cpMMSysAudioIn.reset();
  m_cpMMSysAudioOut.reset();
  m_cpCmdGrammar.reset();
  m_cpVoice.reset();
  m_cpIncomingRecoCtxt.reset();
  m_cpIncomingRecognizer.reset();
  m_cpLocalVoice.reset();
}

void CCallingThread::ShutdownTapi() {
  m_pCurrentCall.reset();
  m_pAddress.reset();
  if (m_pTapi) m_pTapi->Shutdown();
  m_pTapi.reset();
}

}  // namespace wdx::rirer
