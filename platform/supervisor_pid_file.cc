#include "platform/supervisor_pid_file.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/unique_fd.h"

namespace wdx {
namespace {

constexpr size_t MAX_PID_FILE = 256;
constexpr size_t MAX_CMDLINE = 64 * 1024;

bool ReadSmallFile(const std::string& sPath, std::string& sText, size_t iMaxBytes) {
  sText.clear();
  CUniqueFd oFd(open(sPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!oFd.IsValid()) return false;
  char acBuffer[4096];
  for (;;) {
    ssize_t iRead = read(oFd.Get(), acBuffer, sizeof(acBuffer));
    if (iRead < 0 && errno == EINTR) continue;
    if (iRead < 0) return false;
    if (iRead == 0) return true;
    if (sText.size() + static_cast<size_t>(iRead) > iMaxBytes) return false;
    sText.append(acBuffer, static_cast<size_t>(iRead));
  }
}

bool ParsePid(const std::string& sLine, int& iPid) {
  if (sLine.empty()) return false;
  auto oResult = std::from_chars(sLine.data(), sLine.data() + sLine.size(), iPid);
  return oResult.ec == std::errc() && oResult.ptr == sLine.data() + sLine.size() && iPid >= 0;
}

bool WriteAll(int iFd, const std::string& sText) {
  size_t iDone = 0;
  while (iDone < sText.size()) {
    ssize_t iWritten = write(iFd, sText.data() + iDone, sText.size() - iDone);
    if (iWritten < 0 && errno == EINTR) continue;
    if (iWritten <= 0) return false;
    iDone += static_cast<size_t>(iWritten);
  }
  return true;
}

// The NUL-separated strings of /proc/PID/<sName> (arguments or environment).
bool ReadProcList(int iPid, const char* szName, std::vector<std::string>& oItems) {
  oItems.clear();
  std::string sText;
  if (!ReadSmallFile("/proc/" + std::to_string(iPid) + "/" + szName, sText, MAX_CMDLINE)) {
    return false;
  }
  size_t iStart = 0;
  while (iStart < sText.size()) {
    size_t iEnd = sText.find('\0', iStart);
    if (iEnd == std::string::npos) iEnd = sText.size();
    oItems.push_back(sText.substr(iStart, iEnd - iStart));
    iStart = iEnd + 1;
  }
  return true;
}

bool HasArgument(int iPid, const std::string& sArgument) {
  std::vector<std::string> oArgs;
  if (!ReadProcList(iPid, "cmdline", oArgs)) return false;
  return std::find(oArgs.begin(), oArgs.end(), sArgument) != oArgs.end();
}

}  // namespace

std::string FormatPidFile(const SPidFileContent& oContent) {
  std::string sText = std::to_string(oContent.m_iSupervisorPid) + "\n" +
                      std::to_string(oContent.m_iServicePid) + "\n";
  if (oContent.m_bStopping) sText += "stopping\n";
  return sText;
}

bool ParsePidFile(const std::string& sText, SPidFileContent& oContent) {
  oContent = SPidFileContent();
  if (sText.empty() || sText.back() != '\n') return false;
  std::string aLines[3];
  size_t iCount = 0;
  size_t iStart = 0;
  while (iStart < sText.size()) {
    size_t iEnd = sText.find('\n', iStart);
    if (iCount == 3) return false;
    aLines[iCount++] = sText.substr(iStart, iEnd - iStart);
    iStart = iEnd + 1;
  }
  if (iCount < 2) return false;
  SPidFileContent oRead;
  if (!ParsePid(aLines[0], oRead.m_iSupervisorPid) || oRead.m_iSupervisorPid == 0) return false;
  if (!ParsePid(aLines[1], oRead.m_iServicePid)) return false;
  if (iCount == 3) {
    if (aLines[2] != "stopping") return false;
    oRead.m_bStopping = true;
  }
  oContent = oRead;
  return true;
}

bool ReadPidFile(const std::string& sPath, SPidFileContent& oContent) {
  std::string sText;
  return ReadSmallFile(sPath, sText, MAX_PID_FILE) && ParsePidFile(sText, oContent);
}

bool IsSupervisorOf(int iPid, const std::string& sPidFilePath) {
  return IsProcessAlive(iPid) && HasArgument(iPid, sPidFilePath);
}

bool IsServiceOf(int iPid, const std::string& sProgram, const std::string& sProgramFolder) {
  if (iPid <= 0 || !IsProcessAlive(iPid) || !HasArgument(iPid, sProgram)) return false;
  std::vector<std::string> oEnvironment;
  if (!ReadProcList(iPid, "environ", oEnvironment)) return false;
  bool bSupervised = false;
  std::string sFolder = FolderOf(sProgram);
  for (const std::string& sEntry : oEnvironment) {
    if (sEntry == "WDX_SUPERVISED=1") bSupervised = true;
    if (sEntry.rfind("WDX_HOME=", 0) == 0 && sEntry.size() > 9) {
      sFolder = sEntry.substr(9);
      if (sFolder.back() != '/') sFolder += '/';
    }
  }
  return bSupervised && sFolder == sProgramFolder;
}

bool CSupervisorPidFile::WriteTemporary(const SPidFileContent& oContent, std::string& sTemporary) {
  sTemporary = m_sPath + ".tmp." + std::to_string(getpid());
  CUniqueFd oFd(open(sTemporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!oFd.IsValid() || !WriteAll(oFd.Get(), FormatPidFile(oContent))) {
    m_sLastError = "cannot write " + sTemporary + ": " + std::strerror(errno);
    if (oFd.IsValid()) unlink(sTemporary.c_str());
    return false;
  }
  return true;
}

bool CSupervisorPidFile::Create(const std::string& sPath, int iOwnPid) {
  Remove();
  m_sPath = sPath;
  m_iStaleServicePid = 0;
  SPidFileContent oContent;
  oContent.m_iSupervisorPid = iOwnPid;
  std::string sTemporary;
  if (!WriteTemporary(oContent, sTemporary)) return false;
  // link() creates the name only when it is free, with the whole content already in place.
  for (int iAttempt = 0; iAttempt < 3; ++iAttempt) {
    if (link(sTemporary.c_str(), m_sPath.c_str()) == 0) {
      unlink(sTemporary.c_str());
      m_bOwned = true;
      return true;
    }
    if (errno != EEXIST) break;
    SPidFileContent oOther;
    const bool bRead = ReadPidFile(m_sPath, oOther);
    if (bRead && oOther.m_iSupervisorPid != iOwnPid &&
        IsSupervisorOf(oOther.m_iSupervisorPid, m_sPath)) {
      unlink(sTemporary.c_str());
      m_sLastError = "another supervisor (process " + std::to_string(oOther.m_iSupervisorPid) +
                     ") runs with " + m_sPath;
      return false;
    }
    if (bRead) m_iStaleServicePid = oOther.m_iServicePid;
    unlink(m_sPath.c_str());  // stale: its supervisor is gone
  }
  m_sLastError = "cannot create " + m_sPath + ": " + std::strerror(errno);
  unlink(sTemporary.c_str());
  return false;
}

bool CSupervisorPidFile::Update(const SPidFileContent& oContent) {
  if (!m_bOwned) return false;
  std::string sTemporary;
  if (!WriteTemporary(oContent, sTemporary)) return false;
  if (rename(sTemporary.c_str(), m_sPath.c_str()) != 0) {
    m_sLastError = "cannot replace " + m_sPath + ": " + std::strerror(errno);
    unlink(sTemporary.c_str());
    return false;
  }
  return true;
}

void CSupervisorPidFile::Remove() {
  if (!m_bOwned) return;
  m_bOwned = false;
  unlink(m_sPath.c_str());
}

}  // namespace wdx
