// CEmailSettings: the "Email Alerts" dialog: the enabled box, the SMTP server, the sender, the
// up and down subjects and bodies, the connect-test URL and the recipients ("[EMAILS]").
// ValidateSettings is the dialog's check, also run silently by the main window (the overload
// that reads the file). TestServer is the dialog's "Test": it waits for the mail server's
// greeting and says whether it came.
//
// Threading: one object per dialog action and thread; the checks are pure functions apart from
// their log entry.
#pragma once

#include <string>
#include <vector>

#include "console/settings/dialog_file.h"

namespace wdx {

struct SEmailValues {
  bool m_bEnabled = false;
  std::string m_sSmtpServer;
  std::string m_sFrom;
  std::string m_sSubjectUp;
  std::string m_sSubjectDown;
  std::string m_sBodyUp;  // line breaks are stored as blanks
  std::string m_sBodyDown;
  std::string m_sUrl;
  std::vector<std::string> m_oRecipients;
};

class CEmailSettings final {
 public:
  explicit CEmailSettings(std::string sProgramFolder);

  bool Open();
  const SEmailValues& GetValues() const { return m_oValues; }
  // OK: saves, then checks with messages; the dialog closes whatever the check says.
  SDialogOutcome Ok(const SEmailValues& oTyped);

  // The check. bOnScreen: the dialog is open (the recipients are checked and the messages go to
  // pMessages). Logs "CEmailSettings::ValidateSettings() failed." when it refuses.
  static bool ValidateSettings(const SEmailValues& oValues, bool bOnScreen,
                               std::vector<std::string>* pMessages);
  // The silent check of the file's e-mail settings.
  static bool ValidateSettings(const std::string& sProgramFolder);
  // Resolves the server and waits for its "220" greeting; sResult is the address followed by
  // "  OK. Email server found." or "  Email failed.".
  static bool TestServer(const std::string& sServer, const std::string& sSecurity,
                         std::string& sResult);

 private:
  CDialogFile m_oFile;
  SEmailValues m_oValues;
};

}  // namespace wdx
