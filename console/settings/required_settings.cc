#include "console/settings/required_settings.h"

#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "foundation/zuv_str.h"
#include "platform/computer_name.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

constexpr const char* kPasswordMismatch = "Password does not confirm.\r Please retype paswords";

// The number a key's text stands for (its leading decimal number), iEmpty when it is blank.
int NumberOf(const std::string& sText, int iEmpty) {
  CZuvStr oText(CZuvStr::Trimmed(sText).c_str());
  return oText.IsEmpty() ? iEmpty : oText.ToInt();
}

}  // namespace

CSetRequireds::CSetRequireds(std::string sProgramFolder)
    : m_oFile(std::move(sProgramFolder), "CSetRequireds") {}

bool CSetRequireds::Open() {
  const bool bOk = m_oFile.Open();
  m_oValues.m_sAdminId = m_oFile.GetKey("AdminId");
  m_oValues.m_sPassword = m_oFile.GetKey("Password");
  m_oValues.m_sDomainName = m_oFile.GetKey("DomainName");
  m_oValues.m_sMachineName = m_oFile.GetKey("MachineName");
  m_iMinuteInterval = NumberOf(m_oFile.GetKey("MinuteInterval"), 10);
  m_iSensitivity = NumberOf(m_oFile.GetKey("Sensitivity"), 10);
  m_iServerState =
      CAllSets::ServerStateFromText(CZuvStr::Trimmed(m_oFile.GetKey("SvrStatus")).c_str());
  m_oValues.m_sRestartsB4Reboot = std::to_string(NumberOf(m_oFile.GetKey("RestartsB4Reboot"), 0));
  m_oValues.m_sRstrSecs = std::to_string(
      NumberOf(m_oFile.GetKey("RstrSecs"), CAllSets::DefaultRestarterSeconds(m_iMinuteInterval)));
  return bOk;
}

bool CSetRequireds::ParseNumber(const char* szKey, std::string& sValue, SDialogOutcome& oOutcome) {
  const std::string sReason = CAllSets::CheckNumber(szKey, sValue);
  if (!sReason.empty()) {
    oOutcome.m_oMessages.push_back(sReason);
    return false;
  }
  sValue = std::to_string(NumberOf(sValue, 0));
  return true;
}

SDialogOutcome CSetRequireds::Ok(const SRequiredValues& oTyped, const std::string& sConfirm) {
  return Ok(oTyped, sConfirm, GetComputerName());
}

SDialogOutcome CSetRequireds::Ok(const SRequiredValues& oTyped, const std::string& sConfirm,
                                 const std::string& sComputerName) {
  SDialogOutcome oOutcome;
  if (oTyped.m_sPassword != sConfirm) {
    oOutcome.m_oMessages.push_back(kPasswordMismatch);
    oOutcome.m_bClosed = true;
    return oOutcome;
  }
  SRequiredValues oValues = oTyped;
  if (CZuvStr::Trimmed(oValues.m_sRestartsB4Reboot).empty()) oValues.m_sRestartsB4Reboot = "0";
  if (CZuvStr::Trimmed(oValues.m_sRstrSecs).empty()) {
    oValues.m_sRstrSecs = std::to_string(CAllSets::DefaultRestarterSeconds(m_iMinuteInterval));
  }
  if (!ParseNumber("RestartsB4Reboot", oValues.m_sRestartsB4Reboot, oOutcome) ||
      !ParseNumber("RstrSecs", oValues.m_sRstrSecs, oOutcome)) {
    return oOutcome;
  }
  std::string sMachine = CZuvStr::Trimmed(oValues.m_sMachineName);
  if (!sMachine.empty() && sMachine[0] == '.') sMachine.erase(0, 1);
  if (!sComputerName.empty()) sMachine = sComputerName;
  const std::pair<const char*, std::string> aoKeys[] = {
      {"AdminId", oValues.m_sAdminId},
      {"Password", oValues.m_sPassword},
      {"DomainName", oValues.m_sDomainName},
      {"MachineName", sMachine},
      {"RestartsB4Reboot", oValues.m_sRestartsB4Reboot},
      {"RstrSecs", oValues.m_sRstrSecs}};
  for (const auto& [szKey, sValue] : aoKeys) {
    oOutcome.m_sError = CDialogFile::CheckValue(szKey, sValue);
    if (!oOutcome.m_sError.empty()) return oOutcome;
  }
  std::string sState;
  const bool bSaved = m_oFile.Save([&](CRamFile& oFile) {
    for (const auto& [szKey, sValue] : aoKeys) {
      oFile.SetKeyValue(szKey, CZuvStr::Trimmed(sValue).c_str());
    }
    // Written back as they stand in the file now.
    const bool bUseIni =
        CAllSets::IsFlagText(CZuvStr::Trimmed(oFile.GetKeyValue("UseIni")).c_str());
    const bool bLogEvents =
        CAllSets::IsFlagText(CZuvStr::Trimmed(oFile.GetKeyValue("LogEvents")).c_str());
    sState = CAllSets::ServerStateText(
        CAllSets::ServerStateFromText(CZuvStr::Trimmed(oFile.GetKeyValue("SvrStatus")).c_str()));
    oFile.SetKeyValue("UseIni", CDialogFile::FlagText(bUseIni));
    oFile.SetKeyValue("LogEvents", CDialogFile::FlagText(bLogEvents));
    return oFile.SetKeyValue("SvrStatus", sState.c_str());
  });
  if (!bSaved) {
    oOutcome.m_sError = "The settings could not be saved (see Wardenix.log); nothing was changed.";
    return oOutcome;
  }
  ZuvLogMessage(("CSetRequireds::SaveSettings() set SvrStatus= " + sState).c_str());
  oOutcome.m_bAccepted = true;
  oOutcome.m_bClosed = true;
  return oOutcome;
}

bool CSetRequireds::ValidateSettings(const std::string& sProgramFolder) {
  CSetRequireds oDialog(sProgramFolder);
  oDialog.Open();
  for (const std::string* pValue : {&oDialog.m_oValues.m_sAdminId, &oDialog.m_oValues.m_sPassword,
                                    &oDialog.m_oValues.m_sMachineName}) {
    if (CZuvStr::Trimmed(*pValue).empty()) return false;
  }
  return true;
}

}  // namespace wdx
