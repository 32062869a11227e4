#include "console/go_cli.h"

#include <nlohmann/json.hpp>
#include <ostream>

#include "console/dlg/console_output.h"
#include "console/dlg/wardenix_dlg.h"
#include "console/settings_editor.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

// Status lines on standard output; message boxes on standard error. On a terminal a line equal
// to the one before is counted in place ("line (3)").
class CCliOutput final : public IConsoleOutput {
 public:
  CCliOutput(std::ostream& oOut, std::ostream& oErr, bool bTerminal)
      : m_oOut(oOut), m_oErr(oErr), m_bTerminal(bTerminal) {}
  ~CCliOutput() override { EndLine(); }
  CCliOutput(const CCliOutput&) = delete;
  CCliOutput& operator=(const CCliOutput&) = delete;

  void AddStatusLine(const std::string& sLine) override {
    if (m_bTerminal && sLine == m_sLast) {
      m_oOut << "\r" << sLine << " (" << ++m_iRepeats << ")" << std::flush;
      return;
    }
    EndLine();
    m_sLast = sLine;
    m_iRepeats = 1;
    m_oOut << sLine;
    if (m_bTerminal) {
      m_oOut << std::flush;
    } else {
      m_oOut << "\n";
    }
  }
  void MessageBox(const std::string& sTitle, const std::string& sText) override {
    EndLine();
    m_sLast.clear();
    m_oErr << "wardenix: " << sTitle << ": " << sText << "\n";
  }
  void EndLine() {
    if (m_bTerminal && !m_sLast.empty()) m_oOut << "\n";
    m_sLast.clear();
  }

 private:
  std::ostream& m_oOut;
  std::ostream& m_oErr;
  bool m_bTerminal;
  std::string m_sLast;
  int m_iRepeats = 0;
};

}  // namespace

int RunGoCommand(const std::string& sFolder, std::ostream& oOut, std::ostream& oErr,
                 bool bTerminal) {
  CCliOutput oOutput(oOut, oErr, bTerminal);
  CWardenixDlg oDlg(oOutput, CreateDlgSeams(sFolder));
  if (!oDlg.ConnectCommands() || !oDlg.InitService()) {
    oOutput.EndLine();
    oErr << "wardenix: the service cannot be reached or did not initialise (see " << sFolder
         << "Wardenix.log).\n";
    return 1;
  }
  const bool bEntered = oDlg.EnterGo() && oDlg.IsServiceInGoMode();
  oOutput.EndLine();
  if (!bEntered) return 1;
  oOut << "GO mode is running.\n";
  return 0;
}

int RunStatusJsonCommand(const std::string& sFolder, std::ostream& oOut, std::ostream& oErr) {
  CWdxSvrClient oClient(sFolder);
  int iState = 0;
  int iGoMode = 0;
  std::string sAction;
  std::string sObject;
  if (!oClient.Connect(true) || !oClient.OpsCommand(WDX_GET_STATE, iState) ||
      !oClient.OpsCommand(WDX_IS_GO_MODE, iGoMode) ||
      !oClient.GetStringResult(WDX_GET_CURRENT_ACTION, sAction) ||
      !oClient.GetStringResult(WDX_GET_CURRENT_ACTION_OBJECT, sObject)) {
    oErr << "wardenix: " << oClient.GetLastError() << "\n";
    return 1;
  }
  // The server state is the one the service last saved; an absent file reads as "Up".
  CSettingsEditor oEditor(sFolder);
  const std::string sServer = oEditor.Load() ? oEditor.GetKey("SvrStatus") : "";
  const int iServer = CAllSets::ServerStateFromText(sServer.c_str());
  const nlohmann::json oStatus{{"state", iState},
                               {"stateName", OpsStateName(iState)},
                               {"goMode", iGoMode == WDX_TRUE},
                               {"serverState", iServer},
                               {"serverStateName", CAllSets::ServerStateText(iServer)},
                               {"action", sAction},
                               {"object", sObject}};
  oOut << oStatus.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  return 0;
}

}  // namespace wdx
