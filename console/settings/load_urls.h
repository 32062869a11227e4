// CLoadURLs: the "Load URLs" and "Load Remote URLs" dialogs: one list section ("URLS": pages
// of this machine, in start-up order; "RURLS": pages of other machines) edited as a list.
// NormalizeUrl is the dialog's "Save" of one typed entry; Ok writes the whole list as the
// section. The e-mail recipients list and the restarter lists use ListOk the same way.
//
// Threading: one object per dialog action and thread.
#pragma once

#include <string>
#include <vector>

#include "console/settings/dialog_file.h"

namespace wdx {

class CLoadURLs final {
 public:
  // sSection: "URLS" or "RURLS".
  CLoadURLs(std::string sProgramFolder, std::string sSection);

  bool Open();
  const std::vector<std::string>& GetEntries() const { return m_oEntries; }
  SDialogOutcome Ok(const std::vector<std::string>& oEntries);

  // The typed text as stored: trimmed; "" stays "" (nothing is added); with "//" the part after
  // the first "//" behind "http://"; otherwise "http://" in front.
  static std::string NormalizeUrl(const std::string& sTyped);
  // Writes oEntries (trimmed, empty ones dropped) as the section sSection.
  static SDialogOutcome ListOk(CDialogFile& oFile, const std::string& sSection,
                               const std::vector<std::string>& oEntries);

 private:
  CDialogFile m_oFile;
  std::string m_sSection;
  std::vector<std::string> m_oEntries;
};

}  // namespace wdx
