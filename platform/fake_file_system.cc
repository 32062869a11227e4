#include "platform/fake_file_system.h"

namespace wdx {

thread_local int CFakeFileSystem::t_iInjectedError = 0;

CFakeFileSystem::CFakeFileSystem() : CFakeFileSystem(GetFileSystem()) {}

CFakeFileSystem::CFakeFileSystem(IFileSystem& oInner) : m_oInner(oInner) {}

void CFakeFileSystem::SetFailure(EFileOp eOp, int iErrno) {
  m_aiFailure[static_cast<int>(eOp)].store(iErrno);
}

int CFakeFileSystem::GetCallCount(EFileOp eOp) const {
  return m_aiCalls[static_cast<int>(eOp)].load();
}

bool CFakeFileSystem::Injected(EFileOp eOp) {
  int iOp = static_cast<int>(eOp);
  m_aiCalls[iOp].fetch_add(1);
  t_iInjectedError = m_aiFailure[iOp].load();
  return t_iInjectedError != 0;
}

bool CFakeFileSystem::FileExists(const std::string& sPath) {
  t_iInjectedError = 0;
  return m_oInner.FileExists(sPath);
}

bool CFakeFileSystem::FolderExists(const std::string& sPath) {
  t_iInjectedError = 0;
  return m_oInner.FolderExists(sPath);
}

bool CFakeFileSystem::DeleteFile(const std::string& sPath) {
  return !Injected(EFileOp::DELETE) && m_oInner.DeleteFile(sPath);
}

bool CFakeFileSystem::CopyFile(const std::string& sSource, const std::string& sTarget) {
  return !Injected(EFileOp::COPY) && m_oInner.CopyFile(sSource, sTarget);
}

int64_t CFakeFileSystem::FileSize(const std::string& sPath) {
  t_iInjectedError = 0;
  return m_oInner.FileSize(sPath);
}

bool CFakeFileSystem::MakeFolders(const std::string& sPath, int iMode) {
  return !Injected(EFileOp::MAKE_FOLDERS) && m_oInner.MakeFolders(sPath, iMode);
}

bool CFakeFileSystem::ReplaceFile(const std::string& sPath, const std::string& sContent,
                                  int iMode) {
  return !Injected(EFileOp::REPLACE) && m_oInner.ReplaceFile(sPath, sContent, iMode);
}

bool CFakeFileSystem::AppendWhole(std::FILE* pStream, const std::string& sBytes) {
  return !Injected(EFileOp::APPEND) && m_oInner.AppendWhole(pStream, sBytes);
}

int64_t CFakeFileSystem::StreamFileSize(std::FILE* pStream) {
  t_iInjectedError = 0;
  return m_oInner.StreamFileSize(pStream);
}

bool CFakeFileSystem::ReadFile(const std::string& sPath, std::string& sContent, int64_t iMaxBytes) {
  if (Injected(EFileOp::READ)) {
    sContent.clear();
    return false;
  }
  return m_oInner.ReadFile(sPath, sContent, iMaxBytes);
}

bool CFakeFileSystem::SetMode(const std::string& sPath, int iMode) {
  return !Injected(EFileOp::SET_MODE) && m_oInner.SetMode(sPath, iMode);
}

bool CFakeFileSystem::MakeSymlink(const std::string& sTarget, const std::string& sLinkPath) {
  t_iInjectedError = 0;
  return m_oInner.MakeSymlink(sTarget, sLinkPath);
}

bool CFakeFileSystem::ReadSymlink(const std::string& sPath, std::string& sTarget) {
  t_iInjectedError = 0;
  return m_oInner.ReadSymlink(sPath, sTarget);
}

bool CFakeFileSystem::SetCurrentFolder(const std::string& sPath) {
  t_iInjectedError = 0;
  return m_oInner.SetCurrentFolder(sPath);
}

std::string CFakeFileSystem::GetCurrentFolder() {
  t_iInjectedError = 0;
  return m_oInner.GetCurrentFolder();
}

std::string CFakeFileSystem::GetExecutablePath() {
  t_iInjectedError = 0;
  return m_oInner.GetExecutablePath();
}

int CFakeFileSystem::GetLastErrorCode() {
  return t_iInjectedError != 0 ? t_iInjectedError : m_oInner.GetLastErrorCode();
}

}  // namespace wdx
