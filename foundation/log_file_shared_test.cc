// The event log between processes: the cross-process lock, several writers of one log and
// its rotation, and a disk that fills up under a writer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "foundation/log_file.h"
#include "platform/file_system.h"
#include "platform/named_lock.h"
#include "tests/support/child_process.h"
#include "tests/support/log_file_fixture.h"

namespace wdx {
namespace {

using test::CChildProcess;
using test::CInstalledClock;
using test::LogFileTest;

// Writes into the log "WDXSVC" of folder argv[0] with its debug output in file argv[1]: one
// entry, then five (the last a short one) under a file size limit that leaves room for 40 more
// bytes, then one more once the limit is lifted again.
WDX_TEST_CHILD(LogIntoFullDisk) {
  const int iStderr = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (iStderr < 0 || dup2(iStderr, STDERR_FILENO) < 0) return 2;
  signal(SIGXFSZ, SIG_IGN);
  CInstalledClock oClock;
  CLogFile oLog;
  oLog.SetFolder(argv[0]);
  if (!oLog.Initialize("WDXSVC")) return 3;
  oLog.LogEvent("before");
  struct rlimit oLimit;
  if (getrlimit(RLIMIT_FSIZE, &oLimit) != 0) return 4;
  const rlim_t uFree = oLimit.rlim_cur;
  oLimit.rlim_cur = static_cast<rlim_t>(GetFileSystem().FileSize(oLog.GetLogPath()) + 40);
  if (setrlimit(RLIMIT_FSIZE, &oLimit) != 0) return 5;
  for (int i = 0; i < 4; ++i) oLog.LogEvent("an entry too long for the room that is left");
  oLog.LogEvent("short");
  oLimit.rlim_cur = uFree;
  if (setrlimit(RLIMIT_FSIZE, &oLimit) != 0) return 6;
  oLog.LogEvent("after");
  return 0;
}

TEST_F(LogFileTest, FullDiskLeavesNoTornEntryAndIsReportedOnce) {
  // An older part long enough that the size limit leaves room for the debug output file too.
  const std::string sOlder(300, '-');
  m_oFolder.Write("WDXSVC.log", sOlder);
  setenv("WDX_DEBUG", "1", 1);
  CChildProcess oChild("LogIntoFullDisk", {m_oFolder.Path(), m_oFolder.File("debug")});
  unsetenv("WDX_DEBUG");
  ASSERT_EQ(oChild.Wait(10000), 0);
  EXPECT_EQ(
      Log(),
      sOlder +
          "12/06/26 11:33:53 (event): before\r\r\n"
          "12/06/26 11:33:53 Error: CLogFile: 5 log entries were lost while the log could not "
          "be written (File too large).\r\r\n"
          "12/06/26 11:33:53 (event): after\r\r\n");
  EXPECT_EQ(m_oFolder.Read("debug"), "CLogFile: " + m_oFolder.File("WDXSVC.log") +
                                         " cannot be written (File too large); entries are "
                                         "dropped until it can.\n");
}
// --- the cross-process lock ---

// Holds the log lock until the file argv[1] disappears or 5 s pass; creates argv[0] once held.
WDX_TEST_CHILD(HoldLogLock) {
  auto pLock = CreateNamedLock(LOG_MUTEX_NAME);
  if (!pLock || pLock->Wait(2000) != ELockWait::ACQUIRED) return 2;
  FILE* pFlag = std::fopen(argv[0], "w");
  if (pFlag == nullptr) return 3;
  std::fclose(pFlag);
  for (int i = 0; i < 500 && access(argv[1], F_OK) == 0; ++i) usleep(10'000);
  pLock->Release();
  return 0;
}

// Takes the log lock and dies holding it.
WDX_TEST_CHILD(DieHoldingLogLock) {
  auto pLock = CreateNamedLock(LOG_MUTEX_NAME);
  if (!pLock || pLock->Wait(2000) != ELockWait::ACQUIRED) return 2;
  _exit(0);
}

bool WaitForFile(const std::string& sPath) {
  for (int i = 0; i < 500; ++i) {
    if (access(sPath.c_str(), F_OK) == 0) return true;
    usleep(10'000);
  }
  return false;
}

TEST_F(LogFileTest, EntryIsDroppedWhileAnotherProcessHoldsTheLock) {
  CLogFile oLog;
  Open(oLog);
  const std::string sHeld = m_oFolder.File("held");
  const std::string sKeep = m_oFolder.File("keep");
  m_oFolder.Write("keep", "");
  CChildProcess oChild("HoldLogLock", {sHeld, sKeep});
  ASSERT_TRUE(WaitForFile(sHeld));
  oLog.LogEvent("while held");
  std::remove(sKeep.c_str());
  ASSERT_EQ(oChild.Wait(5000), 0);
  oLog.LogEvent("after release");
  EXPECT_EQ(Log(), "12/06/26 11:33:53 (event): after release\r\r\n");
}

TEST_F(LogFileTest, LockAbandonedByDeadProcessCountsAsTaken) {
  CLogFile oLog;
  Open(oLog);
  CChildProcess oChild("DieHoldingLogLock", {});
  ASSERT_EQ(oChild.Wait(5000), 0);
  oLog.LogEvent("after owner died");
  EXPECT_EQ(Log(), "12/06/26 11:33:53 (event): after owner died\r\r\n");
}

// Writes argv[2] entries "writer NAME #i" into the log "Shared" of folder argv[0], whose size
// limit is argv[3] when given.
WDX_TEST_CHILD(LogWriter) {
  CLogFile oLog;
  if (argc > 3) oLog.SetMaxSize(std::atoi(argv[3]));
  oLog.SetFolder(argv[0]);
  if (!oLog.Initialize("Shared")) return 2;
  const int iCount = std::atoi(argv[2]);
  for (int i = 0; i < iCount; ++i) {
    const std::string sText = std::string("writer ") + argv[1] + " #" + std::to_string(i) +
                              " padding-padding-padding-padding-padding-padding";
    oLog.LogMessage(sText.c_str());
  }
  return 0;
}

// A whole "MM/DD/YY HH:MM:SS Message: writer X #N padding..." line; sWriter = "X #N".
bool ParseWriterLine(const std::string& sLine, std::string& sWriter) {
  const std::string sShape = "dd/dd/dd dd:dd:dd Message: writer ";
  if (sLine.size() < sShape.size()) return false;
  for (size_t i = 0; i < sShape.size(); ++i) {
    const bool bDigit = sLine[i] >= '0' && sLine[i] <= '9';
    if (sShape[i] == 'd' ? !bDigit : sLine[i] != sShape[i]) return false;
  }
  const std::string sTail = " padding-padding-padding-padding-padding-padding";
  if (sLine.size() < sShape.size() + sTail.size() ||
      sLine.compare(sLine.size() - sTail.size(), sTail.size(), sTail) != 0) {
    return false;
  }
  sWriter = sLine.substr(sShape.size(), sLine.size() - sShape.size() - sTail.size());
  return sWriter.size() >= 4 && (sWriter[0] == 'A' || sWriter[0] == 'B') &&
         sWriter.compare(1, 2, " #") == 0 &&
         sWriter.find_first_not_of("0123456789", 3) == std::string::npos;
}

// Adds the writers of every line of sAll to oSeen; fails on a torn, foreign or repeated line.
void CollectWriterLines(const std::string& sAll, std::set<std::string>& oSeen) {
  size_t uStart = 0;
  while (uStart < sAll.size()) {
    const size_t uEnd = sAll.find("\r\r\n", uStart);
    ASSERT_NE(uEnd, std::string::npos) << "torn tail";
    const std::string sLine = sAll.substr(uStart, uEnd - uStart);
    std::string sWriter;
    ASSERT_TRUE(ParseWriterLine(sLine, sWriter)) << "bad line: " << sLine;
    EXPECT_TRUE(oSeen.insert(sWriter).second) << "duplicate: " << sLine;
    uStart = uEnd + 3;
  }
}

TEST_F(LogFileTest, TwoProcessesWriteWholeLinesToOneLog) {
  constexpr int kEach = 1500;
  CChildProcess oFirst("LogWriter", {m_oFolder.Path(), "A", std::to_string(kEach)});
  CChildProcess oSecond("LogWriter", {m_oFolder.Path(), "B", std::to_string(kEach)});
  ASSERT_EQ(oFirst.Wait(60000), 0);
  ASSERT_EQ(oSecond.Wait(60000), 0);
  std::set<std::string> oSeen;
  CollectWriterLines(Log("Shared"), oSeen);
  EXPECT_EQ(oSeen.size(), 2u * kEach);
}

TEST_F(LogFileTest, TwoProcessesRotateTheirLogOnceAndLoseNothing) {
  // About 280,000 bytes in all: one rotation at 150,000. A second one would copy the young log
  // over the full generation and lose its entries.
  constexpr int kEach = 1500;
  constexpr int kLimit = 150'000;
  const std::string sLimit = std::to_string(kLimit);
  CChildProcess oFirst("LogWriter", {m_oFolder.Path(), "A", std::to_string(kEach), sLimit});
  CChildProcess oSecond("LogWriter", {m_oFolder.Path(), "B", std::to_string(kEach), sLimit});
  ASSERT_EQ(oFirst.Wait(60000), 0);
  ASSERT_EQ(oSecond.Wait(60000), 0);
  const std::string sOld = m_oFolder.Read("Shared.old");
  EXPECT_GE(sOld.size(), static_cast<size_t>(kLimit));
  EXPECT_LT(sOld.size(), static_cast<size_t>(kLimit) + 100u);
  EXPECT_LT(Log("Shared").size(), static_cast<size_t>(kLimit));
  std::set<std::string> oSeen;
  CollectWriterLines(sOld, oSeen);
  CollectWriterLines(Log("Shared"), oSeen);
  EXPECT_EQ(oSeen.size(), 2u * kEach);
}

}  // namespace
}  // namespace wdx
