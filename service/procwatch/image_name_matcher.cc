#include "service/procwatch/image_name_matcher.h"

#include "foundation/process_log.h"
#include "foundation/zuv_str.h"

namespace wdx {
namespace {

// A path without its drive letter: bHasDrive and cDrive tell the letter, sRest what follows ":".
struct SDrivePath {
  bool m_bHasDrive = false;
  char m_cDrive = 0;
  std::string m_sRest;
};

SDrivePath SplitDrive(const std::string& sPath) {
  SDrivePath oPath;
  const size_t uColon = sPath.find(':');
  if (uColon == std::string::npos) {
    oPath.m_sRest = sPath;
    return oPath;
  }
  oPath.m_bHasDrive = !sPath.empty();
  oPath.m_cDrive = sPath.empty() ? 0 : sPath[0];
  oPath.m_sRest = sPath.substr(uColon + 1);
  return oPath;
}

char Fold(char cChar) {
  return (cChar >= 'A' && cChar <= 'Z') ? static_cast<char>(cChar - 'A' + 'a') : cChar;
}

bool IsSeparator(char cChar) {
  return cChar == '\\' || cChar == '/';
}

// Takes the next component from the left of sRest (empty once sRest is used up).
std::string NextComponent(std::string& sRest) {
  size_t uEnd = 0;
  while (uEnd < sRest.size() && !IsSeparator(sRest[uEnd])) ++uEnd;
  std::string sComponent = sRest.substr(0, uEnd);
  sRest.erase(0, uEnd < sRest.size() ? uEnd + 1 : uEnd);
  return sComponent;
}

bool SameNoCase(const std::string& sLeft, const std::string& sRight) {
  return CZuvStr(sLeft.c_str()).EqualsNoCase(sRight.c_str());
}

// Compares one component of the process-list path with one of the program path.
bool ComponentsMatch(const std::string& sShort, const std::string& sLong) {
  const size_t uShortDot = sShort.find('.');
  const size_t uLongDot = sLong.find('.');
  const std::string sShortName = sShort.substr(0, uShortDot);
  const std::string sLongName = sLong.substr(0, uLongDot);
  const size_t uTilde = sShortName.find('~');
  if (uTilde == std::string::npos) return SameNoCase(sShortName, sLongName);
  if (uTilde < 5) return false;
  const std::string sShortSix = sShortName.substr(0, 6);
  const std::string sLongSix = sLongName.substr(0, 6);
  if (sShortSix.size() != sLongSix.size()) return false;
  for (size_t i = 0; i < sShortSix.size(); ++i) {
    if (Fold(sShortSix[i]) != Fold(sLongSix[i])) return false;
  }
  if (uShortDot == std::string::npos || uLongDot == std::string::npos) return true;
  const std::string sShortExt = sShort.substr(uShortDot + 1);
  const std::string sLongExt = sLong.substr(uLongDot + 1);
  if (sShortExt.empty() || sLongExt.empty()) return sShortExt.empty() && sLongExt.empty();
  return Fold(sShortExt[0]) == Fold(sLongExt[0]);
}

}  // namespace

bool CImageNameMatcher::SamePath(const std::string& sLeft, const std::string& sRight) {
  if (sLeft.size() != sRight.size()) return false;
  for (size_t i = 0; i < sLeft.size(); ++i) {
    if (Fold(sLeft[i]) != Fold(sRight[i])) return false;
  }
  return true;
}

bool CImageNameMatcher::Go(const std::string& sProgramPath, const ProcessRows* pRows) {
  m_pRows = pRows;
  bool bOk = false;
  if (m_pRows != nullptr) {
    m_sBestTitle.clear();
    m_iBestScore = 0;
    m_uBestPid = 0;
    m_iBestPosition = -1;
    m_sProgramPath = sProgramPath;
    if (!m_sProgramPath.empty()) bOk = ScanForBestMatch();
  }
  if (!bOk) ZuvLogError("CImageNameMatcher::Go() failed.");
  return bOk;
}

bool CImageNameMatcher::ScanForBestMatch() {
  bool bTaken = false;
  const int iRows = m_pRows != nullptr ? static_cast<int>(m_pRows->size()) : 0;
  for (int i = 0; i < iRows; ++i) {
    const CProcessImage& oRow = *(*m_pRows)[static_cast<size_t>(i)];
    m_uPidUnderExamination = oRow.GetPid();
    // The paths as they are: a trimming comparison would take "/usr/bin/app" for a process
    // running "/usr/bin/app~" or "/opt/caf" for "/opt/caf\xC3\xA9".
    if (SamePath(m_sProgramPath, oRow.GetFullPath())) {
      Take(oRow, i);
      return true;
    }
    const int iAt = CZuvStr(oRow.GetFullPath().c_str()).Find(m_sProgramPath.c_str());
    if (iAt >= 8 && iAt > m_iBestScore) {
      Take(oRow, i);
      bTaken = true;
    }
  }
  if (!bTaken) {
    ZuvLogError(("CImageNameMatcher::ScanForBestMatch() failed for: " + m_sProgramPath).c_str());
  }
  return bTaken;
}

void CImageNameMatcher::Take(const CProcessImage& oRow, int iPosition) {
  m_sBestTitle = oRow.GetBaseTitle();
  m_iBestScore = oRow.GetBaseTitleLength();
  m_uBestPid = oRow.GetPid();
  m_iBestPosition = iPosition;
}

bool CImageNameMatcher::TildeMatch(const std::string& sProcessPath,
                                   const std::string& sProgramPath) {
  SDrivePath oShort = SplitDrive(sProcessPath);
  SDrivePath oLong = SplitDrive(sProgramPath);
  if (oShort.m_bHasDrive && oLong.m_bHasDrive && Fold(oShort.m_cDrive) != Fold(oLong.m_cDrive)) {
    return false;
  }
  while (!oShort.m_sRest.empty() || !oLong.m_sRest.empty()) {
    const std::string sShort = NextComponent(oShort.m_sRest);
    const std::string sLong = NextComponent(oLong.m_sRest);
    if (sShort.empty() && sLong.empty()) continue;
    if (!ComponentsMatch(sShort, sLong)) return false;
  }
  return true;
}

}  // namespace wdx
