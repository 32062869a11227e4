// CImageName: the table of the processes running now, built from /proc: one CProcessImage row
// per process whose executable path can be read (/proc/PID/exe, without the " (deleted)" mark
// of a program replaced while it runs), in ascending pid order, at most
// IMAGE_NAME_MAX_ROWS rows. Processes whose executable cannot be read (other users' processes
// without privilege, kernel threads) and /proc entries that vanish while the table is read are
// left out. Rows are owned by the table and valid until the next Reload or its destruction.
//
// Threading: one object is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/zuv_base.h"
#include "service/procwatch/image_name_matcher.h"
#include "service/procwatch/process_image.h"

namespace wdx {

inline constexpr int IMAGE_NAME_MAX_ROWS = 4096;
// The full path given to AddImage when the executable could not be read.
inline constexpr const char* IMAGE_NAME_UNKNOWN = "unknown";

class CImageName final : public CZuvBase {
 public:
  CImageName() = default;
  ~CImageName() override = default;

  // The folder read as the process list ("/proc" unless a test points it elsewhere).
  void SetProcRoot(const std::string& sProcRoot) { m_sProcRoot = sProcRoot; }

  bool Initialize();
  bool IsInitialized() const { return m_bInitialized; }
  // Empties the table and reads the process list again; false when the list cannot be read.
  bool Reload();
  void AddProcess(uint32_t uPid);
  bool AddImage(const char* szFullPath, const char* szBaseName, uint32_t uPid);

  // The first row whose full path equals the program path (ignoring only the letter case of
  // A-Z, no trimming) or tilde-matches it.
  bool GetPImageByProgramName(const std::string& sProgramPath, CProcessImage*& pRow);
  bool GetPImageByPid(uint32_t uPid, CProcessImage*& pRow);
  // True while the row's process still runs the program that the row names (its pid has not
  // ended, nor gone to another program since the table was read).
  bool StillRuns(const CProcessImage& oRow) const;

  const ProcessRows& GetRows() const { return m_oRows; }
  // The row at iIndex, nullptr when there is none.
  CProcessImage* GetRow(int iIndex);
  int GetCount() const { return static_cast<int>(m_oRows.size()); }

 private:
  std::string m_sProcRoot = "/proc";
  ProcessRows m_oRows;
  bool m_bInitialized = false;
};

}  // namespace wdx
