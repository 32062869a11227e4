// Files, folders and paths, behind one interface so that tests can see or fake the disk.
// Paths use "/"; folder paths returned here end with "/".
//
// Threading: the system implementation is stateless and safe from any thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace wdx {

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  virtual bool FileExists(const std::string& sPath) = 0;    // file or folder
  virtual bool FolderExists(const std::string& sPath) = 0;  // folder only
  virtual bool DeleteFile(const std::string& sPath) = 0;
  // Copies, replacing an existing target; the target keeps the source's permission bits.
  virtual bool CopyFile(const std::string& sSource, const std::string& sTarget) = 0;
  // Size in bytes, -1 when the file cannot be opened.
  virtual int64_t FileSize(const std::string& sPath) = 0;
  // Makes the folder and its parents with the given mode; true when it exists afterwards.
  virtual bool MakeFolders(const std::string& sPath, int iMode) = 0;
  // Writes the whole content to a temporary file in the same folder, fsyncs it, sets the mode,
  // renames it over sPath and fsyncs the folder. On failure sPath is unchanged.
  virtual bool ReplaceFile(const std::string& sPath, const std::string& sContent, int iMode) = 0;
  // Appends the bytes at the end of the file that the open stream writes to, whole or not at
  // all: when they cannot all be written (disk full, size limit) the file is cut back to the size
  // it had before and false is returned. The stream's own buffer is flushed first. Writers of
  // one file must exclude each other around this call.
  virtual bool AppendWhole(std::FILE* pStream, const std::string& sBytes) = 0;
  // Size in bytes of the file an open stream reads or writes (its buffer not counted), -1 when
  // it cannot be had.
  virtual int64_t StreamFileSize(std::FILE* pStream) = 0;
  // Reads a whole file; false when it cannot be read or is larger than iMaxBytes.
  virtual bool ReadFile(const std::string& sPath, std::string& sContent, int64_t iMaxBytes) = 0;
  virtual bool SetMode(const std::string& sPath, int iMode) = 0;
  // Makes sLinkPath a symbolic link to sTarget; fails when anything, a broken link too, has
  // that path.
  virtual bool MakeSymlink(const std::string& sTarget, const std::string& sLinkPath) = 0;
  // What the symbolic link sPath holds (not followed further); false when sPath is no link.
  virtual bool ReadSymlink(const std::string& sPath, std::string& sTarget) = 0;
  virtual bool SetCurrentFolder(const std::string& sPath) = 0;
  virtual std::string GetCurrentFolder() = 0;
  // Full path of the running program ("/proc/self/exe").
  virtual std::string GetExecutablePath() = 0;
  // Errno-style code and text of the last failure of this thread.
  virtual int GetLastErrorCode() = 0;
};

// The process's file system (the real one unless a test installed another).
IFileSystem& GetFileSystem();
void SetFileSystemForTesting(IFileSystem* pFileSystem);

// The program folder, ending in "/": WDX_HOME when set, else the running program's folder.
std::string GetProgramFolder();

// Path helpers on "/"-separated paths.
std::string JoinPath(const std::string& sFolder, const std::string& sName);
std::string FolderOf(const std::string& sPath);    // up to and with the last "/"
std::string FileNameOf(const std::string& sPath);  // after the last "/"

}  // namespace wdx
