#include "platform/supervisor/supervisor_log.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/system_log.h"
#include "platform/unique_fd.h"

namespace wdx {
namespace {

std::string Stamp() {
  SLocalTime oNow;
  if (!GetClock().GetLocalTime(oNow)) oNow = SLocalTime();
  char szStamp[32];
  std::snprintf(szStamp, sizeof(szStamp), "%02d/%02d/%02d %02d:%02d:%02d", oNow.m_iMonth % 100,
                oNow.m_iDay % 100, oNow.m_iYear % 100, oNow.m_iHour % 100, oNow.m_iMinute % 100,
                oNow.m_iSecond % 100);
  return szStamp;
}

}  // namespace

CSupervisorLog::CSupervisorLog(const std::string& sFolder)
    : m_sPath(sFolder + WDX_SUPERVISOR_LOG_NAME) {
  struct stat oStat;
  if (stat(m_sPath.c_str(), &oStat) == 0 && oStat.st_size >= WDX_SUPERVISOR_LOG_MAX) {
    rename(m_sPath.c_str(), (sFolder + WDX_SUPERVISOR_OLD_LOG_NAME).c_str());
  }
}

void CSupervisorLog::Write(const std::string& sText, bool bError) {
  SystemLogWrite(("wdxsupervisor: " + sText).c_str());
  const std::string sEntry = Stamp() + (bError ? " Error: " : " Message: ") + sText + "\r\r\n";
  CUniqueFd oFd(open(m_sPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  ssize_t iWritten = -1;
  if (oFd.IsValid()) {
    do {
      iWritten = write(oFd.Get(), sEntry.data(), sEntry.size());
    } while (iWritten < 0 && errno == EINTR);
  }
  if (iWritten == static_cast<ssize_t>(sEntry.size())) {
    m_bFailureReported = false;
    return;
  }
  // A short append (a full disk) is cut back so that the next entry starts on a line.
  if (iWritten > 0) {
    const off_t iEnd = lseek(oFd.Get(), 0, SEEK_CUR);
    if (iEnd >= iWritten && ftruncate(oFd.Get(), iEnd - iWritten) != 0) {
      SystemLogWrite(("wdxsupervisor: cannot cut back " + m_sPath + ".").c_str());
    }
  }
  if (!m_bFailureReported) {
    SystemLogWrite(("wdxsupervisor: cannot write " + m_sPath + ".").c_str());
    m_bFailureReported = true;
  }
}

}  // namespace wdx
