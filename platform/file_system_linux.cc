// The real file system on POSIX calls. Failures leave errno in a per-thread code that
// GetLastErrorCode() returns; nothing here writes to the process log (callers report in their
// own words, and the event log itself stands on this layer).
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file_system.h"

namespace wdx {
namespace {

thread_local int t_iLastError = 0;

// Closes a descriptor when it goes.
class CFd final {
 public:
  explicit CFd(int iFd) : m_iFd(iFd) {}
  ~CFd() {
    if (m_iFd >= 0) close(m_iFd);
  }
  CFd(const CFd&) = delete;
  CFd& operator=(const CFd&) = delete;
  int Get() const { return m_iFd; }
  // Closes now and reports whether the close (and the writes it flushes) succeeded.
  bool Close() {
    int iFd = m_iFd;
    m_iFd = -1;
    return iFd < 0 || close(iFd) == 0;
  }

 private:
  int m_iFd;
};

bool Fail() {
  t_iLastError = errno;
  return false;
}

bool WriteAll(int iFd, const char* pData, size_t iSize) {
  while (iSize > 0) {
    ssize_t iWritten = write(iFd, pData, iSize);
    if (iWritten < 0 && errno == EINTR) continue;
    if (iWritten <= 0) return false;
    pData += iWritten;
    iSize -= static_cast<size_t>(iWritten);
  }
  return true;
}

// The cut-back of a failed append keeps the error of the write, not that of the truncation.
bool AppendAll(int iFd, const std::string& sBytes) {
  struct stat oInfo;
  if (fstat(iFd, &oInfo) != 0) return Fail();
  errno = EIO;  // a write that takes nothing without saying why
  if (WriteAll(iFd, sBytes.data(), sBytes.size())) return true;
  const int iError = errno;
  while (ftruncate(iFd, oInfo.st_size) != 0 && errno == EINTR) {
  }
  errno = iError;
  return Fail();
}

bool CopyFd(int iFrom, int iTo) {
  char aBuffer[65536];
  for (;;) {
    ssize_t iRead = read(iFrom, aBuffer, sizeof(aBuffer));
    if (iRead < 0 && errno == EINTR) continue;
    if (iRead < 0) return false;
    if (iRead == 0) return true;
    if (!WriteAll(iTo, aBuffer, static_cast<size_t>(iRead))) return false;
  }
}

void SyncFolder(const std::string& sFolder) {
  CFd oFolder(open(sFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (oFolder.Get() >= 0) fsync(oFolder.Get());  // not every file system supports it
}

// Fills a new temporary file beside sPath through fill(fd), sets its mode, syncs it when asked
// and renames it over sPath. On any failure the temporary file is removed and sPath untouched.
template <typename TFill>
bool ReplaceThroughTemp(const std::string& sPath, int iMode, bool bSync, TFill fill) {
  std::string sFolder = FolderOf(sPath);
  std::string sTemp =
      (sFolder.empty() ? std::string("./") : sFolder) + "." + FileNameOf(sPath) + ".XXXXXX";
  CFd oTemp(mkostemp(sTemp.data(), O_CLOEXEC));
  if (oTemp.Get() < 0) return Fail();
  bool bDone = fill(oTemp.Get()) && fchmod(oTemp.Get(), static_cast<mode_t>(iMode)) == 0 &&
               (!bSync || fsync(oTemp.Get()) == 0) && oTemp.Close() &&
               rename(sTemp.c_str(), sPath.c_str()) == 0;
  if (!bDone) {
    int iError = errno;
    unlink(sTemp.c_str());
    errno = iError;
    return Fail();
  }
  if (bSync) SyncFolder(sFolder.empty() ? std::string(".") : sFolder);
  return true;
}

std::string ReadLink(const char* szPath) {
  char aBuffer[PATH_MAX + 1];
  ssize_t iLength = readlink(szPath, aBuffer, PATH_MAX);
  if (iLength <= 0) return std::string();
  return std::string(aBuffer, static_cast<size_t>(iLength));
}

class CSystemFileSystem final : public IFileSystem {
 public:
  bool FileExists(const std::string& sPath) override {
    struct stat oInfo;
    return stat(sPath.c_str(), &oInfo) == 0 || Fail();
  }

  bool FolderExists(const std::string& sPath) override {
    struct stat oInfo;
    if (stat(sPath.c_str(), &oInfo) != 0) return Fail();
    if (S_ISDIR(oInfo.st_mode)) return true;
    t_iLastError = ENOTDIR;
    return false;
  }

  bool DeleteFile(const std::string& sPath) override {
    return unlink(sPath.c_str()) == 0 || Fail();
  }

  bool CopyFile(const std::string& sSource, const std::string& sTarget) override {
    CFd oSource(open(sSource.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat oInfo;
    if (oSource.Get() < 0 || fstat(oSource.Get(), &oInfo) != 0) return Fail();
    if (S_ISDIR(oInfo.st_mode)) {
      t_iLastError = EISDIR;
      return false;
    }
    int iMode = static_cast<int>(oInfo.st_mode & 07777);
    return ReplaceThroughTemp(sTarget, iMode, false,
                              [&](int iFd) { return CopyFd(oSource.Get(), iFd); });
  }

  int64_t FileSize(const std::string& sPath) override {
    CFd oFile(open(sPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat oInfo;
    if (oFile.Get() < 0 || fstat(oFile.Get(), &oInfo) != 0) {
      Fail();
      return -1;
    }
    return static_cast<int64_t>(oInfo.st_size);
  }

  bool MakeFolders(const std::string& sPath, int iMode) override {
    if (sPath.empty()) {
      t_iLastError = ENOENT;
      return false;
    }
    for (size_t iSlash = sPath.find('/', 1);; iSlash = sPath.find('/', iSlash + 1)) {
      std::string sPart = sPath.substr(0, iSlash);
      if (mkdir(sPart.c_str(), static_cast<mode_t>(iMode)) != 0 && errno != EEXIST) {
        return Fail();
      }
      if (iSlash == std::string::npos) break;
    }
    return FolderExists(sPath);
  }

  bool ReplaceFile(const std::string& sPath, const std::string& sContent, int iMode) override {
    return ReplaceThroughTemp(sPath, iMode, true, [&](int iFd) {
      return WriteAll(iFd, sContent.data(), sContent.size());
    });
  }

  bool AppendWhole(std::FILE* pStream, const std::string& sBytes) override {
    if (pStream == nullptr) {
      t_iLastError = EBADF;
      return false;
    }
    if (std::fflush(pStream) != 0) return Fail();
    return AppendAll(fileno(pStream), sBytes);
  }

  int64_t StreamFileSize(std::FILE* pStream) override {
    struct stat oInfo;
    if (pStream == nullptr) {
      t_iLastError = EBADF;
      return -1;
    }
    if (fstat(fileno(pStream), &oInfo) != 0) {
      Fail();
      return -1;
    }
    return static_cast<int64_t>(oInfo.st_size);
  }

  bool ReadFile(const std::string& sPath, std::string& sContent, int64_t iMaxBytes) override {
    sContent.clear();
    CFd oFile(open(sPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (oFile.Get() < 0) return Fail();
    char aBuffer[65536];
    for (;;) {
      ssize_t iRead = read(oFile.Get(), aBuffer, sizeof(aBuffer));
      if (iRead < 0 && errno == EINTR) continue;
      if (iRead < 0) return Fail();
      if (iRead == 0) return true;
      if (static_cast<int64_t>(sContent.size()) + iRead > iMaxBytes) {
        sContent.clear();
        t_iLastError = EFBIG;
        return false;
      }
      sContent.append(aBuffer, static_cast<size_t>(iRead));
    }
  }

  bool SetMode(const std::string& sPath, int iMode) override {
    return chmod(sPath.c_str(), static_cast<mode_t>(iMode)) == 0 || Fail();
  }

  bool MakeSymlink(const std::string& sTarget, const std::string& sLinkPath) override {
    return symlink(sTarget.c_str(), sLinkPath.c_str()) == 0 || Fail();
  }

  bool ReadSymlink(const std::string& sPath, std::string& sTarget) override {
    sTarget = ReadLink(sPath.c_str());
    return !sTarget.empty() || Fail();
  }

  bool SetCurrentFolder(const std::string& sPath) override {
    return chdir(sPath.c_str()) == 0 || Fail();
  }

  std::string GetCurrentFolder() override {
    char aBuffer[PATH_MAX + 1];
    if (getcwd(aBuffer, sizeof(aBuffer)) == nullptr) {
      Fail();
      return std::string();
    }
    std::string sFolder(aBuffer);
    if (sFolder.back() != '/') sFolder += '/';
    return sFolder;
  }

  std::string GetExecutablePath() override {
    std::string sPath = ReadLink("/proc/self/exe");
    if (sPath.empty()) Fail();
    return sPath;
  }

  int GetLastErrorCode() override { return t_iLastError; }
};

CSystemFileSystem& SystemFileSystem() {
  static CSystemFileSystem oFileSystem;
  return oFileSystem;
}

std::atomic<IFileSystem*> g_pTestFileSystem{nullptr};

}  // namespace

IFileSystem& GetFileSystem() {
  IFileSystem* pFileSystem = g_pTestFileSystem.load(std::memory_order_acquire);
  return pFileSystem != nullptr ? *pFileSystem : SystemFileSystem();
}

void SetFileSystemForTesting(IFileSystem* pFileSystem) {
  g_pTestFileSystem.store(pFileSystem, std::memory_order_release);
}

std::string GetProgramFolder() {
  const char* szHome = std::getenv("WDX_HOME");
  if (szHome != nullptr && *szHome != '\0') {
    std::string sFolder(szHome);
    if (sFolder.back() != '/') sFolder += '/';
    return sFolder;
  }
  return FolderOf(ReadLink("/proc/self/exe"));
}

std::string JoinPath(const std::string& sFolder, const std::string& sName) {
  if (sFolder.empty()) return sName;
  if (sName.empty()) return sFolder.back() == '/' ? sFolder : sFolder + "/";
  bool bFolderSlash = sFolder.back() == '/';
  bool bNameSlash = sName.front() == '/';
  if (bFolderSlash && bNameSlash) return sFolder + sName.substr(1);
  if (bFolderSlash || bNameSlash) return sFolder + sName;
  return sFolder + "/" + sName;
}

std::string FolderOf(const std::string& sPath) {
  size_t iSlash = sPath.rfind('/');
  return iSlash == std::string::npos ? std::string() : sPath.substr(0, iSlash + 1);
}

std::string FileNameOf(const std::string& sPath) {
  size_t iSlash = sPath.rfind('/');
  return iSlash == std::string::npos ? sPath : sPath.substr(iSlash + 1);
}

}  // namespace wdx
