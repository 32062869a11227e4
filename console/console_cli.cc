#include "console/console_cli.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <ostream>
#include <thread>
#include <unistd.h>

#include "console/console_command.h"
#include "console/email_cli.h"
#include "console/go_cli.h"
#include "console/logs/log_cli.h"
#include "console/phone_cli.h"
#include "console/report_cli.h"
#include "console/sense/sense_cli.h"
#include "console/service_cli.h"
#include "console/settings_editor.h"
#include "foundation/process_log.h"
#include "platform/registry_store.h"
#include "platform/terminal.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"
#include "service/ops/ops_mngr_thread.h"

namespace wdx {
namespace {

// The console's STOP: a first pause, then up to 20 questions 200 ms apart.
constexpr int kStopFirstPauseMs = 100;
constexpr int kStopPolls = 20;
constexpr int kStopPollMs = 200;

}  // namespace

int CConsoleCli::Usage() {
  m_oErr << "usage: wardenix go | stop | status [--json]\n"
            "       wardenix command CODE\n"
            "       wardenix string CODE\n"
            "       wardenix settings list | get KEY|SECTION | set KEY VALUE | add SECTION LINE |\n"
            "                         remove SECTION LINE | export | import FILE\n"
            "       wardenix email test | send-test\n"
            "       wardenix phone test NUMBER [NAME]\n"
            "       wardenix report\n"
            "       wardenix sensitivity test [S]\n"
            "       wardenix console [--port N] [--no-browser]\n"
            "       wardenix service install | start | stop | remove | state\n"
            "       wardenix log console | service | uptime | phone\n"
            "       wardenix about\n";
  return 2;
}

bool CConsoleCli::ParseCode(const std::string& sText, int& iCode) {
  auto [pEnd, eError] = std::from_chars(sText.data(), sText.data() + sText.size(), iCode);
  if (eError == std::errc() && pEnd == sText.data() + sText.size()) return true;
  m_oErr << "wardenix: \"" << sText << "\" is not a command code (a whole number).\n";
  return false;
}

int CConsoleCli::Run(const std::vector<std::string>& oArgs) {
  if (oArgs.empty()) return Usage();
  if (oArgs[0] == "command") return Command(oArgs);
  if (oArgs[0] == "string") return String(oArgs);
  if (oArgs[0] == "settings") return Settings(oArgs);
  if (oArgs[0] == "go" && oArgs.size() == 1) {
    return RunGoCommand(m_sFolder, m_oOut, m_oErr, &m_oOut == &std::cout && isatty(1));
  }
  if (oArgs[0] == "status" && oArgs.size() == 2 && oArgs[1] == "--json") {
    return RunStatusJsonCommand(m_sFolder, m_oOut, m_oErr);
  }
  if (oArgs[0] == "stop" && oArgs.size() == 1) return Stop();
  if (oArgs[0] == "status" && oArgs.size() == 1) return Status();
  if (oArgs[0] == "email" && oArgs.size() == 2 && (oArgs[1] == "test" || oArgs[1] == "send-test")) {
    return RunEmailCommand(oArgs[1], m_sFolder, m_oOut, m_oErr);
  }
  if (oArgs[0] == "phone") return RunPhoneCommand(oArgs, m_sFolder, m_oOut, m_oErr);
  if (oArgs[0] == "report" && oArgs.size() == 1) return RunReportCommand(m_sFolder, m_oOut, m_oErr);
  if (oArgs[0] == "sensitivity") {
    // Progress is rewritten in place only on a terminal, never into a caller's stream.
    const bool bTerminal = &m_oOut == &std::cout && IsStandardOutputTerminal();
    return RunSensitivityCommand(oArgs, m_sFolder, m_oOut, m_oErr, bTerminal);
  }
  if (oArgs[0] == "console") return RunConsoleCommand(oArgs, m_sFolder, m_oOut, m_oErr);
  if (oArgs[0] == "service" && oArgs.size() == 2) {
    return RunServiceCommand(oArgs[1], m_sFolder, m_oOut, m_oErr);
  }
  if (oArgs[0] == "about" && oArgs.size() == 1) return RunAboutCommand(m_sFolder, m_oOut);
  if (oArgs[0] == "log" && oArgs.size() == 2) {
    return RunLogCommand(oArgs[1], m_sFolder, m_oOut, m_oErr);
  }
  return Usage();
}

int CConsoleCli::Command(const std::vector<std::string>& oArgs) {
  int iCode = 0;
  if (oArgs.size() != 2) return Usage();
  if (!ParseCode(oArgs[1], iCode)) return 2;
  CWdxSvrClient oClient(m_sFolder);
  int iResult = 0;
  if (!oClient.Connect(true) || !oClient.OpsCommand(iCode, iResult)) {
    m_oErr << "wardenix: " << oClient.GetLastError() << "\n";
    return 1;
  }
  m_oOut << iResult << "\n";
  return 0;
}

int CConsoleCli::String(const std::vector<std::string>& oArgs) {
  int iCode = 0;
  if (oArgs.size() != 2) return Usage();
  if (!ParseCode(oArgs[1], iCode)) return 2;
  CWdxSvrClient oClient(m_sFolder);
  std::string sResult;
  if (!oClient.Connect(true) || !oClient.GetStringResult(iCode, sResult)) {
    m_oErr << "wardenix: " << oClient.GetLastError() << "\n";
    return 1;
  }
  m_oOut << sResult << "\n";
  return 0;
}

int CConsoleCli::Stop() {
  m_oOut << "STOP command. Stopping now.....\n";
  CWdxSvrClient oClient(m_sFolder);
  int iResult = 0;
  bool bReached = oClient.Connect(true) && oClient.OpsCommand(WDX_INITIALIZE, iResult) &&
                  oClient.OpsCommand(WDX_STOP, iResult);
  if (bReached && iResult != WDX_TRUE)
    ZuvLogError("CWardenixDlg::DoStop WdxSvc Command Go failed.");
  bool bStopped = false;
  if (bReached) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kStopFirstPauseMs));
    bStopped = WaitUntilGoModeEnds(oClient, bReached);
  }
  if (!bReached) m_oErr << "wardenix: " << oClient.GetLastError() << "\n";
  // Whether or not the service answered, GO mode is not to start by itself any more.
  auto pStore = OpenRegistryStore();
  std::string sAutoRun;
  if (!pStore->SetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, "0") ||
      !pStore->GetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, sAutoRun) || sAutoRun != "0") {
    m_oErr << "wardenix: cannot set \"AutoRun\" to \"0\" in the registry store "
           << GetRegistryStorePath() << " (error " << pStore->GetLastErrorCode() << ": "
           << std::strerror(pStore->GetLastErrorCode()) << ").\n";
    return 1;
  }
  if (!bReached) return 1;
  m_oOut << (bStopped ? "Is Now Stopped.\n"
                      : "STOP requested; GO mode has not ended yet (see wardenix status).\n");
  return 0;
}

// Asks every 200 ms, at most 20 times, until the service is neither running GO mode's cycle
// nor in the GO loop. bReached turns false when the service stops answering.
bool CConsoleCli::WaitUntilGoModeEnds(CWdxSvrClient& oClient, bool& bReached) {
  for (int i = 0; i < kStopPolls; ++i) {
    int iState = 0;
    int iGoMode = 0;
    if (!oClient.OpsCommand(WDX_GET_STATE, iState) ||
        !oClient.OpsCommand(WDX_IS_GO_MODE, iGoMode)) {
      ZuvLogError("CWardenixDlg::DoStop WdxSvc Command GetStat failed.");
      bReached = false;
      return false;
    }
    if (iState != WDX_STATE_RUNNING && iGoMode != WDX_TRUE) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStopPollMs));
  }
  return false;
}

int CConsoleCli::Status() {
  CWdxSvrClient oClient(m_sFolder);
  int iState = 0;
  int iGoMode = 0;
  std::string sAction;
  std::string sObject;
  if (!oClient.Connect(true) || !oClient.OpsCommand(WDX_GET_STATE, iState) ||
      !oClient.OpsCommand(WDX_IS_GO_MODE, iGoMode) ||
      !oClient.GetStringResult(WDX_GET_CURRENT_ACTION, sAction) ||
      !oClient.GetStringResult(WDX_GET_CURRENT_ACTION_OBJECT, sObject)) {
    m_oErr << "wardenix: " << oClient.GetLastError() << "\n";
    return 1;
  }
  m_oOut << "state:   " << iState << " " << OpsStateName(iState) << "\n"
         << "GO mode: " << (iGoMode == WDX_TRUE ? "running" : "not running") << "\n"
         << "action:  " << sAction << "\n"
         << "object:  " << sObject << "\n";
  return 0;
}

bool CConsoleCli::IsSettingsRead(const std::vector<std::string>& oArgs) {
  return oArgs.size() >= 2 && oArgs[0] == "settings" &&
         (oArgs[1] == "list" || oArgs[1] == "get" || oArgs[1] == "export");
}

int CConsoleCli::Settings(const std::vector<std::string>& oArgs) {
  if (oArgs.size() < 2) return Usage();
  const std::string& sVerb = oArgs[1];
  static const char* const kVerbs[] = {"list", "get", "set", "add", "remove", "export", "import"};
  if (std::find(std::begin(kVerbs), std::end(kVerbs), sVerb) == std::end(kVerbs)) {
    m_oErr << "wardenix: \"" << sVerb
           << "\" is not a settings subcommand (list, get, set, add, "
              "remove, export, import).\n";
    return 2;
  }
  if (!IsSettingsRead(oArgs)) return SettingsChange(oArgs);
  if (oArgs.size() != (sVerb == "get" ? 3u : 2u)) return Usage();
  CSettingsEditor oEditor(m_sFolder);
  if (!oEditor.Load()) {
    m_oErr << "wardenix: " << oEditor.GetLastError() << "\n";
    return 1;
  }
  std::vector<std::string> oLines;
  if (sVerb == "list") {
    oLines = oEditor.ListKeys();
    oLines.insert(oLines.begin(), "[KEYS]");
    for (auto& sLine : oEditor.ListSections()) oLines.push_back(std::move(sLine));
  } else if (sVerb == "export") {
    oLines = oEditor.ExportLines();
  } else if (CSettingsEditor::IsListSection(oArgs[2])) {
    oLines = oEditor.GetSectionLines(oArgs[2]);
  } else {
    oLines.push_back(oEditor.GetKey(oArgs[2]));
  }
  for (const auto& sLine : oLines) m_oOut << sLine << "\n";
  return 0;
}

int CConsoleCli::SettingsChange(const std::vector<std::string>& oArgs) {
  const std::string& sVerb = oArgs[1];
  CSettingsEditor oEditor(m_sFolder);
  bool bOk = false;
  if (sVerb == "set" && oArgs.size() == 4) {
    if (!CSettingsEditor::IsKnownKey(oArgs[2])) {
      m_oErr << "wardenix: warning: the service does not read the key " << oArgs[2] << ".\n";
    }
    bOk = oEditor.SetKey(oArgs[2], oArgs[3]);
  } else if ((sVerb == "add" || sVerb == "remove") && oArgs.size() == 4) {
    if (!CSettingsEditor::IsListSection(oArgs[2])) {
      m_oErr << "wardenix: warning: the service does not read the section " << oArgs[2] << ".\n";
    }
    bOk = sVerb == "add" ? oEditor.AddLine(oArgs[2], oArgs[3])
                         : oEditor.RemoveLine(oArgs[2], oArgs[3]);
  } else if (sVerb == "import" && oArgs.size() == 3) {
    std::ifstream oIn(oArgs[2], std::ios::binary);
    if (!oIn) {
      m_oErr << "wardenix: cannot read " << oArgs[2] << ".\n";
      return 1;
    }
    std::vector<std::string> oLines;
    for (std::string sLine; std::getline(oIn, sLine);) oLines.push_back(sLine);
    bOk = oEditor.ImportLines(oLines);
  } else {
    return Usage();
  }
  if (!bOk) {
    m_oErr << "wardenix: " << oEditor.GetLastError() << "\n";
    return 1;
  }
  if (!oEditor.GetNote().empty()) m_oOut << oEditor.GetNote() << "\n";
  if (IsGoModeRunning()) {
    m_oOut << "Saved. GO mode is running: the change takes effect at the next GO.\n";
  }
  return 0;
}

bool CConsoleCli::IsGoModeRunning() {
  // Only a service that already runs is asked: it is not started for this.
  CWdxSvrClient oClient(m_sFolder);
  int iGoMode = 0;
  int iState = 0;
  if (!oClient.Connect(false) || !oClient.OpsCommand(WDX_IS_GO_MODE, iGoMode) ||
      !oClient.OpsCommand(WDX_GET_STATE, iState)) {
    return false;
  }
  return iGoMode == WDX_TRUE || iState == WDX_STATE_RUNNING || iState == WDX_STATE_TESTING ||
         iState == WDX_STATE_FAILING || iState == WDX_STATE_REMOTE_FAILING;
}

}  // namespace wdx
