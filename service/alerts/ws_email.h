// CWsEmail: the mail sender. Resolves the mail server's name, runs the SMTP dialogue of one
// message (one connection per message) and logs every line it sends and every reply it reads.
//
// "SmtpServer" is a host name, an IPv4 address or an IPv6 address, with ":port" (default 25);
// an IPv6 address with a port is written in brackets ("[::1]:2525"). Security "none" speaks
// plain SMTP with HELO; "starttls" and "tls" greet with EHLO, encrypt the connection (the
// certificate checked against the system CA store) and log in with AUTH PLAIN or LOGIN when a
// user is set.
//
// Connecting and each wait for a reply are bounded (30 s by default); a cancel check given by
// the caller (STOP, service stop) ends a wait early, and the step counts as failed.
//
// Threading: one sender is used by one thread, one message at a time.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "foundation/array_str.h"
#include "foundation/zuv_base.h"
#include "foundation/zuv_str.h"
#include "service/alerts/smtp_link.h"

namespace wdx {

inline constexpr int WDX_SMTP_RECIPIENTS = 32;
inline constexpr int WDX_SMTP_DEFAULT_PORT = 25;
inline constexpr int WDX_SMTP_TIMEOUT_MS = 30000;
inline constexpr int WDX_SMTP_RECEIVE_BYTES = 2040;

enum class ESmtpSecurity { kNone, kStartTls, kTls };

class CWsEmail final : public CZuvBase {
 public:
  CWsEmail();
  ~CWsEmail() override;

  bool Reset();
  bool ResolveNameToIp(const char* szName);
  bool SendList();
  bool SendZuvStr(const char* szText);
  bool ReceiveAck(const char* szCode);
  void FormatDate();
  bool IsInternetConnected(const char* szUrl);
  // Connects and waits for the greeting only; sends no command. m_oStrResult tells the outcome.
  bool TestOutput();

  // Parses "host", "host:port", "[v6]:port" or a bare IPv6 address; false for a bad port.
  static bool SplitServer(const std::string& sServer, std::string& sHost, int& iPort);
  // The zone offset of the local time, "+0545" or "-0600".
  static std::string ZoneOffset(long lSecondsEast);
  // Lines beginning with "." get the dot doubled.
  static std::string DotStuffed(const std::string& sText);
  // "none" (also ""), "starttls", "tls"; false for anything else.
  static bool ParseSecurity(const std::string& sText, ESmtpSecurity& eSecurity);

  void SetCancelCheck(std::function<bool()> fnCancelled);
  void SetTimeouts(int iConnectMs, int iReceiveMs);

  CZuvStr m_oStrSenderName;
  CZuvStr m_oStrSenderAddress;
  CZuvStr m_oStrCurrentRecipient;
  CZuvStr m_oStrSubject;
  CZuvStr m_oStrBody;
  std::unique_ptr<CArrayStr> m_pRecipients;
  CZuvStr m_oStrMailFromLine;
  CZuvStr m_oStrRecipientLine;
  CZuvStr m_oStrDateLine;
  CZuvStr m_oStrSubjectLine;
  CZuvStr m_oStrFromLine;
  CZuvStr m_oStrToLine;
  CZuvStr m_oStrServerName;
  CZuvStr m_oStrServerAddress;
  CZuvStr m_oStrDate;
  CZuvStr m_oStrLastReply;
  CZuvStr m_oStrResult;
  bool m_bInitialized = false;
  bool m_bReceived = false;  // whether the last ReceiveAck read any bytes

  ESmtpSecurity m_eSecurity = ESmtpSecurity::kNone;
  std::string m_sUser;
  std::string m_sPassword;
  std::string m_sCaFile;  // "" = the system CA store

 private:
  int UsedRecipients();
  bool HasLineBreaks(int iCount);
  bool Dialogue(int iCount);
  bool Greet();
  bool Authenticate(const std::string& sEhloReply);
  // Reads one whole (possibly multi-line) reply; true when its code is szCode.
  bool ReadReply(const char* szCode, std::string& sReply);
  bool SendSecret(const std::string& sText);
  bool Send(const std::string& sText) { return SendZuvStr(sText.c_str()); }
  void LogFailure();

  CSmtpLink m_oLink;
  int m_iPort = WDX_SMTP_DEFAULT_PORT;
  std::string m_sHost;  // the server name without its port
  int m_iConnectMs = WDX_SMTP_TIMEOUT_MS;
  int m_iReceiveMs = WDX_SMTP_TIMEOUT_MS;
  std::function<bool()> m_fnCancelled;
};

}  // namespace wdx
