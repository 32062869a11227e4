// The real parts of the main window: the command endpoint of the program folder, its settings
// file, the registry store, the console's warden object and the report.
#include <sstream>

#include "console/dlg/wardenix_dlg.h"
#include "console/report_cli.h"
#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "foundation/settings_lock.h"
#include "platform/registry_store.h"
#include "service/host/thread_owner.h"
#include "service/restart/warden.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

// The console's own warden: settings loaded as the service loads them, then Initialize (which
// loads the restart program and creates the performance watcher); released at once, since the
// console only needs to know that it can.
bool InitConsoleWarden(const std::string& sFolder) {
  CRamFileRO oKeyFile;
  {
    CSettingsLock oLock;
    if (oLock.IsTimedOut() || !oKeyFile.Initialize(sFolder.c_str(), "AutoSet.caf")) return false;
  }
  CAllSets oSettings;
  oSettings.m_pKeyFile = &oKeyFile;
  if (!oSettings.m_oStrWorkingFolder.Assign(sFolder.c_str()) || !oSettings.ReInitialize()) {
    return false;
  }
  CThreadOwner oShared;
  oShared.m_pSettings = &oSettings;
  CWarden oWarden;
  oWarden.m_pSettings = &oSettings;
  const bool bOk = oWarden.Initialize(sFolder, &oShared);
  oWarden.Release();
  return bOk;
}

bool RunReport(const std::string& sFolder) {
  std::ostringstream oOut;
  std::ostringstream oErr;
  if (RunReportCommand(sFolder, oOut, oErr) == 0) return true;
  std::string sError = oErr.str();
  while (!sError.empty() && sError.back() == '\n') sError.pop_back();
  ZuvLogError(("CWardenixDlg::OnBtnReport " + sError).c_str());
  return false;
}

}  // namespace

SDlgSeams CreateDlgSeams(const std::string& sProgramFolder) {
  SDlgSeams oSeams;
  oSeams.m_fnCreateCommands = [sProgramFolder] { return CreateWdxCommands(sProgramFolder); };
  oSeams.m_pSettings = CreateMainSettings(sProgramFolder);
  oSeams.m_pRegistry = OpenRegistryStore();
  oSeams.m_fnInitWarden = [sProgramFolder] { return InitConsoleWarden(sProgramFolder); };
  oSeams.m_fnReport = [sProgramFolder] { return RunReport(sProgramFolder); };
  return oSeams;
}

}  // namespace wdx
