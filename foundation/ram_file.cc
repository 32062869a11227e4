#include "foundation/ram_file.h"

#include <new>

#include "foundation/array_str.h"
#include "foundation/crypto_txt_file.h"
#include "foundation/process_log.h"
#include "foundation/zuv_str.h"
#include "platform/file_system.h"

namespace wdx {
namespace {

constexpr const char* kKeysSection = "[KEYS]";

char FoldCase(char cChar) {
  return (cChar >= 'a' && cChar <= 'z') ? static_cast<char>(cChar - 'a' + 'A') : cChar;
}

// Equal ignoring ASCII letter case and leading/trailing trim characters.
bool SameName(const std::string& sA, const std::string& sB) {
  const std::string sLeft = CZuvStr::Trimmed(sA);
  const std::string sRight = CZuvStr::Trimmed(sB);
  if (sLeft.size() != sRight.size()) return false;
  for (size_t i = 0; i < sLeft.size(); ++i) {
    if (FoldCase(sLeft[i]) != FoldCase(sRight[i])) return false;
  }
  return true;
}

// The key of a line: the text before the first "=", or the whole line.
std::string KeyOf(const std::string& sLine) {
  const size_t uEqual = sLine.find('=');
  return uEqual == std::string::npos ? sLine : sLine.substr(0, uEqual);
}

std::string TextOf(const char* szText) {
  return szText == nullptr ? std::string() : szText;
}

}  // namespace

CRamFileRO::CRamFileRO() : CRamFileRO("CRamFileRO") {}

CRamFileRO::CRamFileRO(const char* szPrefix) : m_sPrefix(szPrefix) {}

CRamFileRO::~CRamFileRO() = default;

void CRamFileRO::ReportFailure(const char* szOperationText) const {
  const std::string sText = m_sPrefix + "::" + szOperationText;
  ZuvLogError(sText.c_str());
}

bool CRamFileRO::IsLive() const {
  if (!m_bInitialized) {
    ReportFailure("IsLive() Object is not initialized.");
    return false;
  }
  return CZuvBase::IsLive();
}

bool CRamFileRO::BuildPath(const std::string& sFolder, const std::string& sName) {
  m_sFolder = sFolder;
  m_sFileName = sName;
  m_sPath.clear();
  if (sFolder.empty() || sName.empty()) return false;
  if (sFolder.back() != '/') {
    m_sPath = sName.front() == '/' ? sFolder + sName : sFolder + "/" + sName;
  } else {
    m_sPath = sFolder + (sName.front() == '/' ? sName.substr(1) : sName);
  }
  return true;
}

bool CRamFileRO::Initialize(const char* szFolder, const char* szName) {
  m_bInitialized = false;
  SetId(ZUV_ID_LIVE);
  bool bOk = BuildPath(TextOf(szFolder), TextOf(szName));
  if (bOk && m_oLines.empty()) bOk = LoadToRam();
  m_bInitialized = bOk;
  if (!bOk) ReportFailure("Initialize() failed.");
  return bOk;
}

bool CRamFileRO::OpenForLoad(bool& bAbsent) {
  bAbsent = false;
  if (!m_bCreateWhenAbsent) {
    if (m_pCryptoFile->OpenForReadOnlyQuietly(m_sPath.c_str())) return true;
    // Only a file that is not there (in a folder that is) reads as empty.
    bAbsent = !GetFileSystem().FileExists(m_sPath) && GetFileSystem().FolderExists(m_sFolder);
    return false;
  }
  if (m_pCryptoFile->OpenForReadWrite(m_sPath.c_str())) return true;
  // Only an absent file is created: an existing one that cannot be opened is left alone.
  if (GetFileSystem().FileExists(m_sPath)) return false;
  // Made private before anything is written to it: the file will hold the password.
  return m_pCryptoFile->Create(m_sPath.c_str()) && GetFileSystem().SetMode(m_sPath, RAM_FILE_MODE);
}

bool CRamFileRO::LoadToRam() {
  // A fresh file object: its line counter (and so the key positions) starts at line 0.
  m_pCryptoFile.reset(new (std::nothrow) CCryptoTxtfile());
  m_oLines.clear();
  bool bAbsent = false;
  bool bOk = m_pCryptoFile && m_pCryptoFile->Initialize(RAM_FILE_LINE_SIZE) && !m_sPath.empty() &&
             OpenForLoad(bAbsent);
  if (bOk) {
    while (m_pCryptoFile->ReadTextLine())
      m_oLines.push_back(CZuvStr::Trimmed(m_pCryptoFile->GetLineBuffer()));
    bOk = m_pCryptoFile->IsEof() && !m_pCryptoFile->IsReadError();
    m_pCryptoFile->Close();
  } else if (bAbsent) {
    return true;  // nothing to read, and nothing is written
  }
  if (!bOk) {
    // Half a file must never be taken for the whole one (and saved over it).
    m_oLines.clear();
    m_bInitialized = false;
    ReportFailure("LoadToRam() failed.");
  }
  return bOk;
}

bool CRamFileRO::ReloadFromFile() {
  std::vector<std::string> oKept = m_oLines;
  const bool bWasInitialized = m_bInitialized;
  if (LoadToRam()) {
    m_bInitialized = true;
    SetId(ZUV_ID_LIVE);
    return true;
  }
  m_oLines = std::move(oKept);
  m_bInitialized = bWasInitialized;
  return false;
}

void CRamFileRO::FindSection(const char* szSection, size_t& uFirst, size_t& uEnd) {
  m_sSection = TextOf(szSection);
  size_t uHeader = 0;
  while (uHeader < m_oLines.size() && !SameName(m_oLines[uHeader], m_sSection)) ++uHeader;
  if (uHeader == m_oLines.size()) {
    m_oLines.push_back(m_sSection);
    uFirst = uEnd = m_oLines.size();
    return;
  }
  uFirst = uHeader + 1;
  uEnd = uFirst;
  while (uEnd < m_oLines.size() && m_oLines[uEnd].find('[') == std::string::npos) ++uEnd;
}

std::string CRamFileRO::GetKeyValue(const char* szName) {
  m_sValue.clear();
  if (!IsLive()) return m_sValue;
  size_t uFirst = 0;
  size_t uEnd = 0;
  FindSection(kKeysSection, uFirst, uEnd);
  const std::string sName = TextOf(szName);
  for (size_t i = uFirst; i < uEnd; ++i) {
    const std::string& sLine = m_oLines[i];
    if (!SameName(KeyOf(sLine), sName)) continue;
    const size_t uEqual = sLine.find('=');
    if (uEqual != std::string::npos) m_sValue = sLine.substr(uEqual + 1);
    break;
  }
  return m_sValue;
}

bool CRamFileRO::SetKeyValue(const char* szName, const char* szValue) {
  if (!IsLive()) return false;
  size_t uFirst = 0;
  size_t uEnd = 0;
  FindSection(kKeysSection, uFirst, uEnd);
  const std::string sName = TextOf(szName);
  const std::string sLine = sName + "=" + TextOf(szValue);
  for (size_t i = uFirst; i < uEnd; ++i) {
    if (SameName(KeyOf(m_oLines[i]), sName)) {
      m_oLines[i] = sLine;
      return true;
    }
  }
  m_oLines.insert(m_oLines.begin() + static_cast<std::ptrdiff_t>(uEnd), sLine);
  return true;
}

bool CRamFileRO::LoadSectionIntoArray(CArrayStr& oList, const char* szSection) {
  if (!IsLive() || !oList.IsLive()) return false;
  size_t uFirst = 0;
  size_t uEnd = 0;
  FindSection(szSection, uFirst, uEnd);
  const size_t uSize = static_cast<size_t>(oList.GetSize());
  for (size_t i = uFirst; i < uEnd && i - uFirst < uSize; ++i) {
    if (!oList.SetAt(static_cast<int>(i - uFirst), m_oLines[i].c_str())) return false;
  }
  return true;
}

std::string CRamFileRO::GetFirstLineOfSection(const char* szSection) {
  m_sLastLine.clear();
  m_uWalkIndex = m_uWalkEnd = 0;
  if (!IsLive()) return m_sLastLine;
  FindSection(szSection, m_uWalkIndex, m_uWalkEnd);
  return GetNextLineOfSection();
}

std::string CRamFileRO::GetNextLineOfSection() {
  m_sLastLine.clear();
  // The walk ends at the section's end; the lines may have changed since it began.
  if (m_uWalkIndex < m_uWalkEnd && m_uWalkIndex < m_oLines.size()) {
    m_sLastLine = m_oLines[m_uWalkIndex++];
  }
  return m_sLastLine;
}

bool CRamFileRO::BuildFileText(std::string& sText) {
  m_pCryptoFile.reset(new (std::nothrow) CCryptoTxtfile());
  if (!m_pCryptoFile || !m_pCryptoFile->Initialize(RAM_FILE_LINE_SIZE)) return false;
  for (const std::string& sLine : m_oLines) {
    const std::string sTrimmed = CZuvStr::Trimmed(sLine);
    if (sTrimmed.empty()) continue;
    if (sTrimmed.size() > static_cast<size_t>(RAM_FILE_LINE_SIZE)) {
      // It could never be read back: the whole file would become unreadable.
      ReportFailure("SaveToFile() has a line longer than 255 characters.");
      return false;
    }
    if (!m_pCryptoFile->AppendToText(sTrimmed.c_str(), sText)) return false;
  }
  return true;
}

bool CRamFileRO::SaveToFile() {
  bool bOk = IsLive() && !m_sPath.empty();
  std::string sText;
  if (bOk) sText.reserve(m_oLines.size() * 32);
  bOk = bOk && BuildFileText(sText) && GetFileSystem().ReplaceFile(m_sPath, sText, RAM_FILE_MODE);
  if (!bOk) ReportFailure("SaveToFile() failed.");
  return bOk;
}

CRamFile::CRamFile() : CRamFileRO("CRamFile") {}

bool CRamFile::LoadToRamFromListBox(const std::vector<std::string>& oLines) {
  if (!HasPath()) {
    ReportFailure("LoadToRamFromListBox() failed.");
    return false;
  }
  std::vector<std::string>& oMine = Lines();
  oMine.clear();
  for (const std::string& sLine : oLines) {
    std::string sTrimmed = CZuvStr::Trimmed(sLine);
    if (!sTrimmed.empty()) oMine.push_back(std::move(sTrimmed));
  }
  SetId(ZUV_ID_LIVE);
  SetInitialized(true);
  return true;
}

std::vector<std::string> CRamFile::GetLines() const {
  return Lines();
}

}  // namespace wdx
