// CCallingThread: the worker that places the phone calls. It starts the speech engines (a local
// voice that proves synthesis works, an in-process recogniser with its context, the command
// grammar "grammer1.cfg" of the working directory and the context's voice for the line) and the
// telephony object, then sleeps on the owner's "EventBeginCalling" until a send request wakes
// it. A calling cycle walks the contact ledger: for each person it finds a line that carries
// audio, dials, routes the call's wave devices to the voice and the recogniser, runs the call
// script (HandleCall: the announcement, the message twice and, when acknowledgement is on, up
// to two listening windows for "YES"), hangs up, and goes on to the next person 3 s later
// unless someone acknowledged.
//
// Processing status: a cycle shows PHONE_STATUS_CALLING from the moment its request is handed
// over until it ends; its end shows PHONE_STATUS_DONE or PHONE_STATUS_FAILED (or CALLING again
// when a further request is already waiting). The per-attempt values (idle, call failed) only
// decide the final one.
//
// Threading: the worker thread runs everything here except the fields the object and the event
// thread touch: the atomics (read afresh at every test), the message text (under the named lock
// "EventParamLocker") and the working directory (under its own mutex).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "foundation/zuv_base.h"
#include "foundation/zuv_event.h"
#include "foundation/zuv_str.h"
#include "platform/speech/speech.h"
#include "platform/telephony/telephony.h"

namespace wdx::rirer {

class CThreadOwner;
class IPhoneEngines;

inline constexpr int32_t COMMAND_RUN = 1000;
inline constexpr int32_t COMMAND_STOP = 1001;
inline constexpr int32_t STATUS_IDLE = 1000;
inline constexpr int32_t STATUS_CALLING = 1001;
inline constexpr int32_t STATUS_DONE = 1002;
inline constexpr int32_t STATUS_CALL_FAILED = 1003;
inline constexpr int32_t STATUS_FAILED = 1004;

inline constexpr const char* GRAMMAR_FILE_NAME = "grammer1.cfg";
inline constexpr const char* DEFAULT_MESSAGE_TEXT =
    "We have a wardenize alert but no message was specified in its setup.";
inline constexpr const char* DEFAULT_MESSAGE_TYPE = "Server Update!";
// Characters of the message (and of the type phrase) that are spoken; the rest is not.
inline constexpr size_t SPOKEN_TEXT_MAX_CHARS = 255;

class CCallingThread final {
 public:
  CCallingThread(CThreadOwner* pOwner, IPhoneEngines& oEngines);
  // Joins an ended thread, then shuts speech and telephony down.
  ~CCallingThread();
  CCallingThread(const CCallingThread&) = delete;
  CCallingThread& operator=(const CCallingThread&) = delete;

  // Starts the thread (Initialize, then KeepAlive until the terminate flag); false when the
  // system refuses a thread.
  bool Resume();
  void Join();
  void Detach();

  bool Initialize();
  HRESULT InitializeSapi();
  HRESULT InitializeTapi();
  void KeepAlive();
  // One calling cycle; true when it ran to its end.
  bool SendAlerts();
  // One call; true when it was connected and handled.
  bool SendMessage(const std::string& sNumber);
  HRESULT GetCompatibleAddresses();
  HRESULT SetUpAudio();
  HRESULT SetAudioOutForCall();
  HRESULT SetAudioInForCall();
  // The call script; true when the "was phoned at" line was written.
  bool HandleCall();
  void ReleaseTheCall();
  void ShutdownSapi();
  void ShutdownTapi();

  void SetWorkingDirectory(const std::string& sFolder);
  std::string GetWorkingDirectory() const;
  // Shows the cycle as running unless none is running or waiting (under the begin-calling lock).
  void PublishFinalStatus(int32_t lFinalStatus);

  CThreadOwner* m_pOwner;
  CZuvStr m_oStrMessageText;  // under "EventParamLocker"
  std::atomic<int32_t> m_lCallState{CS_IDLE};
  std::atomic<bool> m_bAcknowledge{false};
  std::atomic<int32_t> m_lCommandedState{COMMAND_RUN};
  std::atomic<bool> m_bSapiReady{false};
  std::atomic<bool> m_bTapiReady{false};
  std::atomic<bool> m_bSendRequested{false};
  std::atomic<bool> m_bAcknowledged{false};
  // The callee pressed 1 on the current call (set by the event thread, cleared at each dialling).
  std::atomic<bool> m_bKeypadYes{false};
  std::atomic<CZuvEvent*> m_pZuvEvent{nullptr};
  std::atomic<int32_t> m_lProcessingStatus{STATUS_IDLE};
  // Set when Initialize has ended, whatever its outcome.
  std::atomic<bool> m_bInitEnded{false};
  bool m_bInitialized = false;

  // Telephony and speech objects of the worker.
  std::unique_ptr<ITelephony> m_pTapi;
  std::shared_ptr<ITelAddress> m_pAddress;
  std::shared_ptr<ITelCall> m_pCurrentCall;
  std::shared_ptr<CSpAudioOut> m_cpMMSysAudioOut;
  std::shared_ptr<CSpAudioIn> m_cpMMSysAudioIn;
  std::shared_ptr<ISpVoice> m_cpLocalVoice;
  std::shared_ptr<ISpVoice> m_cpVoice;
  std::shared_ptr<ISpRecognizer> m_cpIncomingRecognizer;
  std::shared_ptr<ISpRecoContext> m_cpIncomingRecoCtxt;
  std::shared_ptr<ISpRecoGrammar> m_cpCmdGrammar;

  // The call being made.
  std::string m_sMessageBuffer;
  std::string m_sTypeBuffer;
  CZuvStr m_oStrMessageTypeCopy;
  CZuvStr m_oStrContactName;
  CZuvStr m_oStrContactNumber;

 private:
  void InitInstance();
  bool Terminating() const;
  bool IsConnected() const { return m_lCallState == CS_CONNECTED; }
  // Copies the current contact (or reports none) under the ledger lock; false on a lock failure.
  bool TakeContact(bool bFirst, bool& bFound);
  // The script's parts (call_script.cc).
  bool CopyMessageForCall();
  HRESULT SayAndWait(const std::string& sText, uint32_t uFlags);
  HRESULT Announce();
  HRESULT SpeakMessage();
  // True (and the answer given) when the callee has pressed 1.
  bool TakeKeypadYes(HRESULT& hr);
  HRESULT ConfirmationLoop(HRESULT hrStep);
  HRESULT AnswerRecognized(const std::string& sText, bool& bEndLoop);

  IPhoneEngines& m_oEngines;
  mutable std::mutex m_oFolderLock;
  std::string m_sWorkingDirectory;
  // This thread's holds on the named locks it shares with the object.
  CZuvBase m_oLedgerLock;
  CZuvBase m_oParamLock;
  CZuvBase m_oBeginCallingLock;
  std::thread m_oThread;
};

// The text as the call speaks it: invalid UTF-8 replaced by U+FFFD, then cut to uMaxChars
// characters (not bytes).
std::string SpokenText(const std::string& sText, size_t uMaxChars);

}  // namespace wdx::rirer
