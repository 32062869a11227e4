#include "platform/perf_counters.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/proc_table.h"
#include "tests/support/spawned_program.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using test::CSpawnedProgram;
using test::CTempFolder;

constexpr const char* kBusyScript =
    "while :; do echo 0123456789abcdef; sleep 0.02; done >/dev/null";

void Pause(int iMs) {
  std::this_thread::sleep_for(std::chrono::milliseconds(iMs));
}

std::string Path(const std::string& sInstance, const char* szCounter) {
  return "\\\\host\\Process(" + sInstance + ")\\" + szCounter;
}

// Programs copied under titles unique to this test process.
class PerfCountersProcesses : public ::testing::Test {
 protected:
  std::string Program(const char* szFrom, const std::string& sName) {
    const std::string sTo = m_oFolder.File(sName);
    EXPECT_TRUE(test::CopyProgram(szFrom, sTo));
    return sTo;
  }
  std::string Title(const char* szKind) const {
    return std::string("pc") + szKind + std::to_string(::getpid());
  }
  PDH_STATUS Add(ICounterQuery& oQuery, const std::string& sPath, CounterHandle& hCounter) {
    return oQuery.AddCounter(sPath, hCounter);
  }

  CTempFolder m_oFolder;
};

TEST(PerfCountersPaths, MalformedPathsAreBadCounterNames) {
  auto pQuery = OpenCounterQuery();
  ASSERT_TRUE(pQuery);
  CounterHandle hCounter = -1;
  for (const char* szPath :
       {"", "Process(init)\\Elapsed Time", "\\\\host", "\\\\host\\Process(init\\Elapsed Time",
        "\\\\host\\Process init)\\Elapsed Time", "\\\\host\\Process(init)Elapsed Time",
        "\\\\host\\Process()\\Elapsed Time", "\\\\host\\Process((init))\\Elapsed Time",
        "\\\\host\\Process(init)\\", "\\\\\\Process(init)\\Elapsed Time"}) {
    EXPECT_EQ(pQuery->AddCounter(szPath, hCounter), PDH_CSTATUS_BAD_COUNTERNAME) << szPath;
  }
}

// A title of its own: with tests running side by side, "the first process" of the test
// program's own title may be another test process that ends meanwhile.
TEST_F(PerfCountersProcesses, UnknownPartsAreNamed) {
  auto pQuery = OpenCounterQuery();
  ASSERT_TRUE(pQuery);
  const std::string sSelf = Title("paths");
  CSpawnedProgram oChild(Program("/bin/sleep", sSelf), {"30"});
  ASSERT_TRUE(oChild.IsRunning());
  CounterHandle hCounter = -1;
  EXPECT_EQ(pQuery->AddCounter("\\\\h\\Processor(" + sSelf + ")\\Elapsed Time", hCounter),
            PDH_CSTATUS_NO_OBJECT);
  EXPECT_EQ(pQuery->AddCounter("\\\\h\\Web Service(_Total)\\Current Connections", hCounter),
            PDH_CSTATUS_NO_OBJECT);
  EXPECT_EQ(pQuery->AddCounter(Path(sSelf, "Handle Count"), hCounter), PDH_CSTATUS_NO_COUNTER);
  EXPECT_EQ(pQuery->AddCounter(Path("no-such-title-xq", "Elapsed Time"), hCounter),
            PDH_CSTATUS_NO_INSTANCE);
  EXPECT_EQ(pQuery->AddCounter(Path(sSelf + "#x", "Elapsed Time"), hCounter),
            PDH_CSTATUS_NO_INSTANCE);
  EXPECT_EQ(pQuery->AddCounter("\\\\h\\Process\\Elapsed Time", hCounter), PDH_CSTATUS_NO_INSTANCE);
  EXPECT_EQ(pQuery->AddCounter("\\Process(" + sSelf + ")\\elapsed time", hCounter),
            PDH_CSTATUS_VALID_DATA);
  int32_t lValue = 0;
  EXPECT_EQ(pQuery->GetLong(hCounter + 1, lValue), PDH_INVALID_HANDLE);
  EXPECT_EQ(pQuery->GetLong(-1, lValue), PDH_INVALID_HANDLE);
}

TEST(PerfCountersProcTable, InstancesCountProcessesOfOneTitleInPidOrder) {
  const std::vector<SProcEntry> oTable = {{10, "a"}, {11, "b"}, {12, "A"}, {13, "a"}};
  EXPECT_EQ(FindInstancePid(oTable, "a"), 10);
  EXPECT_EQ(FindInstancePid(oTable, "a#0"), 10);
  EXPECT_EQ(FindInstancePid(oTable, "a#1"), 12);
  EXPECT_EQ(FindInstancePid(oTable, "a#2"), 13);
  EXPECT_EQ(FindInstancePid(oTable, "a#3"), -1);
  EXPECT_EQ(FindInstancePid(oTable, "a#"), -1);
  EXPECT_EQ(FindInstancePid(oTable, "#1"), -1);
  EXPECT_EQ(FindInstancePid(oTable, "a#-1"), -1);
}

TEST_F(PerfCountersProcesses, TitlesAreCutAtTheFirstDotAndCountedByPid) {
  const std::string sTitle = Title("dot");
  const std::string sProgram = Program("/bin/sleep", sTitle + ".x.y");
  CSpawnedProgram oFirst(sProgram, {"60"});
  CSpawnedProgram oSecond(sProgram, {"60"});
  Pause(100);
  EXPECT_EQ(ReadBaseTitle(oFirst.Pid()), sTitle);
  const auto oTable = ListProcesses();
  const int iLow = std::min(oFirst.Pid(), oSecond.Pid());
  const int iHigh = std::max(oFirst.Pid(), oSecond.Pid());
  EXPECT_EQ(FindInstancePid(oTable, sTitle), iLow);
  EXPECT_EQ(FindInstancePid(oTable, sTitle + "#1"), iHigh);
  auto pQuery = OpenCounterQuery();
  CounterHandle hCounter = -1;
  EXPECT_EQ(Add(*pQuery, Path(sTitle + "#1", "IO Data Bytes/sec"), hCounter),
            PDH_CSTATUS_VALID_DATA);
  EXPECT_EQ(Add(*pQuery, Path(sTitle + "#2", "IO Data Bytes/sec"), hCounter),
            PDH_CSTATUS_NO_INSTANCE);
}

TEST_F(PerfCountersProcesses, BusyProcessShowsRatesAndIdleOneZero) {
  const std::string sBusy = Title("busy"), sIdle = Title("idle");
  CSpawnedProgram oBusy(Program("/bin/sh", sBusy), {"-c", kBusyScript});
  CSpawnedProgram oIdle(Program("/bin/sleep", sIdle), {"60"});
  Pause(150);
  auto pQuery = OpenCounterQuery();
  const char* aCounters[] = {"IO Data Bytes/sec", "IO Data Operations/sec",
                             "IO Other Operations/sec"};
  CounterHandle aBusy[3], aIdle[3];
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Add(*pQuery, Path(sBusy, aCounters[i]), aBusy[i]), PDH_CSTATUS_VALID_DATA);
    ASSERT_EQ(Add(*pQuery, Path(sIdle, aCounters[i]), aIdle[i]), PDH_CSTATUS_VALID_DATA);
  }
  int32_t lValue = 0;
  EXPECT_EQ(pQuery->GetLong(aBusy[0], lValue), PDH_INVALID_DATA);  // not collected yet
  ASSERT_EQ(pQuery->Collect(), PDH_CSTATUS_VALID_DATA);
  EXPECT_EQ(pQuery->GetLong(aBusy[0], lValue), PDH_INVALID_DATA);  // one collection only
  Pause(300);
  ASSERT_EQ(pQuery->Collect(), PDH_CSTATUS_VALID_DATA);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(pQuery->GetLong(aBusy[i], lValue), PDH_CSTATUS_VALID_DATA) << aCounters[i];
    EXPECT_GT(lValue, 0) << aCounters[i];
    ASSERT_EQ(pQuery->GetLong(aIdle[i], lValue), PDH_CSTATUS_VALID_DATA) << aCounters[i];
    EXPECT_EQ(lValue, 0) << aCounters[i];
  }
  // 17 bytes an echo, about 50 a second: the rate is per second, not per collection.
  ASSERT_EQ(pQuery->GetLong(aBusy[0], lValue), PDH_CSTATUS_VALID_DATA);
  EXPECT_GT(lValue, 100);
}

TEST_F(PerfCountersProcesses, ElapsedTimeCountsSecondsSinceStart) {
  const std::string sIdle = Title("age");
  CSpawnedProgram oIdle(Program("/bin/sleep", sIdle), {"60"});
  Pause(100);
  auto pQuery = OpenCounterQuery();
  CounterHandle hCounter = -1;
  ASSERT_EQ(Add(*pQuery, Path(sIdle, "Elapsed Time"), hCounter), PDH_CSTATUS_VALID_DATA);
  Pause(1000);
  ASSERT_EQ(pQuery->Collect(), PDH_CSTATUS_VALID_DATA);
  int32_t lValue = -1;
  ASSERT_EQ(pQuery->GetLong(hCounter, lValue), PDH_CSTATUS_VALID_DATA);
  EXPECT_GE(lValue, 1);
  EXPECT_LE(lValue, 3);
}

TEST_F(PerfCountersProcesses, StoppedProcessReadsZero) {
  const std::string sBusy = Title("stop");
  CSpawnedProgram oBusy(Program("/bin/sh", sBusy), {"-c", kBusyScript});
  Pause(100);
  auto pQuery = OpenCounterQuery();
  CounterHandle hCounter = -1;
  ASSERT_EQ(Add(*pQuery, Path(sBusy, "IO Data Bytes/sec"), hCounter), PDH_CSTATUS_VALID_DATA);
  oBusy.Signal(SIGSTOP);
  Pause(50);
  ASSERT_EQ(pQuery->Collect(), PDH_CSTATUS_VALID_DATA);
  Pause(200);
  ASSERT_EQ(pQuery->Collect(), PDH_CSTATUS_VALID_DATA);
  int32_t lValue = -1;
  ASSERT_EQ(pQuery->GetLong(hCounter, lValue), PDH_CSTATUS_VALID_DATA);
  EXPECT_EQ(lValue, 0);
}

TEST_F(PerfCountersProcesses, EndedProcessHasNoData) {
  const std::string sTitle = Title("end");
  const std::string sProgram = Program("/bin/sleep", sTitle);
  CSpawnedProgram oZombie(sProgram, {"60"});
  CSpawnedProgram oReaped(sProgram, {"60"});
  Pause(100);
  const bool bZombieFirst = oZombie.Pid() < oReaped.Pid();
  auto pQuery = OpenCounterQuery();
  CounterHandle aZombie[2], aReaped[2];
  const char* aCounters[] = {"Elapsed Time", "IO Data Bytes/sec"};
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(Add(*pQuery, Path(sTitle + (bZombieFirst ? "" : "#1"), aCounters[i]), aZombie[i]),
              PDH_CSTATUS_VALID_DATA);
    ASSERT_EQ(Add(*pQuery, Path(sTitle + (bZombieFirst ? "#1" : ""), aCounters[i]), aReaped[i]),
              PDH_CSTATUS_VALID_DATA);
  }
  ASSERT_EQ(pQuery->Collect(), PDH_CSTATUS_VALID_DATA);
  int32_t lValue = 0;
  EXPECT_EQ(pQuery->GetLong(aZombie[0], lValue), PDH_CSTATUS_VALID_DATA);
  oZombie.Signal(SIGKILL);  // not reaped: stays a zombie
  oReaped.Kill();
  Pause(100);
  ASSERT_EQ(pQuery->Collect(), PDH_CSTATUS_VALID_DATA);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(pQuery->GetLong(aZombie[i], lValue), PDH_NO_DATA) << aCounters[i];
    EXPECT_EQ(pQuery->GetLong(aReaped[i], lValue), PDH_NO_DATA) << aCounters[i];
  }
}

TEST(PerfCountersAccess, OtherUsersIoAddsButDoesNotRead) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every process's io";
  const std::string sInit = ReadBaseTitle(1);
  if (sInit.empty() || ::access("/proc/1/io", R_OK) == 0) GTEST_SKIP() << "pid 1 is readable";
  const auto oTable = ListProcesses();
  if (FindInstancePid(oTable, sInit) != 1) GTEST_SKIP() << "pid 1 is not its title's first";
  auto pQuery = OpenCounterQuery();
  CounterHandle hCounter = -1;
  ASSERT_EQ(pQuery->AddCounter(Path(sInit, "IO Data Bytes/sec"), hCounter), PDH_CSTATUS_VALID_DATA);
  ASSERT_EQ(pQuery->Collect(), PDH_CSTATUS_VALID_DATA);
  ASSERT_EQ(pQuery->Collect(), PDH_CSTATUS_VALID_DATA);
  int32_t lValue = 0;
  EXPECT_EQ(pQuery->GetLong(hCounter, lValue), PDH_INVALID_DATA);
}

TEST(PerfCountersQuery, EmptyQueryHasNothingToCollect) {
  auto pQuery = OpenCounterQuery();
  ASSERT_TRUE(pQuery);
  EXPECT_EQ(pQuery->Collect(), PDH_NO_DATA);
}

}  // namespace
}  // namespace wdx
