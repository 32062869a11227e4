// The process-wide event log: one CLogFile per process, reached through one pointer. While no
// log is installed every call here is ignored, so foundation code may log at any time.
//
// Threading: the calls are safe from any thread; installing or removing the log object is done
// by the process's start-up and shutdown code while no other thread logs.
#pragma once

namespace wdx {

class CLogFile;

// The installed log, or nullptr.
CLogFile* GetProcessLog();
// Installs pLog (owned by the caller) as the process log; nullptr removes it.
void SetProcessLog(CLogFile* pLog);

void ZuvLogError(const char* szText);
void ZuvLogMessage(const char* szText);
void ZuvLogEvent(const char* szText);
void ZuvLogBlankLines(int iCount);

}  // namespace wdx
