#include "console/settings_editor.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "service/host/wdx_codes.h"

namespace wdx {
namespace {

constexpr size_t kMaxLine = 255;

std::string Trimmed(const std::string& sText) {
  auto IsTrim = [](unsigned char c) { return c < 33 || c > 125; };
  size_t uBegin = 0;
  size_t uEnd = sText.size();
  while (uBegin < uEnd && IsTrim(sText[uBegin])) ++uBegin;
  while (uEnd > uBegin && IsTrim(sText[uEnd - 1])) --uEnd;
  return sText.substr(uBegin, uEnd - uBegin);
}

bool EqualsNoCase(const std::string& sLeft, const std::string& sRight) {
  return sLeft.size() == sRight.size() &&
         std::equal(sLeft.begin(), sLeft.end(), sRight.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) ==
                  std::toupper(static_cast<unsigned char>(b));
         });
}

// Index of the section's header line, or lines.size() when there is none.
size_t FindHeader(const std::vector<std::string>& oLines, const std::string& sHeader) {
  for (size_t i = 0; i < oLines.size(); ++i) {
    if (EqualsNoCase(Trimmed(oLines[i]), sHeader)) return i;
  }
  return oLines.size();
}

// One past the section's last line: the next line holding "[", or the end.
size_t SectionEnd(const std::vector<std::string>& oLines, size_t uHeader) {
  size_t i = uHeader + 1;
  while (i < oLines.size() && oLines[i].find('[') == std::string::npos) ++i;
  return i;
}

// Keys of "[KEYS]" that the service reads (besides PName1..6, PNum1..6 and PE1..6).
const std::array<const char*, 25> kKeys = {
    "RestartsB4Reboot", "AdminId",       "MachineName", "DomainName",   "Password",
    "UseIni",           "MinuteInterval", "RstrSecs",   "LogEvents",    "GOS",
    "PAck",             "MsgDown",       "MsgUp",       "SmtpServer",   "EmailBodyDown",
    "EmailBodyUp",      "EmailSubject",  "EmailSubjectDn", "EmailFrom", "EmailUrl",
    "EmailEnabled",     "Sensitivity",   "WATCH",       "SvrStatus",    "UrlTimeout"};

}  // namespace

CSettingsEditor::CSettingsEditor(const std::string& sProgramFolder) : m_sFolder(sProgramFolder) {}

bool CSettingsEditor::Fail(const std::string& sReason) {
  m_sLastError = sReason;
  return false;
}

bool CSettingsEditor::Load() {
  if (m_oFile.Initialize(m_sFolder.c_str(), WDX_SETTINGS_FILE)) return true;
  return Fail("Cannot load " + m_sFolder + WDX_SETTINGS_FILE +
              " (see Wardenix.log): it is missing and cannot be created, unreadable, or damaged.");
}

bool CSettingsEditor::Save() {
  if (m_oFile.SaveToFile()) return true;
  return Fail("Cannot save " + m_sFolder + WDX_SETTINGS_FILE +
              " (see Wardenix.log); the file was left as it was.");
}

bool CSettingsEditor::IsKnownKey(const std::string& sKey) {
  for (const char* szKey : kKeys) {
    if (EqualsNoCase(sKey, szKey)) return true;
  }
  for (const char* szPrefix : {"PName", "PNum", "PE"}) {
    const std::string sPrefix(szPrefix);
    if (sKey.size() == sPrefix.size() + 1 && EqualsNoCase(sKey.substr(0, sPrefix.size()), sPrefix) &&
        sKey.back() >= '1' && sKey.back() <= '6') {
      return true;
    }
  }
  return false;
}

std::string CSettingsEditor::CheckLineText(const std::string& sText) {
  if (sText.size() > kMaxLine) return "longer than 255 characters";
  for (unsigned char c : sText) {
    if (c < 32 || c > 126) return "holds a character that is not printable ASCII";
  }
  if (sText.find('[') != std::string::npos) return "holds \"[\", which would end its section";
  return "";
}

std::vector<std::string> CSettingsEditor::ListKeys() {
  std::vector<std::string> oLines = m_oFile.GetLines();
  std::vector<std::string> oKeys;
  const size_t uHeader = FindHeader(oLines, "[KEYS]");
  if (uHeader == oLines.size()) return oKeys;
  const size_t uEnd = SectionEnd(oLines, uHeader);
  for (size_t i = uHeader + 1; i < uEnd; ++i) {
    std::string sLine = oLines[i];
    const size_t uEquals = sLine.find('=');
    if (uEquals != std::string::npos && EqualsNoCase(Trimmed(sLine.substr(0, uEquals)), "Password")) {
      sLine = sLine.substr(0, uEquals + 1) + "********";
    }
    oKeys.push_back(sLine);
  }
  return oKeys;
}

std::string CSettingsEditor::GetKey(const std::string& sKey) {
  return m_oFile.GetKeyValue(sKey.c_str());
}

bool CSettingsEditor::SetKey(const std::string& sKey, const std::string& sValue) {
  const std::string sKeyTrimmed = Trimmed(sKey);
  if (sKeyTrimmed.empty() || sKeyTrimmed.find('=') != std::string::npos) {
    return Fail("A key must not be empty or hold \"=\".");
  }
  const std::string sReason = CheckLineText(sKeyTrimmed + "=" + sValue);
  if (!sReason.empty()) return Fail("The line " + sKeyTrimmed + "=... " + sReason + ".");
  if (!m_oFile.SetKeyValue(sKeyTrimmed.c_str(), sValue.c_str())) {
    return Fail("Cannot set " + sKeyTrimmed + ".");
  }
  return Save();
}

bool CSettingsEditor::SectionName(const std::string& sSection, std::string& sHeader) {
  const std::string sName = Trimmed(sSection);
  if (sName.empty() || sName.find_first_of("[]") != std::string::npos || sName.size() > 64) {
    return Fail("A section is named without brackets, e.g. URLS.");
  }
  sHeader = "[" + sName + "]";
  if (EqualsNoCase(sHeader, "[KEYS]")) return Fail("Use \"settings set\" for keys.");
  return true;
}

bool CSettingsEditor::AddLine(const std::string& sSection, const std::string& sLine) {
  std::string sHeader;
  if (!SectionName(sSection, sHeader)) return false;
  const std::string sEntry = Trimmed(sLine);
  if (sEntry.empty()) return Fail("An empty line cannot be added.");
  const std::string sReason = CheckLineText(sEntry);
  if (!sReason.empty()) return Fail("The line " + sReason + ".");
  std::vector<std::string> oLines = m_oFile.GetLines();
  size_t uHeader = FindHeader(oLines, sHeader);
  if (uHeader == oLines.size()) oLines.push_back(sHeader);
  const size_t uEnd = SectionEnd(oLines, uHeader);
  oLines.insert(oLines.begin() + static_cast<long>(uEnd), sEntry);
  if (!m_oFile.LoadToRamFromListBox(oLines)) return Fail("Cannot take the new lines.");
  return Save();
}

bool CSettingsEditor::RemoveLine(const std::string& sSection, const std::string& sLine) {
  std::string sHeader;
  if (!SectionName(sSection, sHeader)) return false;
  std::vector<std::string> oLines = m_oFile.GetLines();
  const size_t uHeader = FindHeader(oLines, sHeader);
  if (uHeader == oLines.size()) return Fail("There is no section " + sHeader + ".");
  const size_t uEnd = SectionEnd(oLines, uHeader);
  const std::string sEntry = Trimmed(sLine);
  auto itFirst = oLines.begin() + static_cast<long>(uHeader + 1);
  auto itEnd = oLines.begin() + static_cast<long>(uEnd);
  auto itNewEnd = std::remove(itFirst, itEnd, sEntry);
  if (itNewEnd == itEnd) return Fail("\"" + sEntry + "\" is not in " + sHeader + ".");
  oLines.erase(itNewEnd, itEnd);
  if (!m_oFile.LoadToRamFromListBox(oLines)) return Fail("Cannot take the new lines.");
  return Save();
}

std::vector<std::string> CSettingsEditor::ExportLines() { return m_oFile.GetLines(); }

bool CSettingsEditor::ImportLines(const std::vector<std::string>& oLines) {
  std::vector<std::string> oClean;
  for (size_t i = 0; i < oLines.size(); ++i) {
    std::string sLine = oLines[i];
    if (!sLine.empty() && sLine.back() == '\r') sLine.pop_back();
    if (sLine.size() > kMaxLine) {
      return Fail("Line " + std::to_string(i + 1) + " is longer than 255 characters.");
    }
    for (unsigned char c : sLine) {
      if (c < 32 || c > 126) {
        return Fail("Line " + std::to_string(i + 1) +
                    " holds a character that is not printable ASCII.");
      }
    }
    oClean.push_back(sLine);
  }
  if (!m_oFile.LoadToRamFromListBox(oClean)) return Fail("Cannot take the imported lines.");
  return Save();
}

}  // namespace wdx
