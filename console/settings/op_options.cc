#include "console/settings/op_options.h"

#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "foundation/zuv_str.h"
#include "service/restart/warden.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

// A flag of the key file; bAbsent when the key is missing or blank.
bool FlagOf(const std::string& sText, bool bAbsent) {
  const std::string sValue = CZuvStr::Trimmed(sText);
  return sValue.empty() ? bAbsent : CAllSets::IsFlagText(sValue.c_str());
}

}  // namespace

COpOptions::COpOptions(std::string sProgramFolder)
    : m_sFolder(sProgramFolder), m_oFile(std::move(sProgramFolder), "COpOptions") {}

bool COpOptions::Open() {
  const bool bOk = m_oFile.Open();
  m_oValues.m_bUseIni = FlagOf(m_oFile.GetKey("UseIni"), false);
  m_oValues.m_bWatch = FlagOf(m_oFile.GetKey("WATCH"), true);
  m_oValues.m_bAutoStart = FlagOf(m_oFile.GetKey("GOS"), false);
  m_oValues.m_bUseIis = FlagOf(m_oFile.GetKey("UseIIS"), false);
  return bOk;
}

bool COpOptions::OnChkGoOnStart(const std::string& sUser) {
  CWarden oWarden;
  oWarden.m_sBaseDirectory = m_sFolder;
  oWarden.m_sUserName = sUser;
  if (oWarden.PlaceStartupShortcut()) return true;
  ZuvLogError("COpOptions::OnChkGoOnStart() failed");
  return false;
}

SDialogOutcome COpOptions::Ok(const SOptionValues& oTyped, const std::string& sUser) {
  SDialogOutcome oOutcome;
  SOptionValues oStored = oTyped;
  const bool bSaved = m_oFile.Save([&](CRamFile& oFile) {
    oStored.m_bAutoStart = FlagOf(oFile.GetKeyValue("GOS"), false);
    oStored.m_bUseIis = FlagOf(oFile.GetKeyValue("UseIIS"), false);
    return oFile.SetKeyValue("UseIni", CDialogFile::FlagText(oStored.m_bUseIni)) &&
           oFile.SetKeyValue("WATCH", CDialogFile::FlagText(oStored.m_bWatch)) &&
           oFile.SetKeyValue("GOS", CDialogFile::FlagText(oStored.m_bAutoStart)) &&
           oFile.SetKeyValue("UseIIS", CDialogFile::FlagText(oStored.m_bUseIis));
  });
  if (!bSaved) {
    oOutcome.m_sError = "The settings could not be saved (see Wardenix.log); nothing was changed.";
    return oOutcome;
  }
  if (oStored.m_bAutoStart) OnChkGoOnStart(sUser);
  m_oValues = oStored;
  oOutcome.m_bAccepted = true;
  oOutcome.m_bClosed = true;
  return oOutcome;
}

}  // namespace wdx
