#include "console/settings/phone_settings.h"

#include "foundation/ram_file.h"
#include "foundation/zuv_str.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

std::string RowKey(const char* szPrefix, int iRow) {
  return szPrefix + std::to_string(iRow + 1);
}

bool Blank(const std::string& sText) {
  return CZuvStr::Trimmed(sText).empty();
}

}  // namespace

CPhoneSettings::CPhoneSettings(std::string sProgramFolder)
    : m_oFile(std::move(sProgramFolder), "CPhoneSettings") {}

bool CPhoneSettings::Open() {
  const bool bOk = m_oFile.Open();
  auto Flag = [&](const std::string& sKey) {
    return CAllSets::IsFlagText(CZuvStr::Trimmed(m_oFile.GetKey(sKey)).c_str());
  };
  m_oValues.m_sMsgDown = m_oFile.GetKey("MsgDown");
  m_oValues.m_sMsgUp = m_oFile.GetKey("MsgUp");
  m_oValues.m_bAck = Flag("PAck");
  for (int i = 0; i < WDX_PHONE_ROWS; ++i) {
    m_oValues.m_asName[i] = m_oFile.GetKey(RowKey("PName", i));
    m_oValues.m_asNumber[i] = m_oFile.GetKey(RowKey("PNum", i));
    m_oValues.m_abEnabled[i] = Flag(RowKey("PE", i));
  }
  return bOk;
}

SPhoneCheck CPhoneSettings::Validate(const SPhoneValues& oValues,
                                     std::vector<std::string>* pMessages) {
  SPhoneCheck oCheck;
  auto Show = [&](const char* szText) {
    if (pMessages != nullptr) pMessages->push_back(szText);
  };
  bool bAnyEnabled = false;
  bool bIncomplete = false;
  for (int i = 0; i < WDX_PHONE_ROWS; ++i) {
    if (!oValues.m_abEnabled[i]) continue;
    bAnyEnabled = true;
    if (Blank(oValues.m_asName[i]) || Blank(oValues.m_asNumber[i])) bIncomplete = true;
  }
  oCheck.m_bAccepted = true;
  if (!bAnyEnabled) {
    Show("No phone outs are enabled.");
  } else if (Blank(oValues.m_sMsgDown)) {
    Show("DOWN message cannot be blank.");
  } else if (Blank(oValues.m_sMsgUp)) {
    Show("UP message cannot be blank.");
  } else if (bIncomplete) {
    Show("Problem: One or more enabled phones are missing Name or Number.");
    oCheck.m_bAccepted = false;
  } else {
    oCheck.m_bUsable = true;
  }
  return oCheck;
}

SPhoneCheck CPhoneSettings::ValidateSettings(const std::string& sProgramFolder) {
  CPhoneSettings oDialog(sProgramFolder);
  oDialog.Open();
  return Validate(oDialog.m_oValues, nullptr);
}

SDialogOutcome CPhoneSettings::Ok(const SPhoneValues& oTyped) {
  SDialogOutcome oOutcome;
  const SPhoneCheck oCheck = Validate(oTyped, &oOutcome.m_oMessages);
  if (!oCheck.m_bAccepted) return oOutcome;
  std::vector<std::pair<std::string, std::string>> oKeys = {
      {"MsgDown", oTyped.m_sMsgDown},
      {"MsgUp", oTyped.m_sMsgUp},
      {"PAck", CDialogFile::FlagText(oTyped.m_bAck)}};
  for (int i = 0; i < WDX_PHONE_ROWS; ++i) {
    oKeys.emplace_back(RowKey("PName", i), oTyped.m_asName[i]);
    oKeys.emplace_back(RowKey("PNum", i), oTyped.m_asNumber[i]);
    oKeys.emplace_back(RowKey("PE", i), CDialogFile::FlagText(oTyped.m_abEnabled[i]));
  }
  for (const auto& [sKey, sValue] : oKeys) {
    oOutcome.m_sError = CDialogFile::CheckValue(sKey, sValue);
    if (!oOutcome.m_sError.empty()) return oOutcome;
  }
  const bool bSaved = m_oFile.Save([&](CRamFile& oFile) {
    for (const auto& [sKey, sValue] : oKeys) {
      if (!oFile.SetKeyValue(sKey.c_str(), CZuvStr::Trimmed(sValue).c_str())) return false;
    }
    return true;
  });
  if (!bSaved) {
    oOutcome.m_sError = "The settings could not be saved (see Wardenix.log); nothing was changed.";
    return oOutcome;
  }
  m_oValues = oTyped;
  oOutcome.m_bAccepted = true;
  oOutcome.m_bClosed = true;
  return oOutcome;
}

}  // namespace wdx
