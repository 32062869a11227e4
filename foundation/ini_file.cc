#include "foundation/ini_file.h"

#include "foundation/process_log.h"
#include "foundation/zuv_str.h"

namespace wdx {
namespace {

}  // namespace

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
  while (ReadTextLine()) {
    m_sLine = GetLineBuffer();
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
