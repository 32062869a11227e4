#include "console/settings/restarter_defs.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "foundation/ram_file.h"
#include "foundation/zuv_str.h"

namespace wdx {

CRestarterDefs::CRestarterDefs(std::string sProgramFolder)
    : m_oFile(std::move(sProgramFolder), "CRestarterDefs") {}

bool CRestarterDefs::Open() {
  const bool bOk = m_oFile.Open();
  m_oMonitored = m_oFile.GetSection("STOPS");
  m_oStarted = m_oFile.GetSection("PROGS");
  return bOk;
}

SDialogOutcome CRestarterDefs::Ok(const std::vector<std::string>& oMonitored,
                                  const std::vector<std::string>& oStarted) {
  SDialogOutcome oOutcome;
  std::vector<std::string> oLists[2];
  const std::vector<std::string>* apGiven[2] = {&oMonitored, &oStarted};
  for (int i = 0; i < 2; ++i) {
    for (const std::string& sEntry : *apGiven[i]) {
      if (!CZuvStr::Trimmed(sEntry).empty()) oLists[i].push_back(CZuvStr::Trimmed(sEntry));
    }
    oOutcome.m_sError = CDialogFile::CheckEntries(oLists[i]);
    if (!oOutcome.m_sError.empty()) return oOutcome;
  }
  const bool bSaved = m_oFile.Save([&](CRamFile& oFile) {
    return CDialogFile::SetSection(oFile, "STOPS", oLists[0]) &&
           CDialogFile::SetSection(oFile, "PROGS", oLists[1]);
  });
  if (!bSaved) {
    oOutcome.m_sError = "The lists could not be saved (see Wardenix.log); nothing was changed.";
    return oOutcome;
  }
  m_oMonitored = oLists[0];
  m_oStarted = oLists[1];
  oOutcome.m_oMessages.push_back(WDX_RESTART_NOTE);
  oOutcome.m_bAccepted = true;
  oOutcome.m_bClosed = true;
  return oOutcome;
}

std::string CRestarterDefs::CheckProgramFile(const std::string& sPath) {
  const std::string sFile = CZuvStr::Trimmed(sPath);
  if (sFile.empty() || sFile[0] != '/')
    return "Give the program's full path, beginning with \"/\".";
  std::error_code oError;
  if (!std::filesystem::is_regular_file(sFile, oError)) return "There is no file " + sFile + ".";
  return "";
}

bool CRestarterDefs::ListFolder(const std::string& sFolder, std::vector<SFolderEntry>& oEntries) {
  oEntries.clear();
  std::error_code oError;
  if (sFolder.empty() || sFolder[0] != '/') return false;
  std::filesystem::directory_iterator itEntry(sFolder, oError);
  if (oError) return false;
  for (; itEntry != std::filesystem::directory_iterator(); itEntry.increment(oError)) {
    if (oError) return false;
    std::error_code oTypeError;
    const bool bFolder = itEntry->is_directory(oTypeError);
    oEntries.push_back({itEntry->path().filename().string(), bFolder});
  }
  std::sort(oEntries.begin(), oEntries.end(), [](const SFolderEntry& a, const SFolderEntry& b) {
    return a.m_bFolder != b.m_bFolder ? a.m_bFolder : a.m_sName < b.m_sName;
  });
  return true;
}

}  // namespace wdx
