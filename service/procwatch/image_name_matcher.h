// CImageNameMatcher: finds the row of the process table that best matches one program path
// (the best-match scan), and the tilde match that compares a short "PROGRA~1" style path of
// the process list with the long path of the settings.
//
// Threading: one object is used by one thread at a time; it borrows the table's rows, which must
// not be reloaded while a match runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/zuv_base.h"
#include "service/procwatch/process_image.h"

namespace wdx {

using ProcessRows = std::vector<std::unique_ptr<CProcessImage>>;

class CImageNameMatcher final : public CZuvBase {
 public:
  CImageNameMatcher() = default;
  ~CImageNameMatcher() override = default;

  // Matches sProgramPath against the rows; false when nothing matched (or no rows, empty path).
  bool Go(const std::string& sProgramPath, const ProcessRows* pRows);
  bool ScanForBestMatch();

  // Whether two paths are the same text but for the letter case of A-Z: every other byte,
  // blanks, "~" and bytes above 125 included, must be equal.
  static bool SamePath(const std::string& sLeft, const std::string& sRight);

  // Whether the process-list path (which may hold "~" short names) names the same file as the
  // program path. Path components are split at "\" (and "/").
  static bool TildeMatch(const std::string& sProcessPath, const std::string& sProgramPath);

  // The result of the last Go.
  std::string m_sBestTitle;
  int m_iBestScore = 0;
  uint32_t m_uBestPid = 0;
  int m_iBestPosition = -1;
  uint32_t m_uPidUnderExamination = 0;

 private:
  void Take(const CProcessImage& oRow, int iPosition);

  const ProcessRows* m_pRows = nullptr;
  std::string m_sProgramPath;
};

}  // namespace wdx
