// CLogFile: the event log of a process. Each entry is one line of the form
// "MM/DD/YY HH:MM:SS Error: text" (or " Message: ", " (event): ") ending in CR CR LF, appended
// to FOLDER/BASE.log. Every entry of every process is written under the system-wide named lock
// "MutexToProtectLogFile" (waited for at most 500 ms; the entry is dropped when the wait fails)
// and is in the file when the call returns, so several processes can share one log and readers
// may open it at any time. The file's own errors go to the debug output, never into the log.
//
// An entry is in the file whole or not at all: when the disk is full it is cut back out, so no
// torn line is left for the next entry to be glued to. Entries lost so are reported once: one
// debug output text at the first, and one error entry "CLogFile: N log entries were lost while
// the log could not be written (reason)." in front of the first entry written again.
//
// The append stream stays open between entries (opened for append, each entry handed to the
// file in one write under the lock) and is re-opened when it is older than the re-open interval
// (1000 ms by default; 0 re-opens for every entry), so a log that was moved or deleted from
// outside is found again. A log at or over its size limit, when it is initialised and before
// every entry, is copied to FOLDER/BASE.old and then emptied in place, so that other writers'
// open streams go on appending to the fresh log. Both happen under the lock, so several writers
// of one log rotate it once.
//
// One log object per process is installed with SetProcessLog (foundation/process_log.h).
//
// Threading: the Log* calls are safe from any thread (the named lock also excludes the threads
// of this process). SetFolder, SetMaxSize, EnableBlankLines, SetReopenIntervalMs and Initialize
// are called by the start-up code before other threads log.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "foundation/txt_file4.h"
#include "foundation/zuv_str.h"

namespace wdx {

class INamedLock;

inline constexpr int LOG_DEFAULT_MAX_SIZE = 2'000'000;
inline constexpr int LOG_LOCK_WAIT_MS = 500;
inline constexpr const char* LOG_MUTEX_NAME = "MutexToProtectLogFile";
inline constexpr int LOG_REOPEN_INTERVAL_MS = 1000;

class CLogFile : public CTxtFile4 {
 public:
  CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;
  // Removes this object from the process-wide pointer when it is installed there.
  ~CLogFile() override;

  // The folder of the log ("/" is added when missing at Initialize).
  void SetFolder(const char* szFolder);
  void EnableBlankLines(bool bEnable) { m_bBlankLinesEnabled = bEnable; }
  void SetMaxSize(int iBytes) { m_iMaxSize = iBytes; }
  void SetReopenIntervalMs(int iMilliseconds) { m_iReopenIntervalMs = iMilliseconds; }
  // The base name of the previous generation FOLDER/NAME.old when it is spelt differently from
  // the log's own base name (the uptime log "UpTime.log" rotates to "Uptime.old"); empty (the
  // default) uses the log's base name.
  void SetOldBaseName(const char* szBaseName) {
    m_sOldBaseName = szBaseName != nullptr ? szBaseName : "";
  }

  // Builds the paths, rotates a full log to ".old", opens or creates the log. True when ready.
  bool Initialize(const char* szBaseName);

  void LogError(const char* szText);
  void LogMessage(const char* szText);
  void LogEvent(const char* szText);
  // count lines holding only CR (each written as CR CR LF); nothing while blank lines are off.
  void LogBlankLines(int iCount);

  // "MM/DD/YY HH:MM:SS: " of the local time now.
  std::string GetTimeStamp() const;

  bool IsReady() const { return m_bReady; }
  const char* GetLogPath() const { return m_oLogPath.GetBuffer(); }
  int GetMaxSize() const { return m_iMaxSize; }

 private:
  // "MM/DD/YY HH:MM:SS" of the local time now.
  static std::string FormatNow();
  void WriteEntry(const char* szMarker, const char* szText);
  // Appends sLine iCount times (each followed by CR LF) under the lock; dropped when the lock
  // cannot be had within LOG_LOCK_WAIT_MS.
  void AppendUnderLock(const std::string& sLine, int iCount);
  // Copies a log at or over the size limit to the ".old" path and empties it; true when it did.
  // Under the lock.
  bool RotateIfFull();
  // Counts an entry that could not be written; the first of a run goes to the debug output.
  void NoteDroppedEntry(int iError);
  // The error entry (with its line end) that reports the entries lost so far.
  std::string DroppedEntriesLine() const;
  // Opens the append stream when it is closed or older than the re-open interval.
  bool EnsureAppendStream();

  CZuvStr m_oFolder;
  bool m_bBlankLinesEnabled = false;
  CZuvStr m_oLogPath;
  int m_iMaxSize = LOG_DEFAULT_MAX_SIZE;
  bool m_bReady = false;
  std::unique_ptr<INamedLock> m_pMutex;
  int m_iReopenIntervalMs = LOG_REOPEN_INTERVAL_MS;
  std::chrono::steady_clock::time_point m_oOpenedAt;
  std::string m_sOldBaseName;
  std::string m_sOldPath;
  int m_iDroppedEntries = 0;
  std::string m_sDropReason;
};

}  // namespace wdx
