#include "console/settings/email_settings.h"

#include <algorithm>
#include <cctype>

#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "foundation/zuv_str.h"
#include "service/alerts/ws_email.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

bool Blank(const std::string& sText) {
  return CZuvStr::Trimmed(sText).empty();
}

std::string Lower(std::string sText) {
  std::transform(sText.begin(), sText.end(), sText.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return sText;
}

}  // namespace

CEmailSettings::CEmailSettings(std::string sProgramFolder)
    : m_oFile(std::move(sProgramFolder), "CEmailSettings") {}

bool CEmailSettings::Open() {
  const bool bOk = m_oFile.Open();
  m_oValues.m_bEnabled =
      CAllSets::IsFlagText(CZuvStr::Trimmed(m_oFile.GetKey("EmailEnabled")).c_str());
  m_oValues.m_sSmtpServer = m_oFile.GetKey("SmtpServer");
  m_oValues.m_sFrom = m_oFile.GetKey("EmailFrom");
  m_oValues.m_sSubjectUp = m_oFile.GetKey("EmailSubject");
  m_oValues.m_sSubjectDown = m_oFile.GetKey("EmailSubjectDn");
  m_oValues.m_sBodyUp = m_oFile.GetKey("EmailBodyUp");
  m_oValues.m_sBodyDown = m_oFile.GetKey("EmailBodyDown");
  m_oValues.m_sUrl = m_oFile.GetKey("EmailUrl");
  m_oValues.m_oRecipients = m_oFile.GetSection("EMAILS");
  return bOk;
}

bool CEmailSettings::ValidateSettings(const SEmailValues& oValues, bool bOnScreen,
                                      std::vector<std::string>* pMessages) {
  auto Show = [&](const char* szText) {
    if (bOnScreen && pMessages != nullptr) pMessages->push_back(szText);
  };
  auto Refuse = [&](const char* szText) {
    Show(szText);
    ZuvLogError("CEmailSettings::ValidateSettings() failed.");
    return false;
  };
  const bool bNoRecipient = std::none_of(oValues.m_oRecipients.begin(), oValues.m_oRecipients.end(),
                                         [](const std::string& sLine) { return !Blank(sLine); });
  if (bOnScreen && bNoRecipient) return Refuse("Warning: no email recipents are defined.");
  if (Blank(oValues.m_sSmtpServer)) return Refuse("Warning: no SMTP email server is defined.");
  if (Blank(oValues.m_sBodyDown)) return Refuse("Warning: no email down message body is defined.");
  if (Blank(oValues.m_sBodyUp)) return Refuse("Warning: no email up message body is defined.");
  if (Blank(oValues.m_sSubjectUp)) Show("Warning: no email subject line is defined.");
  if (Blank(oValues.m_sFrom)) return Refuse("Warning: no email 'from address' is defined.");
  if (Blank(oValues.m_sUrl)) return Refuse("Warning: no 'Email Connect Url' is defined.");
  if (Lower(oValues.m_sUrl).find("http://") == std::string::npos) {
    return Refuse("Incorrect EmailUrl format. Use 'http://' header.");
  }
  return true;
}

bool CEmailSettings::ValidateSettings(const std::string& sProgramFolder) {
  CEmailSettings oDialog(sProgramFolder);
  oDialog.Open();
  return ValidateSettings(oDialog.m_oValues, false, nullptr);
}

SDialogOutcome CEmailSettings::Ok(const SEmailValues& oTyped) {
  SDialogOutcome oOutcome;
  SEmailValues oValues = oTyped;
  oValues.m_sBodyUp = CDialogFile::OneLine(oValues.m_sBodyUp);
  oValues.m_sBodyDown = CDialogFile::OneLine(oValues.m_sBodyDown);
  std::vector<std::string> oRecipients;
  for (const std::string& sLine : oValues.m_oRecipients) {
    if (!Blank(sLine)) oRecipients.push_back(CZuvStr::Trimmed(sLine));
  }
  oValues.m_oRecipients = oRecipients;
  // In the order they are written.
  const std::pair<const char*, std::string> aoKeys[] = {{"SmtpServer", oValues.m_sSmtpServer},
                                                        {"EmailBodyDown", oValues.m_sBodyDown},
                                                        {"EmailBodyUp", oValues.m_sBodyUp},
                                                        {"EmailSubject", oValues.m_sSubjectUp},
                                                        {"EmailFrom", oValues.m_sFrom},
                                                        {"EmailUrl", oValues.m_sUrl},
                                                        {"EmailSubjectDn", oValues.m_sSubjectDown}};
  for (const auto& [szKey, sValue] : aoKeys) {
    oOutcome.m_sError = CDialogFile::CheckValue(szKey, sValue);
    if (!oOutcome.m_sError.empty()) return oOutcome;
  }
  oOutcome.m_sError = CDialogFile::CheckEntries(oRecipients);
  if (!oOutcome.m_sError.empty()) return oOutcome;
  const bool bSaved = m_oFile.Save([&](CRamFile& oFile) {
    for (const auto& [szKey, sValue] : aoKeys) {
      if (!oFile.SetKeyValue(szKey, CZuvStr::Trimmed(sValue).c_str())) return false;
    }
    return CDialogFile::SetSection(oFile, "EMAILS", oRecipients) &&
           oFile.SetKeyValue("EmailEnabled", CDialogFile::FlagText(oValues.m_bEnabled));
  });
  if (!bSaved) {
    oOutcome.m_sError = "The settings could not be saved (see Wardenix.log); nothing was changed.";
    return oOutcome;
  }
  m_oValues = oValues;
  oOutcome.m_bAccepted = ValidateSettings(oValues, true, &oOutcome.m_oMessages);
  oOutcome.m_bClosed = true;
  return oOutcome;
}

bool CEmailSettings::TestServer(const std::string& sServer, const std::string& sSecurity,
                                std::string& sResult) {
  CWsEmail oSender;
  oSender.Reset();
  oSender.m_oStrServerName.Assign(CZuvStr::Trimmed(sServer).c_str());
  if (!CWsEmail::ParseSecurity(sSecurity, oSender.m_eSecurity)) {
    oSender.m_eSecurity = ESmtpSecurity::kNone;
  }
  if (!oSender.m_oStrServerName.IsEmpty()) {
    oSender.ResolveNameToIp(oSender.m_oStrServerName.c_str());
  }
  const bool bOk = oSender.TestOutput();
  sResult = oSender.m_oStrResult.c_str();
  return bOk;
}

}  // namespace wdx
