// CRestarterDefs: the "Restarter Definitions" dialog: the programs to monitor ("STOPS") and the
// programs to start when the server is restarted ("PROGS"), two lists saved together.
// "New" of either list takes the full path of an existing file (CheckProgramFile); ListFolder
// feeds the dialog's small file browser.
//
// Threading: one object per dialog action and thread.
#pragma once

#include <string>
#include <vector>

#include "console/settings/dialog_file.h"

namespace wdx {

inline constexpr const char* WDX_RESTART_NOTE =
    "You must now shut down then restart Wardenix \r\nto make your chages effective.";

// One entry of a folder listing: sub-folders first, then files, each by name.
struct SFolderEntry {
  std::string m_sName;
  bool m_bFolder = false;
};

class CRestarterDefs final {
 public:
  explicit CRestarterDefs(std::string sProgramFolder);

  bool Open();
  const std::vector<std::string>& GetMonitored() const { return m_oMonitored; }
  const std::vector<std::string>& GetStarted() const { return m_oStarted; }
  SDialogOutcome Ok(const std::vector<std::string>& oMonitored,
                    const std::vector<std::string>& oStarted);

  // "" when sPath names an existing file by its full path, else the reason to show.
  static std::string CheckProgramFile(const std::string& sPath);
  // The entries of a folder (given by its full path); false when it cannot be read.
  static bool ListFolder(const std::string& sFolder, std::vector<SFolderEntry>& oEntries);

 private:
  CDialogFile m_oFile;
  std::vector<std::string> m_oMonitored;
  std::vector<std::string> m_oStarted;
};

}  // namespace wdx
