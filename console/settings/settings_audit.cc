#include "console/settings/settings_audit.h"

#include "console/settings_editor.h"
#include "foundation/ram_file.h"
#include "foundation/zuv_str.h"

namespace wdx {

CSettingsAudit::CSettingsAudit(std::string sProgramFolder)
    : m_oFile(std::move(sProgramFolder), "CRamFile") {}

bool CSettingsAudit::Open() {
  return m_oFile.Open();
}

SDialogOutcome CSettingsAudit::Ok(const std::vector<std::string>& oShown,
                                  const std::vector<std::string>& oRemaining) {
  SDialogOutcome oOutcome;
  for (size_t i = 0; i < oRemaining.size(); ++i) {
    // Section headers stay allowed here: only length and characters are checked.
    std::string sLine = oRemaining[i];
    for (char& c : sLine) {
      if (c == '[') c = 'x';
    }
    const std::string sReason = CSettingsEditor::CheckLineText(sLine);
    if (!sReason.empty()) {
      oOutcome.m_sError = "Line " + std::to_string(i + 1) + " " + sReason + ".";
      return oOutcome;
    }
  }
  bool bChanged = false;
  const bool bSaved = m_oFile.Save([&](CRamFile& oFile) {
    bChanged = oFile.GetLines() != oShown;
    return !bChanged && oFile.LoadToRamFromListBox(oRemaining);
  });
  if (bChanged) {
    oOutcome.m_oMessages.push_back(WDX_AUDIT_CHANGED);
    return oOutcome;
  }
  if (!bSaved) {
    oOutcome.m_sError = "The file could not be saved (see Wardenix.log); nothing was changed.";
    return oOutcome;
  }
  oOutcome.m_bAccepted = true;
  oOutcome.m_bClosed = true;
  return oOutcome;
}

}  // namespace wdx
