// The process watch against real child processes (copies of /bin/sleep under names of the
// test's own) with a fake watcher that records the keys it is given.
#include "service/procwatch/wmanager.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/ram_file.h"
#include "service/ops/item_manager.h"
#include "service/procwatch/fake_watcher.h"
#include "service/restart/warden.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

extern char** environ;

namespace wdx {
namespace {

// A copy of /bin/sleep run as its own program; killed when the object goes.
class CSleeper final {
 public:
  explicit CSleeper(const std::string& sProgram) {
    char szSeconds[] = "60";
    std::string sArg0 = sProgram;
    char* aArgs[] = {sArg0.data(), szSeconds, nullptr};
    if (posix_spawn(&m_iPid, sProgram.c_str(), nullptr, nullptr, aArgs, environ) != 0) {
      m_iPid = -1;
      return;
    }
    // Wait until the new program image is in place.
    const std::string sLink = "/proc/" + std::to_string(m_iPid) + "/exe";
    for (int i = 0; i < 400; ++i) {
      std::error_code oError;
      if (std::filesystem::read_symlink(sLink, oError).string() == sProgram) break;
      usleep(5000);
    }
  }
  ~CSleeper() {
    if (m_iPid <= 0) return;
    kill(m_iPid, SIGKILL);
    waitpid(m_iPid, nullptr, 0);
  }
  CSleeper(const CSleeper&) = delete;
  CSleeper& operator=(const CSleeper&) = delete;
  int Pid() const { return m_iPid; }

 private:
  pid_t m_iPid = -1;
};

class WManager : public ::testing::Test {
 protected:
  WManager() : m_oWatch(&m_oItems) {
    m_oItems.SetLogDirectory(m_oFolder.Path().c_str());
    m_oItems.ReInitialize();
    m_oWarden.UseWatcher(&m_oWatcher);
  }
  ~WManager() override { m_oWarden.Release(); }

  // A copy of /bin/sleep in the temp folder under sName.
  std::string Program(const std::string& sName) {
    const std::string sPath = m_oFolder.Path() + sName;
    std::filesystem::copy_file("/bin/sleep", sPath);
    std::filesystem::permissions(sPath, std::filesystem::perms::owner_all);
    return sPath;
  }
  void Stops(const std::vector<std::string>& oPrograms) {
    std::vector<std::string> oLines = {"[KEYS]", "MachineName=test-host", "[STOPS]"};
    oLines.insert(oLines.end(), oPrograms.begin(), oPrograms.end());
    m_oKeyFile.Initialize(m_oFolder.Path().c_str(), "AutoSet.caf");
    ASSERT_TRUE(m_oKeyFile.LoadToRamFromListBox(oLines));
    for (const std::string& sProgram : oPrograms) m_oItems.AddItem(ITEM_PROGRAM, sProgram.c_str());
  }
  bool Init() { return m_oWatch.Initialize(&m_oKeyFile, &m_oWarden, "test-host"); }
  static std::vector<std::string> KeysOf(const std::string& sTitle) {
    std::vector<std::string> oKeys;
    for (const char* szCounter : WMANAGER_COUNTERS) {
      oKeys.push_back("\\\\test-host\\Process(" + sTitle + ")\\" + szCounter);
    }
    return oKeys;
  }

  test::CTempFolder m_oFolder;
  test::CLogCapture m_oLog;
  CFakeWatcher m_oWatcher;
  CWarden m_oWarden;
  CItemManager m_oItems;
  CRamFile m_oKeyFile;
  CWManager m_oWatch;
};

TEST_F(WManager, LwnFindsRunningProgramsAndAddsTheirKeysInOrder) {
  const std::string sFirst = Program("napper.bin");
  const std::string sSecond = Program("dozer");
  CSleeper oFirst(sFirst);
  CSleeper oSecond(sSecond);
  Stops({sFirst, sSecond});
  ASSERT_TRUE(Init());
  ASSERT_TRUE(m_oWatch.IsLive());
  ASSERT_TRUE(m_oWatch.LWN());
  std::vector<std::string> oExpected = KeysOf("napper");
  const std::vector<std::string> oDozer = KeysOf("dozer");
  oExpected.insert(oExpected.end(), oDozer.begin(), oDozer.end());
  EXPECT_EQ(m_oWatcher.m_oKeys, oExpected);
  EXPECT_TRUE(m_oWarden.HasKeys());
  EXPECT_TRUE(m_oWatch.m_bWatchNamesLoaded);
  EXPECT_EQ(m_oWatch.GetRegisteredCount(), 2);
  EXPECT_TRUE(m_oWatch.m_sLastError.empty());
  EXPECT_EQ(m_oItems.GetItemRef(ITEM_PROGRAM, sFirst.c_str())->GetImageName(), "napper");
  EXPECT_NE(m_oItems.GetRefByImageName(ITEM_PROGRAM, "dozer"), nullptr);
  EXPECT_NE(m_oLog.Text().find("CWManager::LWN() done"), std::string::npos);
}

TEST_F(WManager, TwoPathsOfOneImageAddItsKeysOnce) {
  const std::string sProgram = Program("twin.bin");
  CSleeper oSleeper(sProgram);
  std::string sUpper = sProgram;
  std::transform(sUpper.begin(), sUpper.end(), sUpper.begin(), ::toupper);
  Stops({sProgram, sUpper});
  ASSERT_TRUE(Init());
  ASSERT_TRUE(m_oWatch.LWN());
  EXPECT_EQ(m_oWatcher.m_oKeys, KeysOf("twin"));
  EXPECT_EQ(m_oWatch.GetRegisteredCount(), 1);
}

TEST_F(WManager, MissingProgramEndsTheWalkWithItsMessage) {
  const std::string sRunning = Program("present");
  CSleeper oSleeper(sRunning);
  Stops({m_oFolder.Path() + "ghost.bin", sRunning});
  ASSERT_TRUE(Init());
  EXPECT_FALSE(m_oWatch.LWN());
  EXPECT_EQ(m_oWatch.m_sLastError, "Failed. Cannot see ghost.bin");
  EXPECT_TRUE(m_oWatcher.m_oKeys.empty());
  EXPECT_FALSE(m_oWatch.m_bWatchNamesLoaded);
  EXPECT_TRUE(m_oLog.HasError("CWManager::LWN failed."));
}

TEST_F(WManager, EmptyStopsSectionSucceedsWithoutKeys) {
  Stops({});
  ASSERT_TRUE(Init());
  EXPECT_TRUE(m_oWatch.LWN());
  EXPECT_TRUE(m_oWatcher.m_oKeys.empty());
  EXPECT_FALSE(m_oWarden.HasKeys());
  EXPECT_EQ(m_oWatch.GetRegisteredCount(), 0);
}

TEST_F(WManager, RefusedKeyFailsLwnAndKeepsTheKeysAddedBefore) {
  const std::string sFirst = Program("alpha");
  const std::string sSecond = Program("beta");
  CSleeper oFirst(sFirst);
  CSleeper oSecond(sSecond);
  m_oWatcher.m_iKeyLimit = 6;
  Stops({sFirst, sSecond});
  ASSERT_TRUE(Init());
  EXPECT_FALSE(m_oWatch.LWN());
  EXPECT_EQ(m_oWatcher.m_oKeys.size(), 6u);
  EXPECT_EQ(m_oWatch.GetRegisteredCount(), 1);
  EXPECT_TRUE(m_oLog.HasError("CWManager::LWN failed."));
}

TEST_F(WManager, GetPidByProgramNameFindsTheRunningProcess) {
  const std::string sProgram = Program("finder");
  CSleeper oSleeper(sProgram);
  EXPECT_EQ(m_oWatch.GetPidByProgramName(sProgram), 0);  // not initialised
  Stops({});
  ASSERT_TRUE(Init());
  EXPECT_EQ(m_oWatch.GetPidByProgramName(sProgram), oSleeper.Pid());
  EXPECT_EQ(m_oWatch.GetPidByProgramName(m_oFolder.Path() + "nothing"), 0);
  EXPECT_EQ(m_oWatch.GetPidByProgramName(""), 0);
}

TEST_F(WManager, GetPidByProgramNameIgnoresAProcessThatEndedSinceTheTableWasRead) {
  const std::string sProgram = Program("ender");
  int iPid = 0;
  {
    CSleeper oSleeper(sProgram);
    iPid = oSleeper.Pid();
    Stops({});
    ASSERT_TRUE(Init());
    ASSERT_EQ(m_oWatch.GetPidByProgramName(sProgram), iPid);
  }
  EXPECT_EQ(m_oWatch.GetPidByProgramName(sProgram), 0);
  EXPECT_NE(m_oLog.Text().find("CWManager: process " + std::to_string(iPid) + " no longer runs"),
            std::string::npos);
}

TEST_F(WManager, RegisterLaunchedProcessReloadsAndAddsItsKeys) {
  Stops({});
  ASSERT_TRUE(Init());
  const std::string sProgram = Program("latecomer.x");
  CSleeper oSleeper(sProgram);  // started after the table was loaded
  ASSERT_TRUE(m_oWatch.RegisterLaunchedProcess(sProgram, oSleeper.Pid()));
  EXPECT_EQ(m_oWatcher.m_oKeys, KeysOf("latecomer"));
  EXPECT_FALSE(m_oWatch.RegisterLaunchedProcess(sProgram, 0));
  EXPECT_EQ(m_oLog.CountErrors("CWManager::RegisterLaunchedProcess() failed."), 1);
}

TEST_F(WManager, InitializeNeedsMachineNameAndItemManager) {
  Stops({});
  EXPECT_FALSE(m_oWatch.IsLive());
  EXPECT_TRUE(m_oLog.HasError("CWManager::IsLive() Object is not initialized."));
  EXPECT_FALSE(m_oWatch.Initialize(&m_oKeyFile, &m_oWarden, ""));
  EXPECT_FALSE(m_oWatch.LWN());
  CWManager oNoItems(nullptr);
  EXPECT_FALSE(oNoItems.Initialize(&m_oKeyFile, &m_oWarden, "test-host"));
  EXPECT_EQ(m_oLog.CountErrors("CWManager::Initialize() failed."), 2);
  EXPECT_FALSE(m_oWatch.RegisterLaunchedProcess("", 1));
}

}  // namespace
}  // namespace wdx
