#include "foundation/ini_file.h"

#include "foundation/process_log.h"
#include "foundation/zuv_str.h"

namespace wdx {

bool CIniFile::Initialize(const char* szPath) {
  const bool bOk = Assign(szPath == nullptr ? "" : szPath) && CTxtFile4::Initialize(INI_LINE_SIZE);
  if (!bOk) ZuvLogError("CIniFile::Initialize() failed.");
  return bOk;
}

bool CIniFile::GetFirstKeyAndValue() {
  m_sKey.clear();
  m_sValue.clear();
  Close();
  if (!OpenForReadOnly(GetBuffer())) {
    ZuvLogError("CIniFile::GetFirstKeyAndValue() cannot open INI file.");
    return false;
  }
  return GetNextKeyAndValue();
}

bool CIniFile::GetNextKeyAndValue() {
  m_sKey.clear();
  m_sValue.clear();
  if (!IsOpen()) {
    ZuvLogError("CIniFile::GetNextKeyAndValue() finds INI file is not open.");
    return false;
  }
  while (ReadIniLine()) {
    const size_t uComment = m_sLine.find("##");
    if (uComment != std::string::npos) m_sLine.resize(uComment);
    const size_t uEqual = m_sLine.find('=');
    if (uEqual == std::string::npos) continue;
    m_sKey = CZuvStr::Trimmed(m_sLine.substr(0, uEqual));
    m_sValue = CZuvStr::Trimmed(m_sLine.substr(uEqual + 1));
    return true;
  }
  return false;
}

}  // namespace wdx

namespace wdx {

// Operators edit this file with the editors of this system: a line ends at LF, and a CR
// anywhere (the CR LF of files written elsewhere) is dropped.
bool CIniFile::ReadIniLine() {
  m_sLine.clear();
  bool bAny = false;
  while (ReadCharForward()) {
    bAny = true;
    const char cChar = GetLastChar();
    if (cChar == '\n') return true;
    if (cChar == '\r') continue;
    if (m_sLine.size() >= static_cast<size_t>(INI_LINE_SIZE)) {
      ZuvLogError("CTxtFile4::ReadTextLine has buffer overflow.");
      return false;
    }
    m_sLine += cChar;
  }
  return bAny;
}

}  // namespace wdx
