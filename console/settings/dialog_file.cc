#include "console/settings/dialog_file.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "console/settings_editor.h"
#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "foundation/settings_lock.h"
#include "foundation/zuv_str.h"
#include "service/host/wdx_codes.h"

namespace wdx {
namespace {

bool EqualsNoCase(const std::string& sLeft, const std::string& sRight) {
  return sLeft.size() == sRight.size() &&
         std::equal(sLeft.begin(), sLeft.end(), sRight.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) ==
                  std::toupper(static_cast<unsigned char>(b));
         });
}

// Index of the section's header line, or oLines.size() when there is none.
size_t FindHeader(const std::vector<std::string>& oLines, const std::string& sHeader) {
  for (size_t i = 0; i < oLines.size(); ++i) {
    if (EqualsNoCase(CZuvStr::Trimmed(oLines[i]), sHeader)) return i;
  }
  return oLines.size();
}

// One past the section's last line: the next line holding "[", or the end.
size_t SectionEnd(const std::vector<std::string>& oLines, size_t uHeader) {
  size_t i = uHeader + 1;
  while (i < oLines.size() && oLines[i].find('[') == std::string::npos) ++i;
  return i;
}

}  // namespace

CDialogFile::CDialogFile(std::string sProgramFolder, const char* szClass)
    : m_sFolder(std::move(sProgramFolder)), m_sClass(szClass) {}

bool CDialogFile::Open() {
  m_oLines.clear();
  CRamFile oFile;
  oFile.SetCreateWhenAbsent(false);
  if (!oFile.Initialize(m_sFolder.c_str(), WDX_SETTINGS_FILE)) {
    ZuvLogError((m_sClass + "::LoadIfNexessary() failed.").c_str());
    return false;
  }
  m_oLines = oFile.GetLines();
  return true;
}

std::string CDialogFile::GetKey(const std::string& sKey) const {
  return KeyOf(m_oLines, sKey);
}

std::vector<std::string> CDialogFile::GetSection(const std::string& sName) const {
  return SectionOf(m_oLines, sName);
}

bool CDialogFile::Save(const std::function<bool(CRamFile&)>& fnApply) {
  bool bOk = false;
  {
    CSettingsLock oLock;
    CRamFile oFile;
    bOk = !oLock.IsTimedOut() && oFile.Initialize(m_sFolder.c_str(), WDX_SETTINGS_FILE) &&
          fnApply(oFile) && oFile.SaveToFile();
    if (bOk) m_oLines = oFile.GetLines();
  }
  if (!bOk) ZuvLogError((m_sClass + "::SaveSettings() failed.").c_str());
  return bOk;
}

bool CDialogFile::SetSection(CRamFile& oFile, const std::string& sName,
                             const std::vector<std::string>& oEntries) {
  std::vector<std::string> oLines = oFile.GetLines();
  const std::string sHeader = "[" + sName + "]";
  size_t uHeader = FindHeader(oLines, sHeader);
  if (uHeader == oLines.size()) oLines.push_back(sHeader);
  const auto itFirst = oLines.begin() + static_cast<long>(uHeader + 1);
  const auto itEnd = oLines.begin() + static_cast<long>(SectionEnd(oLines, uHeader));
  oLines.insert(oLines.erase(itFirst, itEnd), oEntries.begin(), oEntries.end());
  return oFile.LoadToRamFromListBox(oLines);
}

std::string CDialogFile::KeyOf(const std::vector<std::string>& oLines, const std::string& sKey) {
  // As the service looks a key up: the first line whose name matches gives the value.
  for (const std::string& sLine : SectionOf(oLines, "KEYS")) {
    const size_t uEquals = sLine.find('=');
    if (EqualsNoCase(CZuvStr::Trimmed(sLine.substr(0, uEquals)), sKey)) {
      return uEquals == std::string::npos ? "" : sLine.substr(uEquals + 1);
    }
  }
  return "";
}

std::vector<std::string> CDialogFile::SectionOf(const std::vector<std::string>& oLines,
                                                const std::string& sName) {
  const size_t uHeader = FindHeader(oLines, "[" + sName + "]");
  if (uHeader == oLines.size()) return {};
  return {oLines.begin() + static_cast<long>(uHeader + 1),
          oLines.begin() + static_cast<long>(SectionEnd(oLines, uHeader))};
}

std::string CDialogFile::CheckValue(const std::string& sKey, const std::string& sValue) {
  const std::string sReason = CSettingsEditor::CheckLineText(sKey + "=" + sValue);
  return sReason.empty() ? "" : "The setting " + sKey + " " + sReason + ".";
}

std::string CDialogFile::CheckEntries(const std::vector<std::string>& oEntries) {
  for (size_t i = 0; i < oEntries.size(); ++i) {
    const std::string sReason = CSettingsEditor::CheckLineText(oEntries[i]);
    if (!sReason.empty()) return "Entry " + std::to_string(i + 1) + " of the list " + sReason + ".";
  }
  return "";
}

std::string CDialogFile::OneLine(const std::string& sText) {
  std::string sLine;
  for (size_t i = 0; i < sText.size(); ++i) {
    const char c = sText[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < sText.size() && sText[i + 1] == '\n') ++i;
      sLine += ' ';
    } else {
      sLine += c;
    }
  }
  return sLine;
}

}  // namespace wdx
