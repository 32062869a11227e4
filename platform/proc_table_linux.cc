#include "platform/proc_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <memory>

#include "platform/unique_fd.h"

namespace wdx {
namespace {

constexpr const char* kDeletedSuffix = " (deleted)";

std::string CutTitle(std::string sName) {
  const size_t uDot = sName.find('.');
  if (uDot != std::string::npos) sName.resize(uDot);
  return sName;
}

std::string TitleFromExe(int iPid) {
  const std::string sTarget = ReadExePath("/proc", iPid);
  const size_t uSlash = sTarget.rfind('/');
  return CutTitle(uSlash == std::string::npos ? sTarget : sTarget.substr(uSlash + 1));
}

std::string TitleFromComm(const std::string& sProcDir) {
  CUniqueFd oFd(::open((sProcDir + "/comm").c_str(), O_RDONLY | O_CLOEXEC));
  if (!oFd.IsValid()) return "";
  char szName[64];
  const ssize_t iLength = ::read(oFd.Get(), szName, sizeof szName);
  if (iLength <= 0) return "";
  std::string sName(szName, static_cast<size_t>(iLength));
  while (!sName.empty() && sName.back() == '\n') sName.pop_back();
  return CutTitle(sName);
}

bool ParsePid(const char* szName, int& iPid) {
  const char* szEnd = szName;
  while (*szEnd != '\0') ++szEnd;
  const auto oResult = std::from_chars(szName, szEnd, iPid);
  return oResult.ec == std::errc() && oResult.ptr == szEnd && iPid > 0;
}

struct SDirCloser {
  void operator()(DIR* pDir) const { ::closedir(pDir); }
};

}  // namespace

std::string ReadExePath(const std::string& sProcRoot, int iPid) {
  const std::string sLink = sProcRoot + "/" + std::to_string(iPid) + "/exe";
  char szTarget[PATH_MAX];
  const ssize_t iLength = ::readlink(sLink.c_str(), szTarget, sizeof szTarget - 1);
  if (iLength <= 0) return "";
  std::string sTarget(szTarget, static_cast<size_t>(iLength));
  const std::string sDeleted = kDeletedSuffix;
  if (sTarget.size() > sDeleted.size() &&
      sTarget.compare(sTarget.size() - sDeleted.size(), sDeleted.size(), sDeleted) == 0) {
    sTarget.resize(sTarget.size() - sDeleted.size());
  }
  return sTarget;
}

std::string ReadBaseTitle(int iPid) {
  std::string sTitle = TitleFromExe(iPid);
  if (sTitle.empty()) sTitle = TitleFromComm("/proc/" + std::to_string(iPid));
  return sTitle;
}

std::vector<SProcEntry> ListProcesses() {
  std::vector<SProcEntry> oTable;
  std::unique_ptr<DIR, SDirCloser> pDir(::opendir("/proc"));
  if (!pDir) return oTable;
  while (const dirent* pEntry = ::readdir(pDir.get())) {
    int iPid = 0;
    if (!ParsePid(pEntry->d_name, iPid)) continue;
    std::string sTitle = ReadBaseTitle(iPid);
    if (!sTitle.empty()) oTable.push_back({iPid, std::move(sTitle)});
  }
  std::sort(oTable.begin(), oTable.end(), [](const SProcEntry& oLeft, const SProcEntry& oRight) {
    return oLeft.m_iPid < oRight.m_iPid;
  });
  return oTable;
}

int FindInstancePid(const std::vector<SProcEntry>& oTable, const std::string& sInstance) {
  std::string sTitle = sInstance;
  int iIndex = 0;
  const size_t uHash = sInstance.rfind('#');
  if (uHash != std::string::npos) {
    const char* szFirst = sInstance.data() + uHash + 1;
    const char* szLast = sInstance.data() + sInstance.size();
    const auto oResult = std::from_chars(szFirst, szLast, iIndex);
    if (szFirst == szLast || oResult.ec != std::errc() || oResult.ptr != szLast || iIndex < 0) {
      return -1;
    }
    sTitle.resize(uHash);
  }
  if (sTitle.empty()) return -1;
  for (const SProcEntry& oEntry : oTable) {
    if (::strcasecmp(oEntry.m_sBaseTitle.c_str(), sTitle.c_str()) != 0) continue;
    if (iIndex == 0) return oEntry.m_iPid;
    --iIndex;
  }
  return -1;
}

}  // namespace wdx
