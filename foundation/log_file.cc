#include "foundation/log_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

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

bool CLogFile::RotateIfFull() {
  IFileSystem& oFiles = GetFileSystem();
  const std::string sLogPath = m_oLogPath.GetBuffer();
  // The open append stream is sized without a look-up of the path. -1 for a log that is
  // missing or cannot be opened for sizing: such a log is left alone.
  const int64_t iSize = IsOpen() ? GetOpenFileSize() : oFiles.FileSize(sLogPath);
  if (iSize <= 0 || iSize < m_iMaxSize) return false;
  Close();
  if (!oFiles.CopyFile(sLogPath, m_sOldPath)) DebugOutput("CLogFile cannot copy the log to .old");
  // Emptied in place rather than deleted: writers holding it open go on in the fresh log.
  const bool bEmptied = Create(sLogPath.c_str());
  Close();
  if (!bEmptied && !oFiles.DeleteFile(sLogPath)) DebugOutput("CLogFile cannot delete the full log");
  return true;
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
  m_sOldPath = sFolder + sOldBase + ".old";
  RotateIfFull();

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
  if (!m_bReady) return;
  // Rotated under the lock, so that of several writers of one log only the first to see it
  // full rotates it; rotation closes the stream.
  if (!EnsureAppendStream() || (RotateIfFull() && !EnsureAppendStream())) {
    NoteDroppedEntry(errno);
    return;
  }
  std::string sBytes = m_iDroppedEntries > 0 ? DroppedEntriesLine() : std::string();
  for (int i = 0; i < iCount; ++i) sBytes += sLine + "\r\n";
  // The entry is in the file before the lock goes to the next writer, or not there at all.
  if (AppendWhole(sBytes)) {
    m_iDroppedEntries = 0;
    return;
  }
  NoteDroppedEntry(GetFileSystem().GetLastErrorCode());
  Close();
}

void CLogFile::NoteDroppedEntry(int iError) {
  if (m_iDroppedEntries++ > 0) return;
  // Called under the lock, which also excludes this process's other threads.
  m_sDropReason = iError != 0 ? std::strerror(iError) : "cause unknown";
  DebugOutput(("CLogFile: " + std::string(m_oLogPath.GetBuffer()) + " cannot be written (" +
               m_sDropReason + "); entries are dropped until it can.")
                  .c_str());
}

std::string CLogFile::DroppedEntriesLine() const {
  const std::string sCount = m_iDroppedEntries == 1
                                 ? std::string("1 log entry was")
                                 : std::to_string(m_iDroppedEntries) + " log entries were";
  return FormatNow() + " Error: CLogFile: " + sCount +
         " lost while the log could not be written (" + m_sDropReason + ").\r\r\n";
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
