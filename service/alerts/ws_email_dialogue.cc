// The SMTP dialogue of CWsEmail: one message, one connection.
#include <openssl/evp.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "foundation/process_log.h"
#include "service/alerts/ws_email.h"

namespace wdx {
namespace {

constexpr size_t kMaxReplyBytes = 64 * 1024;

std::string Base64(const std::string& sText) {
  std::vector<unsigned char> oOut(4 * ((sText.size() + 2) / 3) + 1);
  const int iLength =
      EVP_EncodeBlock(oOut.data(), reinterpret_cast<const unsigned char*>(sText.data()),
                      static_cast<int>(sText.size()));
  return std::string(reinterpret_cast<char*>(oOut.data()), static_cast<size_t>(iLength));
}

bool HasBreak(const char* szText) {
  return std::strpbrk(szText, "\r\n") != nullptr;
}

}  // namespace

std::string CWsEmail::DotStuffed(const std::string& sText) {
  std::string sOut;
  sOut.reserve(sText.size() + 8);
  for (size_t i = 0; i < sText.size(); ++i) {
    if (sText[i] == '.' && (i == 0 || sText[i - 1] == '\n')) sOut += '.';
    sOut += sText[i];
  }
  return sOut;
}

int CWsEmail::UsedRecipients() {
  int iCount = 0;
  while (m_pRecipients && iCount < m_pRecipients->GetSize() &&
         m_pRecipients->GetAt(iCount) != nullptr && m_pRecipients->GetAt(iCount)[0] != '\0') {
    ++iCount;
  }
  return iCount;
}

bool CWsEmail::HasLineBreaks(int iCount) {
  bool bBreak = HasBreak(m_oStrSubject.c_str()) || HasBreak(m_oStrSenderAddress.c_str()) ||
                HasBreak(m_oStrSenderName.c_str());
  for (int i = 0; i < iCount; ++i) bBreak = bBreak || HasBreak(m_pRecipients->GetAt(i));
  if (bBreak) {
    ZuvLogError(
        "CWsEmail::SendList() refused: the subject, the sender or a recipient holds a line break.");
  }
  return bBreak;
}

void CWsEmail::LogFailure() {
  ZuvLogError((std::string("Failure sending email to ") + m_oStrRecipientLine.c_str()).c_str());
  ZuvLogError((std::string("Email content was: ") + m_oStrBody.c_str()).c_str());
}

bool CWsEmail::SendList() {
  const int iCount = UsedRecipients();
  if (iCount == 0 || HasLineBreaks(iCount)) {
    LogFailure();
    return false;
  }
  const std::string sAddress = m_oStrSenderAddress.c_str();
  m_oStrMailFromLine.Assign(("Mail From:<" + sAddress + "> \r\n").c_str());
  m_oStrFromLine.Assign(
      (m_oStrSenderName.IsEmpty()
           ? "From:<" + sAddress + "> \r\n"
           : "From: " + std::string(m_oStrSenderName.c_str()) + " <" + sAddress + "> \r\n")
          .c_str());
  FormatDate();
  m_oStrDateLine.Assign((std::string("Date: ") + m_oStrDate.c_str() + " \r\n").c_str());
  m_oStrSubjectLine.Assign((std::string("Subject: ") + m_oStrSubject.c_str() + "\r\n").c_str());
  m_oStrBody += "\r\n";
  ZuvLogEvent("CWsEmail::SendList() 3");
  ZuvLogEvent("CWsEmail::SendList() 4");
  if (!m_oLink.Connect(m_oStrServerAddress.c_str(), m_iPort, m_iConnectMs)) {
    ZuvLogError(("CWsEmail::SendList() connect() failed: " + m_oLink.GetError()).c_str());
    LogFailure();
    return false;
  }
  ZuvLogEvent("CWsEmail::SendList() 5");
  const bool bSent = Dialogue(iCount);
  if (bSent) {
    ZuvLogMessage((std::string("Email sent to ") + m_oStrRecipientLine.c_str()).c_str());
    ZuvLogMessage((std::string("Email content was: ") + m_oStrBody.c_str()).c_str());
  }
  m_oLink.Close();
  if (bSent) {
    ZuvLogEvent("CWsEmail::SendList() sent message.");
    return true;
  }
  LogFailure();
  return false;
}

bool CWsEmail::Dialogue(int iCount) {
  const bool bPlain = m_eSecurity == ESmtpSecurity::kNone;
  std::string sReply;
  auto Await = [&](const char* szCode) {
    return bPlain ? ReceiveAck(szCode) : ReadReply(szCode, sReply);
  };
  if (!Greet() || !Send(m_oStrMailFromLine.c_str()) || !Await("250")) return false;
  for (int i = 0; i < iCount; ++i) {
    m_oStrRecipientLine.Assign(
        (std::string("Rcpt To:<") + m_pRecipients->GetAt(i) + "> \r\n").c_str());
    if (!Send(m_oStrRecipientLine.c_str()) || !Await("250")) return false;
  }
  if (!Send("DATA \r\n")) return false;
  if (bPlain) {
    // A wait that got nothing (time-out, closed) is not repeated: nothing more will come.
    for (int i = 0; i < 5 && !ReceiveAck("354") && m_bReceived; ++i) {
    }
  } else if (!Await("354")) {
    return false;
  }
  std::string sTo = std::string("To: ") + m_pRecipients->GetAt(0);
  for (int i = 1; i < iCount; ++i) sTo += std::string(" , ") + m_pRecipients->GetAt(i);
  m_oStrToLine.Assign((sTo + " \r\n").c_str());
  if (!Send(m_oStrFromLine.c_str()) || !Send(m_oStrDateLine.c_str()) ||
      !Send("X-Mailer: SMTP Sender \r\n") || !Send(m_oStrToLine.c_str()) ||
      !Send(m_oStrSubjectLine.c_str()) || !Send("\r\n") || !Send(DotStuffed(m_oStrBody.c_str())) ||
      !Send(".\r\n") || !Await("250") || !Send("QUIT\r\n")) {
    return false;
  }
  if (!bPlain) {
    ReadReply("221", sReply);
  } else {
    for (int i = 0; i < 5 && !ReceiveAck("221") && m_bReceived; ++i) {
    }
  }
  return true;
}

bool CWsEmail::Greet() {
  if (m_eSecurity == ESmtpSecurity::kNone) {
    return ReceiveAck("220") && Send("HELO server \r\n") && ReceiveAck("250");
  }
  std::string sReply;
  if (m_eSecurity == ESmtpSecurity::kTls && !m_oLink.StartTls(m_sHost, m_sCaFile, m_iConnectMs)) {
    ZuvLogError(("CWsEmail::SendList() TLS failed: " + m_oLink.GetError()).c_str());
    return false;
  }
  char szHost[256] = "localhost";
  if (gethostname(szHost, sizeof(szHost) - 1) != 0) std::strcpy(szHost, "localhost");
  const std::string sEhlo = std::string("EHLO ") + szHost + "\r\n";
  if (!ReadReply("220", sReply) || !Send(sEhlo) || !ReadReply("250", sReply)) return false;
  if (m_eSecurity == ESmtpSecurity::kStartTls) {
    if (!Send("STARTTLS\r\n") || !ReadReply("220", sReply)) return false;
    if (!m_oLink.StartTls(m_sHost, m_sCaFile, m_iConnectMs)) {
      ZuvLogError(("CWsEmail::SendList() TLS failed: " + m_oLink.GetError()).c_str());
      return false;
    }
    if (!Send(sEhlo) || !ReadReply("250", sReply)) return false;
  }
  return m_sUser.empty() || Authenticate(sReply);
}

bool CWsEmail::Authenticate(const std::string& sEhloReply) {
  std::string sReply;
  if (sEhloReply.find("PLAIN") != std::string::npos) {
    return SendSecret("AUTH PLAIN " +
                      Base64(std::string(1, '\0') + m_sUser + '\0' + m_sPassword)) &&
           ReadReply("235", sReply);
  }
  if (sEhloReply.find("LOGIN") != std::string::npos) {
    return Send("AUTH LOGIN\r\n") && ReadReply("334", sReply) && SendSecret(Base64(m_sUser)) &&
           ReadReply("334", sReply) && SendSecret(Base64(m_sPassword)) && ReadReply("235", sReply);
  }
  ZuvLogError("CWsEmail::SendList() the server offers neither AUTH PLAIN nor AUTH LOGIN.");
  return false;
}

bool CWsEmail::SendSecret(const std::string& sText) {
  if (m_oLink.SendAll(sText + "\r\n", m_iReceiveMs)) {
    ZuvLogEvent("CWsEmail::SendZuvStr sent: (login data, not logged)");
    return true;
  }
  ZuvLogError(("CWsEmail::SendZuvStr() failed: " + m_oLink.GetError()).c_str());
  m_oLink.Close();
  return false;
}

bool CWsEmail::ReadReply(const char* szCode, std::string& sReply) {
  sReply.clear();
  std::string sBuffer;
  char aBuffer[WDX_SMTP_RECEIVE_BYTES];
  for (;;) {
    for (size_t uLf = sBuffer.find('\n'); uLf != std::string::npos; uLf = sBuffer.find('\n')) {
      std::string sLine = sBuffer.substr(0, uLf);
      sBuffer.erase(0, uLf + 1);
      if (!sLine.empty() && sLine.back() == '\r') sLine.pop_back();
      ZuvLogEvent(sLine.c_str());
      sReply += sLine + "\n";
      if (sLine.size() <= 3 || sLine[3] == ' ') {
        m_oStrLastReply.Assign(sLine.c_str());
        return sLine.compare(0, 3, szCode) == 0;
      }
    }
    if (sBuffer.size() + sReply.size() > kMaxReplyBytes) {
      ZuvLogError("CWsEmail::ReceiveAck reply too long.");
      return false;
    }
    const long iRead = m_oLink.Receive(aBuffer, sizeof(aBuffer), m_iReceiveMs);
    if (iRead <= 0) {
      ZuvLogError("CWsEmail::ReceiveAck recv read no bytes.");
      if (iRead < 0) ZuvLogEvent(("CWsEmail::ReceiveAck " + m_oLink.GetError()).c_str());
      m_oLink.Close();
      return false;
    }
    sBuffer.append(aBuffer, static_cast<size_t>(iRead));
  }
}

}  // namespace wdx
