// COpOptions: the "Options" dialog: "Use INI (advanced)" ("UseIni"), "Auto Detect (default)"
// ("WATCH", true when absent) and the two obsolete boxes shown disabled, "Auto Start" ("GOS")
// and "Use IIS 5.0" ("UseIIS"), which keep their stored values. With "Auto Start" set, OK also
// places the console's shortcut in the operator's start-up folder.
//
// Threading: one object per dialog action and thread.
#pragma once

#include <string>

#include "console/settings/dialog_file.h"

namespace wdx {

struct SOptionValues {
  bool m_bUseIni = false;
  bool m_bWatch = true;
  bool m_bAutoStart = false;  // shown only
  bool m_bUseIis = false;     // shown only
};

class COpOptions final {
 public:
  explicit COpOptions(std::string sProgramFolder);

  bool Open();
  const SOptionValues& GetValues() const { return m_oValues; }
  // Writes "UseIni" and "WATCH" as given; "GOS" and "UseIIS" keep what the file holds. sUser:
  // the operator whose start-up folder gets the shortcut.
  SDialogOutcome Ok(const SOptionValues& oTyped, const std::string& sUser);

 private:
  // The shortcut step of "Auto Start"; false (logged) when the shortcut cannot be placed.
  bool OnChkGoOnStart(const std::string& sUser);

  std::string m_sFolder;
  CDialogFile m_oFile;
  SOptionValues m_oValues;
};

}  // namespace wdx
