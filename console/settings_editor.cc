#include "console/settings_editor.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "foundation/settings_lock.h"
#include "foundation/zuv_str.h"
#include "service/host/wdx_codes.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

constexpr size_t kMaxLine = 255;

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

// Keys of "[KEYS]" that the service reads (besides PName1..6, PNum1..6 and PE1..6).
// clang-format off
const std::array<const char*, 32> kKeys = {
    "RestartsB4Reboot", "AdminId",        "MachineName",    "DomainName", "Password",
    "UseIni",           "MinuteInterval", "RstrSecs",       "LogEvents",  "GOS",
    "PAck",             "MsgDown",        "MsgUp",          "SmtpServer", "EmailBodyDown",
    "EmailBodyUp",      "EmailSubject",   "EmailSubjectDn", "EmailFrom",  "EmailUrl",
    "EmailEnabled",     "Sensitivity",    "WATCH",          "SvrStatus",  "UrlTimeout",
    "SmtpSecurity",     "SmtpUser",       "SmtpPassword",   "SipAccount", "SipPassword",
    "SipProxy",         "MetricsFile"};
// clang-format on

// The list sections the service reads, in the order "settings list" shows them.
const std::array<const char*, 5> kListSections = {"URLS", "RURLS", "PROGS", "STOPS", "EMAILS"};

// The lines of the section with that header ("[NAME]"), empty when there is none.
std::vector<std::string> SectionOf(const std::vector<std::string>& oLines,
                                   const std::string& sHeader) {
  const size_t uHeader = FindHeader(oLines, sHeader);
  if (uHeader == oLines.size()) return {};
  return {oLines.begin() + static_cast<long>(uHeader + 1),
          oLines.begin() + static_cast<long>(SectionEnd(oLines, uHeader))};
}

}  // namespace

CSettingsEditor::CSettingsEditor(const std::string& sProgramFolder) : m_sFolder(sProgramFolder) {}

bool CSettingsEditor::Fail(const std::string& sReason) {
  m_sLastError = sReason;
  return false;
}

bool CSettingsEditor::LoadFile() {
  m_pFile = std::make_unique<CRamFile>();
  m_pFile->SetCreateWhenAbsent(false);
  if (m_pFile->Initialize(m_sFolder.c_str(), WDX_SETTINGS_FILE)) return true;
  return Fail("Cannot read " + m_sFolder + WDX_SETTINGS_FILE +
              ": it is unreadable or damaged, or its folder is missing.");
}

bool CSettingsEditor::Load() {
  return LoadFile();
}

bool CSettingsEditor::Change(const std::function<bool(CRamFile&)>& fnApply) {
  CSettingsLock oLock;
  if (oLock.IsTimedOut()) {
    return Fail("Another program kept " + m_sFolder + WDX_SETTINGS_FILE +
                " locked for 15 seconds; nothing was changed. Try again.");
  }
  if (!LoadFile() || !fnApply(*m_pFile)) return false;
  if (m_pFile->SaveToFile()) return true;
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

bool CSettingsEditor::IsListSection(const std::string& sSection) {
  std::string sName = CZuvStr::Trimmed(sSection);
  if (sName.size() > 2 && sName.front() == '[' && sName.back() == ']') {
    sName = sName.substr(1, sName.size() - 2);
  }
  for (const char* szSection : kListSections) {
    if (EqualsNoCase(sName, szSection)) return true;
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

bool CSettingsEditor::CheckValue(const std::string& sKey, std::string& sValue,
                                 const std::string& sWhere) {
  const std::string sAsked = sValue;
  const std::string sReason = CAllSets::CheckNumber(sKey, sValue);
  if (!sReason.empty()) return Fail(sWhere + sReason);
  if (sValue != sAsked) {
    m_sNote += sWhere + CZuvStr::Trimmed(sKey) + " " + CZuvStr::Trimmed(sAsked) + " is stored as " + sValue +
               ", its least value.";
  }
  return true;
}

std::vector<std::string> CSettingsEditor::ListKeys() const {
  std::vector<std::string> oKeys = SectionOf(m_pFile->GetLines(), "[KEYS]");
  for (std::string& sLine : oKeys) {
    const size_t uEquals = sLine.find('=');
    const std::string sKey = uEquals == std::string::npos ? "" : CZuvStr::Trimmed(sLine.substr(0, uEquals));
    if (EqualsNoCase(sKey, "Password") || EqualsNoCase(sKey, "SmtpPassword") ||
        EqualsNoCase(sKey, "SipPassword")) {
      sLine = sLine.substr(0, uEquals + 1) + "********";
    }
  }
  return oKeys;
}

std::vector<std::string> CSettingsEditor::ListSections() const {
  std::vector<std::string> oList;
  for (const char* szSection : kListSections) {
    oList.push_back(std::string("[") + szSection + "]");
    for (std::string& sLine : GetSectionLines(szSection)) oList.push_back(std::move(sLine));
  }
  return oList;
}

std::vector<std::string> CSettingsEditor::GetSectionLines(const std::string& sSection) const {
  std::string sName = CZuvStr::Trimmed(sSection);
  if (sName.empty() || sName.front() != '[') sName = "[" + sName + "]";
  return SectionOf(m_pFile->GetLines(), sName);
}

std::string CSettingsEditor::GetKey(const std::string& sKey) const {
  // As the service looks a key up: the first line whose name matches gives the value.
  for (const std::string& sLine : SectionOf(m_pFile->GetLines(), "[KEYS]")) {
    const size_t uEquals = sLine.find('=');
    if (EqualsNoCase(CZuvStr::Trimmed(sLine.substr(0, uEquals)), CZuvStr::Trimmed(sKey))) {
      return uEquals == std::string::npos ? "" : sLine.substr(uEquals + 1);
    }
  }
  return "";
}

std::vector<std::string> CSettingsEditor::ExportLines() const {
  return m_pFile->GetLines();
}

bool CSettingsEditor::SetKey(const std::string& sKey, const std::string& sValue) {
  m_sNote.clear();
  const std::string sKeyTrimmed = CZuvStr::Trimmed(sKey);
  if (sKeyTrimmed.empty() || sKeyTrimmed.find('=') != std::string::npos) {
    return Fail("A key must not be empty or hold \"=\".");
  }
  std::string sStored = sValue;
  if (!CheckValue(sKeyTrimmed, sStored, "")) return false;
  const std::string sReason = CheckLineText(sKeyTrimmed + "=" + sStored);
  if (!sReason.empty()) return Fail("The line " + sKeyTrimmed + "=... " + sReason + ".");
  return Change([&](CRamFile& oFile) {
    return oFile.SetKeyValue(sKeyTrimmed.c_str(), sStored.c_str()) ||
           Fail("Cannot set " + sKeyTrimmed + ".");
  });
}

bool CSettingsEditor::SectionName(const std::string& sSection, std::string& sHeader) {
  const std::string sName = CZuvStr::Trimmed(sSection);
  if (sName.empty() || sName.find_first_of("[]") != std::string::npos || sName.size() > 64) {
    return Fail("A section is named without brackets, e.g. URLS.");
  }
  sHeader = "[" + sName + "]";
  if (EqualsNoCase(sHeader, "[KEYS]")) return Fail("Use \"settings set\" for keys.");
  return true;
}

bool CSettingsEditor::AddLine(const std::string& sSection, const std::string& sLine) {
  m_sNote.clear();
  std::string sHeader;
  if (!SectionName(sSection, sHeader)) return false;
  const std::string sEntry = CZuvStr::Trimmed(sLine);
  if (sEntry.empty()) return Fail("An empty line cannot be added.");
  const std::string sReason = CheckLineText(sEntry);
  if (!sReason.empty()) return Fail("The line " + sReason + ".");
  return Change([&](CRamFile& oFile) {
    std::vector<std::string> oLines = oFile.GetLines();
    const size_t uHeader = FindHeader(oLines, sHeader);
    if (uHeader == oLines.size()) oLines.push_back(sHeader);
    const size_t uEnd = SectionEnd(oLines, uHeader);
    oLines.insert(oLines.begin() + static_cast<long>(uEnd), sEntry);
    return oFile.LoadToRamFromListBox(oLines) || Fail("Cannot take the new lines.");
  });
}

bool CSettingsEditor::RemoveLine(const std::string& sSection, const std::string& sLine) {
  m_sNote.clear();
  std::string sHeader;
  if (!SectionName(sSection, sHeader)) return false;
  const std::string sEntry = CZuvStr::Trimmed(sLine);
  return Change([&](CRamFile& oFile) {
    std::vector<std::string> oLines = oFile.GetLines();
    const size_t uHeader = FindHeader(oLines, sHeader);
    if (uHeader == oLines.size()) return Fail("There is no section " + sHeader + ".");
    auto itFirst = oLines.begin() + static_cast<long>(uHeader + 1);
    auto itEnd = oLines.begin() + static_cast<long>(SectionEnd(oLines, uHeader));
    auto itNewEnd = std::remove(itFirst, itEnd, sEntry);
    if (itNewEnd == itEnd) return Fail("\"" + sEntry + "\" is not in " + sHeader + ".");
    oLines.erase(itNewEnd, itEnd);
    return oFile.LoadToRamFromListBox(oLines) || Fail("Cannot take the new lines.");
  });
}

bool CSettingsEditor::ImportLines(const std::vector<std::string>& oLines) {
  m_sNote.clear();
  std::vector<std::string> oClean;
  bool bInKeys = false;
  for (size_t i = 0; i < oLines.size(); ++i) {
    const std::string sWhere = "Line " + std::to_string(i + 1);
    std::string sLine = oLines[i];
    if (!sLine.empty() && sLine.back() == '\r') sLine.pop_back();
    if (sLine.size() > kMaxLine) return Fail(sWhere + " is longer than 255 characters.");
    for (unsigned char c : sLine) {
      if (c < 32 || c > 126)
        return Fail(sWhere + " holds a character that is not printable ASCII.");
    }
    if (sLine.find('[') != std::string::npos) bInKeys = EqualsNoCase(CZuvStr::Trimmed(sLine), "[KEYS]");
    const size_t uEquals = sLine.find('=');
    if (bInKeys && uEquals != std::string::npos) {
      const std::string sKey = sLine.substr(0, uEquals);
      std::string sValue = sLine.substr(uEquals + 1);
      if (!CheckValue(sKey, sValue, sWhere + ": ")) return false;
      sLine = sKey + "=" + sValue;
    }
    oClean.push_back(sLine);
  }
  return Change([&](CRamFile& oFile) {
    return oFile.LoadToRamFromListBox(oClean) || Fail("Cannot take the imported lines.");
  });
}

}  // namespace wdx
