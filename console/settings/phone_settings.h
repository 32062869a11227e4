// CPhoneSettings: the "Phone Alerts" dialog: the texts spoken when the server fails and when it
// is restored, the acknowledgement box and six callees in call order (name, number, enabled).
// Validate is the dialog's check, also run silently by the main window and the sensitivity
// test (ValidateSettings reads the file and shows nothing).
//
// Threading: one object per dialog action and thread; Validate is a pure function.
#pragma once

#include <string>
#include <vector>

#include "console/settings/dialog_file.h"

namespace wdx {

inline constexpr int WDX_PHONE_ROWS = 6;

struct SPhoneValues {
  std::string m_sMsgDown;
  std::string m_sMsgUp;
  bool m_bAck = false;
  std::string m_asName[WDX_PHONE_ROWS];
  std::string m_asNumber[WDX_PHONE_ROWS];
  bool m_abEnabled[WDX_PHONE_ROWS] = {};
};

struct SPhoneCheck {
  bool m_bAccepted = false;  // the dialog may close and save
  bool m_bUsable = false;    // phone alerts can be made with these values
};

class CPhoneSettings final {
 public:
  explicit CPhoneSettings(std::string sProgramFolder);

  bool Open();
  const SPhoneValues& GetValues() const { return m_oValues; }
  // OK: checks with messages; refused only for an incomplete enabled row (the dialog stays).
  SDialogOutcome Ok(const SPhoneValues& oTyped);

  // The check; its message (at most one) goes to pMessages when the dialog is on screen.
  static SPhoneCheck Validate(const SPhoneValues& oValues, std::vector<std::string>* pMessages);
  // The silent check of the file's phone settings.
  static SPhoneCheck ValidateSettings(const std::string& sProgramFolder);

 private:
  CDialogFile m_oFile;
  SPhoneValues m_oValues;
};

}  // namespace wdx
