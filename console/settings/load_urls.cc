#include "console/settings/load_urls.h"

#include "foundation/ram_file.h"
#include "foundation/zuv_str.h"

namespace wdx {

CLoadURLs::CLoadURLs(std::string sProgramFolder, std::string sSection)
    : m_oFile(std::move(sProgramFolder), "CLoadURLs"), m_sSection(std::move(sSection)) {}

bool CLoadURLs::Open() {
  const bool bOk = m_oFile.Open();
  m_oEntries = m_oFile.GetSection(m_sSection);
  return bOk;
}

SDialogOutcome CLoadURLs::Ok(const std::vector<std::string>& oEntries) {
  SDialogOutcome oOutcome = ListOk(m_oFile, m_sSection, oEntries);
  if (oOutcome.m_bAccepted) m_oEntries = m_oFile.GetSection(m_sSection);
  return oOutcome;
}

std::string CLoadURLs::NormalizeUrl(const std::string& sTyped) {
  const std::string sText = CZuvStr::Trimmed(sTyped);
  if (sText.empty()) return "";
  const size_t uSlashes = sText.find("//");
  if (uSlashes == std::string::npos) return "http://" + sText;
  return "http://" + sText.substr(uSlashes + 2);
}

SDialogOutcome CLoadURLs::ListOk(CDialogFile& oFile, const std::string& sSection,
                                 const std::vector<std::string>& oEntries) {
  SDialogOutcome oOutcome;
  std::vector<std::string> oClean;
  for (const std::string& sEntry : oEntries) {
    std::string sTrimmed = CZuvStr::Trimmed(sEntry);
    if (!sTrimmed.empty()) oClean.push_back(std::move(sTrimmed));
  }
  oOutcome.m_sError = CDialogFile::CheckEntries(oClean);
  if (!oOutcome.m_sError.empty()) return oOutcome;
  if (!oFile.Save(
          [&](CRamFile& oRam) { return CDialogFile::SetSection(oRam, sSection, oClean); })) {
    oOutcome.m_sError = "The list could not be saved (see Wardenix.log); nothing was changed.";
    return oOutcome;
  }
  oOutcome.m_bAccepted = true;
  oOutcome.m_bClosed = true;
  return oOutcome;
}

}  // namespace wdx
