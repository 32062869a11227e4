#include "foundation/log_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/process_log.h"
#include "platform/clock.h"
#include "platform/fake_clock.h"
#include "platform/fake_file_system.h"
#include "platform/file_system.h"
#include "platform/named_lock.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using test::CChildProcess;
using test::CTempFolder;

// Points the named locks of this process (and of its children) at a private lock folder, so
// that holding "MutexToProtectLogFile" here never delays anybody else's log.
class CPrivateLocks final {
 public:
  explicit CPrivateLocks(const std::string& sFolder) {
    const char* szOld = std::getenv("WDX_LOCK_DIR");
    m_bHadOld = szOld != nullptr;
    if (m_bHadOld) m_sOld = szOld;
    setenv("WDX_LOCK_DIR", sFolder.c_str(), 1);
  }
  ~CPrivateLocks() {
    if (m_bHadOld) {
      setenv("WDX_LOCK_DIR", m_sOld.c_str(), 1);
    } else {
      unsetenv("WDX_LOCK_DIR");
    }
  }
  CPrivateLocks(const CPrivateLocks&) = delete;
  CPrivateLocks& operator=(const CPrivateLocks&) = delete;

 private:
  bool m_bHadOld = false;
  std::string m_sOld;
};

class CInstalledClock final {
 public:
  CInstalledClock() {
    SLocalTime oTime;
    oTime.m_iYear = 2026;
    oTime.m_iMonth = 12;
    oTime.m_iDay = 6;
    oTime.m_iHour = 11;
    oTime.m_iMinute = 33;
    oTime.m_iSecond = 53;
    m_oClock.SetLocalTime(oTime);
    SetClockForTesting(&m_oClock);
  }
  ~CInstalledClock() { SetClockForTesting(nullptr); }
  CInstalledClock(const CInstalledClock&) = delete;
  CInstalledClock& operator=(const CInstalledClock&) = delete;

  CFakeClock& Clock() { return m_oClock; }

 private:
  CFakeClock m_oClock;
};

class LogFileTest : public ::testing::Test {
 protected:
  LogFileTest() : m_oLocks(m_oLockFolder.Path()) {}

  void Open(CLogFile& oLog, const char* szBase = "WDXSVC") {
    oLog.SetFolder(m_oFolder.Path().c_str());
    ASSERT_TRUE(oLog.Initialize(szBase));
  }
  std::string Log(const char* szBase = "WDXSVC") const {
    return m_oFolder.Read(std::string(szBase) + ".log");
  }

  CTempFolder m_oLockFolder;
  CPrivateLocks m_oLocks;
  CTempFolder m_oFolder;
  CInstalledClock m_oClock;
};

// --- line format ---

TEST_F(LogFileTest, EntriesHaveExactBytes) {
  CLogFile oLog;
  Open(oLog);
  oLog.LogEvent("started");
  oLog.LogError("bad thing");
  oLog.LogMessage("note");
  EXPECT_EQ(Log(),
            "12/06/26 11:33:53 (event): started\r\r\n"
            "12/06/26 11:33:53 Error: bad thing\r\r\n"
            "12/06/26 11:33:53 Message: note\r\r\n");
}

TEST_F(LogFileTest, SmallFieldsHaveLeadingZerosAndTwoDigitYear) {
  SLocalTime oTime;
  oTime.m_iYear = 2009;
  oTime.m_iMonth = 3;
  oTime.m_iDay = 4;
  oTime.m_iHour = 5;
  oTime.m_iMinute = 6;
  oTime.m_iSecond = 7;
  m_oClock.Clock().SetLocalTime(oTime);
  CLogFile oLog;
  Open(oLog);
  EXPECT_EQ(oLog.GetTimeStamp(), "03/04/09 05:06:07: ");
  oLog.LogEvent("x");
  EXPECT_EQ(Log(), "03/04/09 05:06:07 (event): x\r\r\n");
}

TEST_F(LogFileTest, PercentSignsAndOwnLineBreaksAreWrittenAsGiven) {
  CLogFile oLog;
  Open(oLog);
  oLog.LogMessage("100% done %s %d %n\r\nsecond part");
  EXPECT_EQ(Log(), "12/06/26 11:33:53 Message: 100% done %s %d %n\r\nsecond part\r\r\n");
}

TEST_F(LogFileTest, FolderWithoutSlashGetsOne) {
  CLogFile oLog;
  std::string sFolder = m_oFolder.Path();
  sFolder.pop_back();
  oLog.SetFolder(("  " + sFolder + " ").c_str());
  ASSERT_TRUE(oLog.Initialize("Wardenix"));
  EXPECT_EQ(std::string(oLog.GetLogPath()), m_oFolder.Path() + "Wardenix.log");
}

TEST_F(LogFileTest, BlankLinesOnlyWhenEnabled) {
  CLogFile oLog;
  Open(oLog);
  oLog.LogBlankLines(1);
  EXPECT_EQ(Log(), "");
  oLog.EnableBlankLines(true);
  oLog.LogBlankLines(2);
  EXPECT_EQ(Log(), "\r\r\n\r\r\n");
}

// --- rotation ---

TEST_F(LogFileTest, LogOfExactlyTheLimitIsRotated) {
  const std::string sFull(2'000'000, 'a');
  m_oFolder.Write("WDXSVC.log", sFull);
  m_oFolder.Write("WDXSVC.old", "older generation");
  CLogFile oLog;
  Open(oLog);
  EXPECT_EQ(m_oFolder.Read("WDXSVC.old"), sFull);
  EXPECT_EQ(Log(), "");
  oLog.LogEvent("fresh");
  EXPECT_EQ(Log(), "12/06/26 11:33:53 (event): fresh\r\r\n");
}

TEST_F(LogFileTest, LogOneByteUnderTheLimitIsKept) {
  m_oFolder.Write("WDXSVC.log", std::string(1'999'999, 'a'));
  CLogFile oLog;
  Open(oLog);
  EXPECT_EQ(m_oFolder.Read("WDXSVC.old"), "");
  EXPECT_EQ(Log().size(), 1'999'999u);
  oLog.LogEvent("more");
  EXPECT_EQ(Log().size(), 1'999'999u + 34u);
}

TEST_F(LogFileTest, GrowthWhileRunningIsRotatedAtTheLimit) {
  // Each entry is 40 bytes: the fourth finds 120 >= 100 bytes and starts the next generation.
  const std::string sEntry = "12/06/26 11:33:53 (event): 0123456789\r\r\n";
  CLogFile oLog;
  oLog.SetMaxSize(100);
  Open(oLog, "Uptime");
  for (int i = 0; i < 3; ++i) oLog.LogEvent("0123456789");
  EXPECT_EQ(m_oFolder.Read("Uptime.old"), "");
  oLog.LogEvent("0123456789");
  EXPECT_EQ(m_oFolder.Read("Uptime.old"), sEntry + sEntry + sEntry);
  EXPECT_EQ(Log("Uptime"), sEntry);
  oLog.EnableBlankLines(true);
  oLog.LogBlankLines(3);
  oLog.LogBlankLines(1);
  EXPECT_EQ(m_oFolder.Read("Uptime.old"), sEntry + sEntry + sEntry);
  EXPECT_EQ(Log("Uptime"), sEntry + "\r\r\n\r\r\n\r\r\n\r\r\n");
}

TEST_F(LogFileTest, OldGenerationMayBeSpeltDifferently) {
  m_oFolder.Write("UpTime.log", std::string(100, 'a'));
  CLogFile oLog;
  oLog.SetMaxSize(100);
  oLog.SetOldBaseName("Uptime");
  Open(oLog, "UpTime");
  EXPECT_EQ(m_oFolder.Read("Uptime.old"), std::string(100, 'a'));
  EXPECT_EQ(m_oFolder.Read("UpTime.old"), "");
  EXPECT_EQ(Log("UpTime"), "");
}

TEST_F(LogFileTest, FullLogIsDeletedEvenWhenCopyFails) {
  m_oFolder.Write("WDXSVC.log", std::string(300, 'a'));
  CFakeFileSystem oFake;
  oFake.SetFailure(EFileOp::COPY, EIO);
  SetFileSystemForTesting(&oFake);
  CLogFile oLog;
  oLog.SetMaxSize(300);
  oLog.SetFolder(m_oFolder.Path().c_str());
  const bool bReady = oLog.Initialize("WDXSVC");
  SetFileSystemForTesting(nullptr);
  EXPECT_TRUE(bReady);
  EXPECT_EQ(Log(), "");
  EXPECT_FALSE(oFake.GetCallCount(EFileOp::COPY) == 0);
}

TEST_F(LogFileTest, RotationByAnotherWriterLosesNoEntries) {
  CLogFile oWriter;
  Open(oWriter);
  oWriter.LogEvent("one");
  CLogFile oStarter;
  oStarter.SetMaxSize(10);
  Open(oStarter);
  oWriter.LogEvent("two");
  EXPECT_EQ(m_oFolder.Read("WDXSVC.old"), "12/06/26 11:33:53 (event): one\r\r\n");
  EXPECT_EQ(Log(), "12/06/26 11:33:53 (event): two\r\r\n");
}

TEST_F(LogFileTest, LogDeletedFromOutsideIsStartedAgain) {
  CLogFile oLog;
  oLog.SetReopenIntervalMs(0);
  Open(oLog);
  oLog.LogEvent("one");
  ASSERT_EQ(std::remove(m_oFolder.File("WDXSVC.log").c_str()), 0);
  oLog.LogEvent("two");
  EXPECT_EQ(Log(), "12/06/26 11:33:53 (event): two\r\r\n");
}

// --- failures ---

TEST_F(LogFileTest, MissingFolderLeavesLogNotReadyAndDropsEntries) {
  CLogFile oLog;
  oLog.SetFolder((m_oFolder.Path() + "no/such/folder").c_str());
  EXPECT_FALSE(oLog.Initialize("WDXSVC"));
  EXPECT_FALSE(oLog.IsReady());
  oLog.LogError("dropped");
  oLog.LogBlankLines(1);
  EXPECT_EQ(test::ReadWholeFile(m_oFolder.Path() + "no/such/folder/WDXSVC.log"), "");
}

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

TEST_F(LogFileTest, ProcessPointerRoutesCallsAndIsClearedByDestruction) {
  ZuvLogError("nobody listens");
  {
    CLogFile oLog;
    Open(oLog);
    SetProcessLog(&oLog);
    ZuvLogError("e");
    ZuvLogMessage("m");
    ZuvLogEvent("v");
    EXPECT_EQ(GetProcessLog(), &oLog);
  }
  EXPECT_EQ(GetProcessLog(), nullptr);
  ZuvLogEvent("after the log is gone");
  EXPECT_EQ(Log(),
            "12/06/26 11:33:53 Error: e\r\r\n"
            "12/06/26 11:33:53 Message: m\r\r\n"
            "12/06/26 11:33:53 (event): v\r\r\n");
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
