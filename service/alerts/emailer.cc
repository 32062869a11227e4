#include "service/alerts/emailer.h"

#include <cctype>

#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "service/settings/all_sets.h"

namespace wdx {

bool CEmailer::Initialize(CAllSets* pSettings) {
  SetId(ZUV_ID_LIVE);
  m_pSettings = pSettings;
  m_bInitialized = pSettings != nullptr;
  if (!m_bInitialized) ZuvLogError("CEmailer::Initialize() failed.");
  return m_bInitialized;
}

bool CEmailer::ReloadEmailList() {
  if (m_pSettings == nullptr) {
    ZuvLogError("CEmailer::ReloadEmailList() failed.");
    return false;
  }
  auto& pList = m_pSettings->m_pEmails;
  if (!pList || pList->GetSize() != WDX_EMAIL_LIST_SIZE) {
    pList = std::make_unique<CArrayStr>();
    if (!pList->Initialize(WDX_EMAIL_LIST_SIZE, WDX_LIST_LINE)) {
      ZuvLogError("CEmailer::ReloadEmailList() failed.");
      return false;
    }
  }
  pList->Clear();
  if (m_pSettings->m_pKeyFile == nullptr) return true;
  int iIndex = 0;
  for (std::string sLine = m_pSettings->m_pKeyFile->GetFirstLineOfSection("[EMAILS]");
       !sLine.empty() && iIndex < WDX_EMAIL_LIST_SIZE;
       sLine = m_pSettings->m_pKeyFile->GetNextLineOfSection()) {
    pList->SetAt(iIndex++, sLine.substr(0, WDX_LIST_LINE).c_str());
  }
  return true;
}

bool CEmailer::ValidateSettings(bool bVerbose) {
  const CAllSets& oSets = *m_pSettings;
  std::string sUrl = oSets.m_oStrEmailUrl.c_str();
  for (char& c : sUrl) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const char* szWarning = nullptr;
  const CArrayStr* pList = oSets.m_pEmails.get();
  if (pList == nullptr || pList->GetUsedCount() == 0 ||
      const_cast<CArrayStr*>(pList)->GetAt(0)[0] == '\0') {
    szWarning = "Warning: no email recipents are defined.";
  } else if (oSets.m_oStrSmtpServer.IsEmpty()) {
    szWarning = "Warning: no SMTP email server is defined.";
  } else if (oSets.m_oStrEmailBodyDown.IsEmpty()) {
    szWarning = "Warning: no email down message body is defined.";
  } else if (oSets.m_oStrEmailBodyUp.IsEmpty()) {
    szWarning = "Warning: no email up message body is defined.";
  }
  if (szWarning == nullptr && oSets.m_oStrEmailSubjectUp.IsEmpty() && bVerbose) {
    ZuvLogError("Warning: no email subject line is defined.");
  }
  if (szWarning != nullptr) {
  } else if (oSets.m_oStrEmailFrom.IsEmpty()) {
    szWarning = "Warning: no email 'from address' is defined.";
  } else if (oSets.m_oStrEmailUrl.IsEmpty()) {
    szWarning = "Warning: no 'Email Connect Url' is defined.";
  } else if (sUrl.find("http://") == std::string::npos) {
    szWarning = "Incorrect EmailUrl format. Use 'http://' header.";
  }
  if (szWarning == nullptr) return true;
  if (bVerbose) ZuvLogError(szWarning);
  ZuvLogError("CEmailer::ValidateSettings() failed.");
  return false;
}

bool CEmailer::SendAlert(bool bDown) {
  if (!m_bInitialized) return false;
  return Send(
      bDown ? m_pSettings->m_oStrEmailSubjectDown.c_str()
            : m_pSettings->m_oStrEmailSubjectUp.c_str(),
      bDown ? m_pSettings->m_oStrEmailBodyDown.c_str() : m_pSettings->m_oStrEmailBodyUp.c_str());
}

bool CEmailer::SendRemoteUrlAlert(bool bFailed, const std::string& sUrl) {
  if (!m_bInitialized) return false;
  return Send(
      ((bFailed ? "Failed Remote URL: " : "Restored Remote URL: ") + sUrl).c_str(),
      ((bFailed ? "This Remote URL has stopped responding: " : "This Remote URL is now OK: ") +
       sUrl)
          .c_str());
}

bool CEmailer::SendTestMessage() {
  if (!m_bInitialized) return false;
  return Send("Wardenix test message",
              "This is a test message from Wardenix. E-mail alerts reach you.");
}

bool CEmailer::Send(const char* szSubject, const char* szText) {
  if (!ReloadEmailList() || !ValidateSettings(false)) return false;
  CArrayStr& oList = *m_pSettings->m_pEmails;
  const int iCount = oList.GetUsedCount();
  if (iCount == 0) return false;
  m_oSender.Reset();
  m_oSender.m_oStrServerName.Assign(m_pSettings->m_oStrSmtpServer.c_str());
  if (!CWsEmail::ParseSecurity(m_pSettings->m_oStrSmtpSecurity.c_str(), m_oSender.m_eSecurity)) {
    ZuvLogError("CEmailer: SmtpSecurity must be none, starttls or tls.");
    return false;
  }
  m_oSender.m_sUser = m_pSettings->m_oStrSmtpUser.c_str();
  m_oSender.m_sPassword = m_pSettings->m_oStrSmtpPassword.c_str();
  if (m_oSender.m_eSecurity == ESmtpSecurity::kNone && !m_oSender.m_sUser.empty()) {
    ZuvLogMessage("CEmailer: SmtpUser is used only with SmtpSecurity starttls or tls.");
  }
  // The resolved address is kept while "SmtpServer" stays the same (GO re-reads the settings).
  if (m_sResolvedFor != m_oSender.m_oStrServerName.c_str()) m_oSender.m_oStrServerAddress.Empty();
  m_sResolvedFor = m_oSender.m_oStrServerName.c_str();
  if (m_oSender.m_oStrServerAddress.IsEmpty() &&
      !m_oSender.ResolveNameToIp(m_oSender.m_oStrServerName.c_str())) {
    if (!m_oSender.IsInternetConnected(m_pSettings->m_oStrEmailUrl.c_str())) return false;
    if (!m_oSender.ResolveNameToIp(m_oSender.m_oStrServerName.c_str())) {
      ZuvLogError("(CEmailer) Cannot email. No Internet connection is attainable.");
      ZuvLogError("(CEmailer) Is browser set in 'Work Offline' mode perhaps?");
      return false;
    }
  }
  m_oSender.m_oStrSenderAddress.Assign(m_pSettings->m_oStrEmailFrom.c_str());
  m_oSender.m_oStrSubject.Assign(szSubject);
  m_oSender.m_oStrBody.Assign(szText);
  std::string sLast;
  for (int i = 0; i < iCount; ++i) {
    sLast = CZuvStr::Trimmed(oList.GetAt(i));
    if (i < WDX_SMTP_RECIPIENTS) m_oSender.m_pRecipients->SetAt(i, sLast.c_str());
  }
  if (sLast.empty()) return true;
  return m_oSender.SendList();
}

}  // namespace wdx
