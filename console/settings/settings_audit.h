// CSettingsAudit: the "Settings File" dialog: every line of AutoSet.caf as plain text; the
// operator deletes lines and OK writes the remaining lines back as the whole file. The dialog
// gives back the lines it showed: when the file changed meanwhile (the service or another
// console saved it), OK refuses rather than undo that change.
//
// Threading: one object per dialog action and thread.
#pragma once

#include <string>
#include <vector>

#include "console/settings/dialog_file.h"

namespace wdx {

inline constexpr const char* WDX_AUDIT_CHANGED =
    "AutoSet.caf was changed by another program after this dialog opened; nothing was "
    "written. Open the dialog again to see the file as it is now.";

class CSettingsAudit final {
 public:
  explicit CSettingsAudit(std::string sProgramFolder);

  bool Open();
  const std::vector<std::string>& GetLines() const { return m_oFile.GetLines(); }
  // oShown: the lines the dialog showed; oRemaining: those left after the deletions.
  SDialogOutcome Ok(const std::vector<std::string>& oShown,
                    const std::vector<std::string>& oRemaining);

 private:
  CDialogFile m_oFile;
};

}  // namespace wdx
