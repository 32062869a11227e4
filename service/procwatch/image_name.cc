#include "service/procwatch/image_name.h"

#include <dirent.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "foundation/process_log.h"
#include "foundation/zuv_str.h"
#include "platform/proc_table.h"

namespace wdx {
namespace {

// The numeric entries of the process folder in ascending order; false when it cannot be read.
bool ListPids(const std::string& sProcRoot, std::vector<uint32_t>& oPids) {
  std::unique_ptr<DIR, int (*)(DIR*)> pDir(opendir(sProcRoot.c_str()), closedir);
  if (!pDir) return false;
  while (const dirent* pEntry = readdir(pDir.get())) {
    const char* szName = pEntry->d_name;
    if (*szName == '\0') continue;
    uint64_t uPid = 0;
    bool bNumeric = true;
    for (const char* p = szName; *p != '\0' && bNumeric; ++p) {
      bNumeric = *p >= '0' && *p <= '9';
      uPid = uPid * 10 + static_cast<uint64_t>(*p - '0');
      if (uPid > UINT32_MAX - 1) bNumeric = false;
    }
    if (bNumeric) oPids.push_back(static_cast<uint32_t>(uPid));
  }
  std::sort(oPids.begin(), oPids.end());
  return true;
}

std::string FileNameOf(const std::string& sPath) {
  const size_t uSlash = sPath.find_last_of('/');
  return uSlash == std::string::npos ? sPath : sPath.substr(uSlash + 1);
}

}  // namespace

bool CImageName::Initialize() {
  SetId(ZUV_ID_LIVE);
  m_bInitialized = Reload();
  if (!m_bInitialized) ZuvLogError("CImageName::Initialize() failed.");
  return m_bInitialized;
}

bool CImageName::Reload() {
  m_oRows.clear();
  std::vector<uint32_t> oPids;
  if (!ListPids(m_sProcRoot, oPids)) return false;
  for (const uint32_t uPid : oPids) {
    if (GetCount() >= IMAGE_NAME_MAX_ROWS) break;
    AddProcess(uPid);
  }
  return true;
}

void CImageName::AddProcess(uint32_t uPid) {
  std::string sFullPath = IMAGE_NAME_UNKNOWN;
  std::string sBaseName = IMAGE_NAME_UNKNOWN;
  // Read whole, so that the kernel's " (deleted)" mark is found and taken off; the row keeps
  // the first PROCESS_IMAGE_MAX_PATH characters.
  std::string sTarget = ReadExePath(m_sProcRoot, static_cast<int>(uPid));
  if (!sTarget.empty()) {
    sFullPath = std::move(sTarget);
    sBaseName = FileNameOf(sFullPath);
  }
  AddImage(sFullPath.c_str(), sBaseName.c_str(), uPid);
}

bool CImageName::AddImage(const char* szFullPath, const char* szBaseName, uint32_t uPid) {
  if (szFullPath == nullptr || CZuvStr(szFullPath).EqualsNoCase(IMAGE_NAME_UNKNOWN)) return false;
  if (GetCount() >= IMAGE_NAME_MAX_ROWS) return false;
  m_oRows.push_back(std::make_unique<CProcessImage>(szFullPath, szBaseName, uPid));
  return true;
}

bool CImageName::GetPImageByProgramName(const std::string& sProgramPath, CProcessImage*& pRow) {
  pRow = nullptr;
  if (!sProgramPath.empty()) {
    for (const auto& pCandidate : m_oRows) {
      const std::string& sFull = pCandidate->GetFullPath();
      if (CImageNameMatcher::SamePath(sProgramPath, sFull) ||
          (sFull.find('~') != std::string::npos &&
           CImageNameMatcher::TildeMatch(sFull, sProgramPath))) {
        pRow = pCandidate.get();
        return true;
      }
    }
  }
  ZuvLogError("CImageName::GetPImageByProgramName failed.");
  return false;
}

bool CImageName::StillRuns(const CProcessImage& oRow) const {
  const std::string sNow = ReadExePath(m_sProcRoot, static_cast<int>(oRow.GetPid()));
  return !sNow.empty() && sNow.substr(0, PROCESS_IMAGE_MAX_PATH) == oRow.GetFullPath();
}

bool CImageName::GetPImageByPid(uint32_t uPid, CProcessImage*& pRow) {
  pRow = nullptr;
  if (uPid != 0) {
    for (const auto& pCandidate : m_oRows) {
      if (pCandidate->GetPid() == uPid) {
        pRow = pCandidate.get();
        return true;
      }
    }
  }
  ZuvLogError("CImageName::GetPImageByPid failed.");
  return false;
}

CProcessImage* CImageName::GetRow(int iIndex) {
  if (iIndex < 0 || iIndex >= GetCount()) return nullptr;
  return m_oRows[static_cast<size_t>(iIndex)].get();
}

}  // namespace wdx
