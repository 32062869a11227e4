// CFakeFileSystem: the disk as a test wants it to fail. Every call goes to an inner file system
// (the one installed when the fake was made, normally the real one) unless the test made that
// operation fail: then the call does nothing, returns failure and reports the given errno.
// It counts the calls of each operation. Install with SetFileSystemForTesting(&oFake) and
// remove with SetFileSystemForTesting(nullptr) before it goes.
//
// Threading: safe from any thread (atomics); set failures before the code under test runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace wdx {

enum class EFileOp { REPLACE, COPY, DELETE, READ, MAKE_FOLDERS, SET_MODE, APPEND, COUNT };

class CFakeFileSystem final : public IFileSystem {
 public:
  CFakeFileSystem();
  explicit CFakeFileSystem(IFileSystem& oInner);
  CFakeFileSystem(const CFakeFileSystem&) = delete;
  CFakeFileSystem& operator=(const CFakeFileSystem&) = delete;

  // iErrno 0 lets the operation through again.
  void SetFailure(EFileOp eOp, int iErrno);
  int GetCallCount(EFileOp eOp) const;

  bool FileExists(const std::string& sPath) override;
  bool FolderExists(const std::string& sPath) override;
  bool DeleteFile(const std::string& sPath) override;
  bool CopyFile(const std::string& sSource, const std::string& sTarget) override;
  int64_t FileSize(const std::string& sPath) override;
  bool MakeFolders(const std::string& sPath, int iMode) override;
  bool ReplaceFile(const std::string& sPath, const std::string& sContent, int iMode) override;
  // An injected APPEND failure writes nothing (as a cut-back short write leaves the file).
  bool AppendWhole(std::FILE* pStream, const std::string& sBytes) override;
  int64_t StreamFileSize(std::FILE* pStream) override;
  bool ReadFile(const std::string& sPath, std::string& sContent, int64_t iMaxBytes) override;
  bool SetMode(const std::string& sPath, int iMode) override;
  bool MakeSymlink(const std::string& sTarget, const std::string& sLinkPath) override;
  bool ReadSymlink(const std::string& sPath, std::string& sTarget) override;
  bool SetCurrentFolder(const std::string& sPath) override;
  std::string GetCurrentFolder() override;
  std::string GetExecutablePath() override;
  int GetLastErrorCode() override;

 private:
  // Counts the call; true when it must fail (the injected errno becomes the last error).
  bool Injected(EFileOp eOp);

  static constexpr int kOps = static_cast<int>(EFileOp::COUNT);
  IFileSystem& m_oInner;
  std::atomic<int> m_aiFailure[kOps] = {};
  std::atomic<int> m_aiCalls[kOps] = {};
  static thread_local int t_iInjectedError;
};

}  // namespace wdx
