// CPhoner: the service's client of the phone alert component (ZuvRirer2Oduvo.so). The
// operations thread initialises it with the settings, reads the component's readiness, and on
// every change that must be announced sets the spoken message type and sends the up message,
// the down message or a custom text to the enabled contacts: the contact list is rebuilt from
// the settings, the component calls them in order, and CPhoner waits until the round ends and
// tells whether someone was reached. The console's phone test uses the same class for one call.
//
// Threading: one thread (the operations thread, or the console's) uses a CPhoner. Only
// GetPhoneReadyState and the readiness flags may also be used from another thread (the command
// endpoint answers readiness queries): they take the component under a lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "components/rirer2oduvo/irirer2oduvo.h"
#include "foundation/zuv_base.h"

namespace wdx {

class CAllSets;

// Message types: the announcement spoken at the start of each call.
inline constexpr int32_t PHONE_MSG_UPDATE = 1000;
inline constexpr int32_t PHONE_MSG_APP_UP = 1001;
inline constexpr int32_t PHONE_MSG_APP_DOWN = 1002;
inline constexpr int32_t PHONE_MSG_SERVER_UP = 1003;
inline constexpr int32_t PHONE_MSG_SERVER_DOWN = 1004;
inline constexpr int32_t PHONE_MSG_LOCAL_URL_UP = 1005;
inline constexpr int32_t PHONE_MSG_LOCAL_URL_DOWN = 1006;
inline constexpr int32_t PHONE_MSG_REMOTE_URL_UP = 1007;
inline constexpr int32_t PHONE_MSG_REMOTE_URL_DOWN = 1008;

// The phrase of a message type; empty for 1000 and every unknown code.
const char* PhonePhraseOf(int32_t lMessageType);

class CPhoner final : public CZuvBase {
 public:
  // Creates a component; returns it with one reference, or null. The default creates the
  // registered class; tests hand in their own.
  using ComponentFactory = std::function<IRirer2Oduvo*()>;

  CPhoner();
  explicit CPhoner(ComponentFactory fnFactory);
  ~CPhoner() override;

  void SetWorkingDirectory(const std::string& sFolder) { m_oStrWorkingDirectory.Assign(sFolder.c_str()); }
  // Asked while a round is awaited; true stops the round (the component ends it at the next
  // step) and the wait goes on until it has ended.
  void SetCancelCheck(std::function<bool()> fnCancelled) { m_fnCancelled = std::move(fnCancelled); }

  bool Initialize(CAllSets* pSettings);
  IRirer2Oduvo* CreateRirer2Oduvo();
  bool ReCreateRirer2Oduvo();
  bool GetPhoneReadyState();
  // The four readiness answers as last read: call thread, speech, telephony, full readiness.
  void GetReadyFlags(unsigned char aReady[4]) const;
  bool IsReady() const { return m_bFullReady; }

  bool AddPhoneAddress(const std::string& sNumber, const std::string& sName);
  bool DeleteAddresses();
  bool SetMessage(const std::string& sText);
  bool SetMessageType(int32_t lCode);
  bool SetAcknowledge(bool bAcknowledge);
  bool SendAlerts();
  bool SetUpPhoner();
  void WaitForCallCompletion();

  bool SendUpMessage();
  bool SendDownMessage();
  bool SendCustomMessage(const std::string& sText);
  // One test call to one number with the given message (the console's phone test); true when
  // the round ended with someone reached.
  bool SendTestCall(const std::string& sName, const std::string& sNumber, const std::string& sText);

  int32_t GetLastDeliveredKind() const { return m_lLastDeliveredKind; }
  int32_t GetProcessingStatus();
  bool GetAcknowledged();
  void Release();

 private:
  // Loads the contacts (fnSetUp), sends sText and waits for the round; writes the delivered
  // line (sDelivered + text + "'.") once the round has ended, true when it ended with status 1002.
  bool Announce(const std::function<bool()>& fnSetUp, const std::string& sText,
                const std::string& sDelivered, int32_t lKind);
  bool AnyContactEnabled() const;
  // The component with a reference of the caller's, or null.
  IRirer2Oduvo* AcquireComponent() const;
  // How long a round may take before the wait gives up: calls of every contact with their
  // rings, words and pauses, generously.
  int WaitLimitMs() const;

  ComponentFactory m_fnFactory;
  CZuvStr m_oStrWorkingDirectory;
  CAllSets* m_pSettings = nullptr;
  int32_t m_lLastMessageType = PHONE_MSG_UPDATE;
  std::atomic<bool> m_bCallThreadReady{false};
  std::atomic<bool> m_bSapiReady{false};
  std::atomic<bool> m_bTapiReady{false};
  std::atomic<bool> m_bFullReady{false};
  mutable std::mutex m_oComponentLock;  // guards the pointer, not the calls
  IRirer2Oduvo* m_pRirer2Oduvo = nullptr;
  int32_t m_lLastDeliveredKind = 0;
  bool m_bInitialized = false;
  int m_iContactsLoaded = 0;
  std::function<bool()> m_fnCancelled;
};

}  // namespace wdx
