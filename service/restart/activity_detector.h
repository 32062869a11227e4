// CActivityDetector: tells whether an application is still at work by the first line of a signal
// file that it keeps rewriting. Each Test compares that line, ignoring case, with the line last
// committed into a copy of the file in the program folder (the copy is the memory of the last
// line seen and outlives the service); Commit writes the current line into the copy. An empty
// first line always passes.
//
// Threading: one object is used by one thread at a time.
#pragma once

#include <string>

#include "foundation/txt_file4.h"

namespace wdx {

// Longest first line that is compared (longer lines are cut there).
inline constexpr int ACTIVITY_LINE_SIZE = 256;

class CActivityDetector final {
 public:
  CActivityDetector() = default;
  CActivityDetector(const CActivityDetector&) = delete;
  CActivityDetector& operator=(const CActivityDetector&) = delete;

  // Watched path := directory + file name; copy path := base directory + file name. Each part
  // is trimmed and must not be empty; "/" is added to a folder that lacks it.
  bool Setup(const std::string& sFileName, const std::string& sDirectory,
             const std::string& sBaseDirectory);
  // False when the watched file cannot be read or its first line equals the copy's.
  bool Test();
  // Writes the watched file's first line into the copy (the copy is created or truncated). A
  // copy that cannot be written is logged; the caller's result does not depend on it.
  void Commit();

  bool IsReady() const { return m_bReady; }
  const std::string& GetWatchedPath() const { return m_sWatchedPath; }
  const std::string& GetCopyPath() const { return m_sCopyPath; }

 private:
  // The first line of sPath into sLine ("" for an empty file); false when it cannot be opened.
  bool ReadFirstLine(CTxtFile4& oFile, const std::string& sPath, std::string& sLine);

  std::string m_sWatchedPath;
  std::string m_sCopyPath;
  std::string m_sWatchedLine;
  std::string m_sCopyLine;
  CTxtFile4 m_oWatched;
  CTxtFile4 m_oCopy;
  bool m_bReady = false;
};

}  // namespace wdx
