#include "console/report_cli.h"

#include <ostream>

#include "console/report_params.h"
#include "console/settings_editor.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace wdx {

int RunReportCommand(const std::string& sFolder, std::ostream& oOut, std::ostream& oErr) {
  CSettingsEditor oEditor(sFolder);
  if (!oEditor.Load()) {
    oErr << "wardenix: " << oEditor.GetLastError() << "\n";
    return 1;
  }
  const SReportSections oSections{oEditor.GetSectionLines("RURLS"), oEditor.GetSectionLines("URLS"),
                                  oEditor.GetSectionLines("STOPS")};
  if (!CreateReportParams(sFolder, oSections)) {
    oErr << "wardenix: cannot write " << sFolder << REPORT_PARAMS_FILE
         << " (see the console's log).\n";
    return 1;
  }
  IFileSystem& oFiles = GetFileSystem();
  const std::string sScript = sFolder + REPORT_SCRIPT_FILE;
  const std::string sBefore = oFiles.GetCurrentFolder();
  int iExit = -1;
  const bool bRan = oFiles.SetCurrentFolder(sFolder) && RunAndWait({sScript}, iExit);
  if (!sBefore.empty()) oFiles.SetCurrentFolder(sBefore);
  if (!bRan || iExit != 0) {
    oErr << "wardenix: the report script " << sScript << " failed"
         << (bRan ? " (exit code " + std::to_string(iExit) + ")" : std::string(" to start"))
         << ".\n";
    return 1;
  }
  oOut << sFolder << REPORT_HTML_FILE << "\n";
  return 0;
}

}  // namespace wdx
