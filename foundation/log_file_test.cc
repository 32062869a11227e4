// The event log in one process: the bytes of its entries, rotation and failures.
#include "foundation/log_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "foundation/process_log.h"
#include "platform/fake_file_system.h"
#include "tests/support/log_file_fixture.h"

namespace wdx {
namespace {

using test::LogFileTest;

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

}  // namespace
}  // namespace wdx
