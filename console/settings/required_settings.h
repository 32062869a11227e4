// CSetRequireds: the "Required Settings" dialog: the logon ID, the password (typed twice), the
// domain, the computer's full name, the soft restarts before a reboot and the restarter seconds.
// Open reads them (with "MinuteInterval", "Sensitivity", "UseIni", "LogEvents" and
// "SvrStatus", which the dialog writes back as they stand). Ok checks and saves them.
//
// Threading: one object per dialog action and thread.
#pragma once

#include <string>

#include "console/settings/dialog_file.h"

namespace wdx {

struct SRequiredValues {
  std::string m_sAdminId;
  std::string m_sPassword;
  std::string m_sDomainName;
  std::string m_sMachineName;
  std::string m_sRestartsB4Reboot;  // decimal text
  std::string m_sRstrSecs;          // decimal text
};

class CSetRequireds final {
 public:
  explicit CSetRequireds(std::string sProgramFolder);

  // Loads the dialog's fields; false (logged) when the file cannot be read.
  bool Open();
  // The fields as shown: an empty "RestartsB4Reboot" shows 0, an empty "RstrSecs" half the
  // scan period in seconds (at least 15).
  const SRequiredValues& GetValues() const { return m_oValues; }
  int GetMinuteInterval() const { return m_iMinuteInterval; }
  int GetSensitivity() const { return m_iSensitivity; }
  int GetServerState() const { return m_iServerState; }

  // OK with what the operator typed (sConfirm: the password typed again). The computer's name
  // replaces the shown one whenever it can be read (sComputerName; "" when it cannot; the
  // first overload asks the system).
  SDialogOutcome Ok(const SRequiredValues& oTyped, const std::string& sConfirm);
  SDialogOutcome Ok(const SRequiredValues& oTyped, const std::string& sConfirm,
                    const std::string& sComputerName);

  // The silent check of the main window: logon ID, password and computer name are set.
  static bool ValidateSettings(const std::string& sProgramFolder);

 private:
  bool ParseNumber(const char* szKey, std::string& sValue, SDialogOutcome& oOutcome);

  CDialogFile m_oFile;
  SRequiredValues m_oValues;
  int m_iMinuteInterval = 10;
  int m_iSensitivity = 10;
  int m_iServerState = 1000;
};

}  // namespace wdx
