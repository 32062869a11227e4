#include "foundation/log_file.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "foundation/process_log.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/file_system.h"
#include "platform/named_lock.h"
#include "platform/platform_log.h"

namespace wdx {
namespace {

std::atomic<CLogFile*> g_pProcessLog{nullptr};

// Set while this thread writes an entry: anything the lock or file layer logs meanwhile is
// dropped instead of waiting on the lock it already holds.
thread_local bool t_bWritingEntry = false;

// Holds the named lock for one scope; an abandoned lock counts as held.
class CLockHold final {
 public:
  CLockHold(INamedLock* pLock, int iWaitMs) : m_pLock(pLock) {
    if (m_pLock == nullptr) return;
    const ELockWait eWait = m_pLock->Wait(iWaitMs);
    m_bHeld = eWait == ELockWait::ACQUIRED || eWait == ELockWait::ABANDONED;
  }
  ~CLockHold() {
    if (m_bHeld) m_pLock->Release();
  }
  CLockHold(const CLockHold&) = delete;
  CLockHold& operator=(const CLockHold&) = delete;

  bool IsHeld() const { return m_bHeld; }

 private:
  INamedLock* m_pLock;
  bool m_bHeld = false;
};

class CReentryGuard final {
 public:
  CReentryGuard() : m_bEntered(!t_bWritingEntry) {
    if (m_bEntered) t_bWritingEntry = true;
  }
  ~CReentryGuard() {
    if (m_bEntered) t_bWritingEntry = false;
  }
  CReentryGuard(const CReentryGuard&) = delete;
  CReentryGuard& operator=(const CReentryGuard&) = delete;

  bool IsEntered() const { return m_bEntered; }

 private:
  bool m_bEntered;
};

}  // namespace

CLogFile::CLogFile() : m_pMutex(CreateNamedLock(LOG_MUTEX_NAME)) {
  SetQuiet(true);
  if (!m_pMutex) DebugOutput("CLogFile cannot open the lock MutexToProtectLogFile.");
}

CLogFile::~CLogFile() {
  CLogFile* pExpected = this;
  g_pProcessLog.compare_exchange_strong(pExpected, nullptr);
}

void CLogFile::SetFolder(const char* szFolder) {
  m_oFolder.Assign(szFolder == nullptr ? "" : szFolder);
}

void CLogFile::RotateIfFull(const std::string& sLogPath, const std::string& sOldPath) {
  IFileSystem& oFiles = GetFileSystem();
  if (!oFiles.FileExists(sLogPath)) return;
  if (oFiles.FileSize(sLogPath) < m_iMaxSize) return;
  if (!oFiles.CopyFile(sLogPath, sOldPath))
    DebugOutput("CLogFile::Initialize() cannot copy the log to .old");
  // Emptied in place rather than deleted: writers holding it open go on in the fresh log.
  const bool bEmptied = Create(sLogPath.c_str());
  Close();
  if (!bEmptied && !oFiles.DeleteFile(sLogPath))
    DebugOutput("CLogFile::Initialize() cannot delete the full log");
}

bool CLogFile::Initialize(const char* szBaseName) {
  CReentryGuard oGuard;
  CLockHold oLock(m_pMutex.get(), LOG_LOCK_WAIT_MS);
  if (!oLock.IsHeld()) {
    DebugOutput("CLogFile::Initialize() cannot take MutexToProtectLogFile");
    return false;
  }
  m_bReady = false;
  Close();
  m_oFolder.Trim();
  std::string sFolder = m_oFolder.GetBuffer();
  if (sFolder.empty() || sFolder.back() != '/') sFolder += '/';
  m_oFolder.Assign(sFolder.c_str());
  const std::string sBase = szBaseName == nullptr ? "" : szBaseName;
  const std::string sLogPath = sFolder + sBase + ".log";
  m_oLogPath.Assign(sLogPath.c_str());
  if (!CTxtFile4::Initialize(4096)) return false;
  const std::string& sOldBase = m_sOldBaseName.empty() ? sBase : m_sOldBaseName;
  RotateIfFull(sLogPath, sFolder + sOldBase + ".old");

  const bool bOpened = GetFileSystem().FileExists(sLogPath) ? OpenForReadWrite(sLogPath.c_str())
                                                            : Create(sLogPath.c_str());
  Close();
  m_bReady = bOpened;
  return m_bReady;
}

std::string CLogFile::FormatNow() {
  SLocalTime oNow;
  if (!GetClock().GetLocalTime(oNow)) oNow = SLocalTime();
  char szStamp[64];
  std::snprintf(szStamp, sizeof(szStamp), "%02d/%02d/%02d %02d:%02d:%02d", oNow.m_iMonth % 100,
                oNow.m_iDay % 100, oNow.m_iYear % 100, oNow.m_iHour % 100, oNow.m_iMinute % 100,
                oNow.m_iSecond % 100);
  return szStamp;
}

std::string CLogFile::GetTimeStamp() const {
  return FormatNow() + ": ";
}

void CLogFile::WriteEntry(const char* szMarker, const char* szText) {
  std::string sLine = FormatNow();
  sLine += szMarker;
  if (szText != nullptr) sLine += szText;
  sLine += '\r';
  AppendUnderLock(sLine, 1);
}

bool CLogFile::EnsureAppendStream() {
  const auto oNow = std::chrono::steady_clock::now();
  if (IsOpen() && oNow - m_oOpenedAt < std::chrono::milliseconds(m_iReopenIntervalMs)) return true;
  Close();
  if (!ReOpenForReadAppend(m_oLogPath.GetBuffer())) return false;
  m_oOpenedAt = oNow;
  return true;
}

void CLogFile::AppendUnderLock(const std::string& sLine, int iCount) {
  CReentryGuard oGuard;
  if (!oGuard.IsEntered()) return;
  CLockHold oLock(m_pMutex.get(), LOG_LOCK_WAIT_MS);
  if (!oLock.IsHeld()) {
    DebugOutput("CLogFile: entry dropped, MutexToProtectLogFile not available");
    return;
  }
  if (!m_bReady || !EnsureAppendStream()) return;
  bool bWritten = true;
  for (int i = 0; i < iCount && bWritten; ++i) bWritten = WriteTextLine(sLine.c_str());
  // The entry must be in the file before the lock goes to the next writer.
  if (!Flush() || !bWritten) {
    DebugOutput("CLogFile: entry could not be written");
    Close();
  }
}

void CLogFile::LogError(const char* szText) {
  WriteEntry(" Error: ", szText);
}

void CLogFile::LogMessage(const char* szText) {
  WriteEntry(" Message: ", szText);
}

void CLogFile::LogEvent(const char* szText) {
  WriteEntry(" (event): ", szText);
}

void CLogFile::LogBlankLines(int iCount) {
  if (!m_bBlankLinesEnabled || iCount <= 0) return;
  AppendUnderLock("\r", iCount);
}

namespace {

void ForwardPlatformLog(EPlatformLogKind eKind, const char* szText) {
  if (eKind == EPlatformLogKind::ERROR) {
    ZuvLogError(szText);
  } else {
    ZuvLogMessage(szText);
  }
}

}  // namespace

CLogFile* GetProcessLog() {
  return g_pProcessLog.load(std::memory_order_acquire);
}

void SetProcessLog(CLogFile* pLog) {
  g_pProcessLog.store(pLog, std::memory_order_release);
  // The platform layer's reports go to this process log too.
  if (pLog != nullptr) SetPlatformLogSink(&ForwardPlatformLog);
}

void ZuvLogError(const char* szText) {
  if (CLogFile* pLog = GetProcessLog()) pLog->LogError(szText);
}

void ZuvLogMessage(const char* szText) {
  if (CLogFile* pLog = GetProcessLog()) pLog->LogMessage(szText);
}

void ZuvLogEvent(const char* szText) {
  if (CLogFile* pLog = GetProcessLog()) pLog->LogEvent(szText);
}

void ZuvLogBlankLines(int iCount) {
  if (CLogFile* pLog = GetProcessLog()) pLog->LogBlankLines(iCount);
}

}  // namespace wdx
