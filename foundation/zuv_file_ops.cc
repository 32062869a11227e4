#include "foundation/zuv_file_ops.h"

#include <climits>
#include <cstring>
#include <string>

#include "foundation/process_log.h"
#include "platform/file_system.h"

namespace wdx {
namespace {

std::string TextOf(const char* szText) {
  return szText == nullptr ? std::string() : szText;
}

}  // namespace

void CZuvFileOps::Fail(const char* szText) {
  m_oStrLastError.Assign(szText);
  if (!m_bQuiet) ZuvLogError(szText);
}

bool CZuvFileOps::FileExists(const char* szPath) {
  const std::string sPath = TextOf(szPath);
  return !sPath.empty() && GetFileSystem().FileExists(sPath);
}

bool CZuvFileOps::FolderExists(const char* szPath) {
  // Asks the file system directly: changing the current folder to test it would disturb the
  // other threads of the process.
  const std::string sPath = TextOf(szPath);
  return !sPath.empty() && GetFileSystem().FolderExists(sPath);
}

bool CZuvFileOps::DeleteFile(const char* szPath) {
  const std::string sPath = TextOf(szPath);
  if (!sPath.empty() && GetFileSystem().DeleteFile(sPath)) return true;
  const std::string sText = "Warning: Unable to delete file at " + sPath +
                            "\r\n It may already be open in another process.";
  Fail(sText.c_str());
  return false;
}

bool CZuvFileOps::CopyFile(const char* szSource, const char* szTarget) {
  if (!FileExists(szSource)) return false;
  const std::string sTarget = TextOf(szTarget);
  if (!sTarget.empty() && GetFileSystem().CopyFile(TextOf(szSource), sTarget)) return true;
  CZuvStr oText;
  const std::string sText = "Warning: did not copy to target path: " + sTarget +
                            "\r\n Target path may already be in use.";
  oText.Assign(sText.c_str());
  oText.Trim();
  Fail(oText.GetBuffer());
  return false;
}

int CZuvFileOps::FileSizeOf(const char* szPath) {
  const std::string sPath = TextOf(szPath);
  const int64_t iSize = sPath.empty() ? -1 : GetFileSystem().FileSize(sPath);
  if (iSize < 0) {
    const std::string sText = "Problem: CZuvFileOps::FileSizeOf() cannot open " + sPath;
    Fail(sText.c_str());
    return -1;
  }
  return iSize > INT_MAX ? INT_MAX : static_cast<int>(iSize);
}

const char* CZuvFileOps::GetModulePath(const char* szName) {
  const std::string sName = TextOf(szName);
  std::string sPath =
      sName.empty() ? GetFileSystem().GetExecutablePath() : JoinPath(GetProgramFolder(), sName);
  if (sPath.size() > static_cast<size_t>(ZUV_MAX_MODULE_PATH)) sPath.resize(ZUV_MAX_MODULE_PATH);
  m_oStrModulePath.Assign(sPath.c_str());
  return m_oStrModulePath.GetBuffer();
}

const char* CZuvFileOps::GetFileName(const char* szPath) {
  const char* szText = szPath == nullptr ? "" : szPath;
  const char* pSlash = std::strrchr(szText, '/');
  m_oStrFileName.Assign(pSlash == nullptr ? szText : pSlash + 1);
  return m_oStrFileName.Trim();
}

const char* CZuvFileOps::GetFolder(const char* szPath) {
  const std::string sPath = TextOf(szPath);
  const size_t uSlash = sPath.rfind('/');
  if (uSlash == std::string::npos) {
    m_oStrFolder.Empty();
    return m_oStrFolder.GetBuffer();
  }
  m_oStrFolder.Assign(sPath.substr(0, uSlash + 1).c_str());
  m_oStrFolder.Trim();
  if (m_oStrFolder.IsEmpty() || m_oStrFolder.GetBuffer()[m_oStrFolder.GetLength() - 1] != '/') {
    m_oStrFolder += '/';
  }
  return m_oStrFolder.GetBuffer();
}

void CZuvFileOps::SplitExtension(const char* szName, CZuvStr& oBase, CZuvStr& oExt) {
  oExt.Assign(szName);
  oExt.SplitAt('.', oBase);
}

}  // namespace wdx
