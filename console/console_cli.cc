#include "console/console_cli.h"

#include <charconv>
#include <fstream>
#include <ostream>

#include "console/settings_editor.h"
#include "service/host/wdx_client.h"
#include "service/host/wdx_codes.h"

namespace wdx {

int CConsoleCli::Usage() {
  m_oErr << "usage: wardenix go | stop | status\n"
            "       wardenix command CODE\n"
            "       wardenix string CODE\n"
            "       wardenix settings list | get KEY | set KEY VALUE | add SECTION LINE |\n"
            "                         remove SECTION LINE | export | import FILE\n";
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
  if (oArgs[0] == "go" && oArgs.size() == 1) return Control(WDX_GO);
  if (oArgs[0] == "stop" && oArgs.size() == 1) return Control(WDX_STOP);
  if (oArgs[0] == "status" && oArgs.size() == 1) return Status();
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

int CConsoleCli::Control(int iCommand) {
  CWdxSvrClient oClient(m_sFolder);
  int iResult = 0;
  if (!oClient.Connect(true) || !oClient.OpsCommand(WDX_INITIALIZE, iResult) ||
      !oClient.OpsCommand(iCommand, iResult)) {
    m_oErr << "wardenix: " << oClient.GetLastError() << "\n";
    return 1;
  }
  m_oOut << (iCommand == WDX_GO ? "GO mode requested.\n" : "STOP requested.\n");
  return 0;
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

int CConsoleCli::Settings(const std::vector<std::string>& oArgs) {
  if (oArgs.size() < 2) return Usage();
  CSettingsEditor oEditor(m_sFolder);
  if (!oEditor.Load()) {
    m_oErr << "wardenix: " << oEditor.GetLastError() << "\n";
    return 1;
  }
  const std::string& sVerb = oArgs[1];
  if (sVerb == "list" && oArgs.size() == 2) {
    for (const auto& sLine : oEditor.ListKeys()) m_oOut << sLine << "\n";
    return 0;
  }
  if (sVerb == "export" && oArgs.size() == 2) {
    for (const auto& sLine : oEditor.ExportLines()) m_oOut << sLine << "\n";
    return 0;
  }
  if (sVerb == "get" && oArgs.size() == 3) {
    m_oOut << oEditor.GetKey(oArgs[2]) << "\n";
    return 0;
  }
  return SettingsChange(oEditor, oArgs);
}

int CConsoleCli::SettingsChange(CSettingsEditor& oEditor, const std::vector<std::string>& oArgs) {
  const std::string& sVerb = oArgs[1];
  bool bOk = false;
  if (sVerb == "set" && oArgs.size() == 4) {
    if (!CSettingsEditor::IsKnownKey(oArgs[2])) {
      m_oErr << "wardenix: warning: the service does not read the key " << oArgs[2] << ".\n";
    }
    bOk = oEditor.SetKey(oArgs[2], oArgs[3]);
  } else if (sVerb == "add" && oArgs.size() == 4) {
    bOk = oEditor.AddLine(oArgs[2], oArgs[3]);
  } else if (sVerb == "remove" && oArgs.size() == 4) {
    bOk = oEditor.RemoveLine(oArgs[2], oArgs[3]);
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
  if (!bOk) m_oErr << "wardenix: " << oEditor.GetLastError() << "\n";
  return bOk ? 0 : 1;
}

}  // namespace wdx
