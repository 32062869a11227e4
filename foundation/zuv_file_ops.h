// CZuvFileOps: file and path operations with uniform reporting. Paths use "/"; a folder path
// returned here ends with "/". Failures are stored as the last error text and, unless the
// object is quiet, written to the process log as errors. Result texts (file name, folder,
// module path) stay valid until the next call of the same kind on the same object.
//
// Threading: an object is used by one thread at a time.
#pragma once

#include "foundation/zuv_str.h"

namespace wdx {

inline constexpr int ZUV_MAX_MODULE_PATH = 256;

class CZuvFileOps final {
 public:
  CZuvFileOps() = default;
  CZuvFileOps(const CZuvFileOps&) = delete;
  CZuvFileOps& operator=(const CZuvFileOps&) = delete;

  // True for an existing file or folder.
  bool FileExists(const char* szPath);
  bool FolderExists(const char* szPath);
  bool DeleteFile(const char* szPath);
  // Copies, replacing an existing target; false without a report when the source is missing.
  bool CopyFile(const char* szSource, const char* szTarget);
  // Size in bytes (at most INT32_MAX), -1 when the file cannot be opened.
  int FileSizeOf(const char* szPath);
  // Full path of the program module of that name: the program folder + the name (the running
  // executable itself for an empty name), at most 256 characters.
  const char* GetModulePath(const char* szName);
  // The part after the last "/", trimmed.
  const char* GetFileName(const char* szPath);
  // The path up to the file name, trimmed, ending in "/" ("" when it holds no "/").
  const char* GetFolder(const char* szPath);
  // oBase = the text before the first ".", oExt = the text after it (empty without a ".").
  void SplitExtension(const char* szName, CZuvStr& oBase, CZuvStr& oExt);

  bool IsQuiet() const { return m_bQuiet; }
  void SetQuiet(bool bQuiet) { m_bQuiet = bQuiet; }
  const CZuvStr& GetLastError() const { return m_oStrLastError; }
  void SetLastError(const char* szText) { m_oStrLastError.Assign(szText); }

 private:
  void Fail(const char* szText);

  CZuvStr m_oStrFileName;
  CZuvStr m_oStrFolder;
  CZuvStr m_oStrModulePath;
  CZuvStr m_oStrLastError;
  bool m_bQuiet = false;
};

}  // namespace wdx
