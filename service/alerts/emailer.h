// CEmailer: the e-mail alerts of the operations manager. Reads the e-mail settings and the
// recipient list ("[EMAILS]"), checks them, makes sure the mail server's name resolves (fetching
// the "EmailUrl" page once to bring the connection up when it does not), fills in sender,
// subject and text and hands the message to its CWsEmail.
//
// Threading: used by the operations thread only; one message at a time.
#pragma once

#include <functional>
#include <string>

#include "foundation/zuv_base.h"
#include "service/alerts/ws_email.h"

namespace wdx {

class CAllSets;

inline constexpr int WDX_EMAIL_LIST_SIZE = 128;

class CEmailer final : public CZuvBase {
 public:
  CEmailer() = default;

  bool Initialize(CAllSets* pSettings);
  bool ReloadEmailList();
  bool ValidateSettings(bool bVerbose);
  bool SendAlert(bool bDown);
  bool SendRemoteUrlAlert(bool bFailed, const std::string& sUrl);
  // One message that says it is a test (the console's send-test).
  bool SendTestMessage();
  // Asked while connecting and waiting for replies; true ends the wait (STOP, service stop).
  void SetCancelCheck(std::function<bool()> fnCancelled) {
    m_oSender.SetCancelCheck(std::move(fnCancelled));
  }

  CWsEmail& Sender() { return m_oSender; }

 private:
  bool Send(const char* szSubject, const char* szText);

  CAllSets* m_pSettings = nullptr;
  bool m_bInitialized = false;
  std::string m_sResolvedFor;  // the "SmtpServer" text the sender's address belongs to
  CWsEmail m_oSender;
};

}  // namespace wdx
