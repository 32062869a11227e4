#include "service/restart/activity_detector.h"

#include <strings.h>

#include "foundation/process_log.h"
#include "foundation/zuv_str.h"

namespace wdx {
namespace {

std::string AsFolder(const std::string& sFolder) {
  return sFolder.back() == '/' ? sFolder : sFolder + "/";
}

}  // namespace

bool CActivityDetector::Setup(const std::string& sFileName, const std::string& sDirectory,
                              const std::string& sBaseDirectory) {
  m_bReady = false;
  const std::string sName = CZuvStr::Trimmed(sFileName);
  const std::string sFolder = CZuvStr::Trimmed(sDirectory);
  const std::string sBase = CZuvStr::Trimmed(sBaseDirectory);
  if (sName.empty() || sFolder.empty() || sBase.empty()) return false;
  if (!m_oWatched.Initialize(ACTIVITY_LINE_SIZE) || !m_oCopy.Initialize(ACTIVITY_LINE_SIZE)) {
    return false;
  }
  m_sWatchedPath = AsFolder(sFolder) + sName;
  m_sCopyPath = AsFolder(sBase) + sName;
  m_sWatchedLine.clear();
  m_sCopyLine.clear();
  m_bReady = true;
  return true;
}

// The first line ends at LF or CR (files written here end lines with LF, others with CR LF)
// and is cut after ACTIVITY_LINE_SIZE bytes.
bool CActivityDetector::ReadFirstLine(CTxtFile4& oFile, const std::string& sPath,
                                      std::string& sLine) {
  sLine.clear();
  if (!oFile.OpenForReadOnly(sPath.c_str())) return false;
  while (sLine.size() < static_cast<size_t>(ACTIVITY_LINE_SIZE) && oFile.ReadCharForward()) {
    const char cChar = oFile.GetLastChar();
    if (cChar == '\n' || cChar == '\r') break;
    sLine += cChar;
  }
  oFile.Close();
  return true;
}

bool CActivityDetector::Test() {
  if (!m_bReady) return false;
  if (!ReadFirstLine(m_oWatched, m_sWatchedPath, m_sWatchedLine)) return false;
  if (m_sWatchedLine.empty()) return true;
  // A missing copy reads as an empty line (its reader reports the failed open).
  ReadFirstLine(m_oCopy, m_sCopyPath, m_sCopyLine);
  return strcasecmp(m_sWatchedLine.c_str(), m_sCopyLine.c_str()) != 0;
}

void CActivityDetector::Commit() {
  if (!m_bReady) return;
  ReadFirstLine(m_oWatched, m_sWatchedPath, m_sWatchedLine);
  const bool bOk = m_oCopy.Create(m_sCopyPath.c_str()) &&
                   m_oCopy.WriteTextLine(m_sWatchedLine.c_str()) && m_oCopy.Flush();
  m_oCopy.Close();
  if (!bOk) {
    ZuvLogError(("CActivityDetector::Commit() cannot write the copy " + m_sCopyPath).c_str());
  }
}

}  // namespace wdx
