// CProcessImage: one row of the process table (CImageName): the executable's full path, its
// base title (the file name cut before its first "."), which is the process instance name used
// in counter paths, the process id, and whether the image's counters were given to the watcher.
// Rows are small plain records (no base-object label, no lock) because a table holds one per
// running process.
//
// Threading: owned and used by the table's thread only.
#pragma once

#include <cstdint>
#include <string>

namespace wdx {

// Longest full path or base name kept for a row, in characters.
inline constexpr int PROCESS_IMAGE_MAX_PATH = 260;
inline constexpr uint32_t PROCESS_IMAGE_NO_PID = static_cast<uint32_t>(-1);

class CProcessImage final {
 public:
  CProcessImage() = default;
  // The base title is szBaseName up to its first "." (all of it when it has none).
  CProcessImage(const char* szFullPath, const char* szBaseName, uint32_t uPid);

  const std::string& GetFullPath() const { return m_sFullPath; }
  const std::string& GetBaseTitle() const { return m_sBaseTitle; }
  int GetBaseTitleLength() const { return m_iBaseTitleLength; }
  uint32_t GetPid() const { return m_uPid; }
  bool IsRegistered() const { return m_bRegistered; }
  void SetRegistered(bool bRegistered) { m_bRegistered = bRegistered; }

 private:
  std::string m_sFullPath;
  std::string m_sBaseTitle;
  int m_iBaseTitleLength = 0;
  uint32_t m_uPid = PROCESS_IMAGE_NO_PID;
  bool m_bRegistered = false;
};

}  // namespace wdx
