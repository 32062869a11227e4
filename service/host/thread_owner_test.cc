#include "service/host/thread_owner.h"

#include <gtest/gtest.h>

#include "foundation/ram_file.h"
#include "service/host/wdx_codes.h"
#include "service/ops/ops_mngr_thread.h"
#include "service/settings/all_sets.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

class ThreadOwnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The worker creates the watcher component when it starts.
    ASSERT_EQ(m_oRegistry.RegisterPerfwatch(), S_OK) << GetComponentError();
    ASSERT_TRUE(m_oKeyFile.Initialize(m_oFolder.Path().c_str(), "AutoSet.caf"));
    m_oSets.m_pKeyFile = &m_oKeyFile;
    m_oSets.m_oStrWorkingFolder.Assign(m_oFolder.Path().c_str());
    ASSERT_TRUE(m_oSets.ReInitialize());
    m_oOwner.m_pSettings = &m_oSets;
    // The warden initialises only with a restart program in the working folder.
    m_oFolder.Write("Wardenix.ini", "MaxWait=300\n");
    m_oOwner.m_sWorkingDirectory = m_oFolder.Path();
  }

  test::CTempRegistry m_oRegistry;
  test::CTempFolder m_oFolder;
  CRamFileRO m_oKeyFile;
  CAllSets m_oSets;
  CThreadOwner m_oOwner;
};

TEST_F(ThreadOwnerTest, StateIsZeroUntilTheThreadsStart) {
  EXPECT_EQ(m_oOwner.m_iOpsState, 0);
  ASSERT_TRUE(m_oOwner.StartThreads());
  EXPECT_EQ(m_oOwner.m_iOpsState, WDX_STATE_READY);
  EXPECT_TRUE(m_oOwner.m_bOpsMngrThreadInitialized);
  EXPECT_TRUE(m_oOwner.m_bInitFinished);
  EXPECT_TRUE(m_oOwner.AreThreadsStarted());
}

TEST_F(ThreadOwnerTest, KillAllThreadsEndsTheWorker) {
  ASSERT_TRUE(m_oOwner.StartThreads());
  EXPECT_TRUE(m_oOwner.KillAllThreads());
  EXPECT_TRUE(m_oOwner.m_bWorkerEnded);
  EXPECT_FALSE(m_oOwner.AreThreadsStarted());
  // The worker can be started again after it ended.
  ASSERT_TRUE(m_oOwner.StartThreads());
  EXPECT_FALSE(m_oOwner.m_bWorkerEnded);
  EXPECT_TRUE(m_oOwner.KillAllThreads());
}

TEST_F(ThreadOwnerTest, CurrentActionKeepsPreviousTextsForEmptyArguments) {
  std::string sText;
  EXPECT_FALSE(m_oOwner.GetCurrentAction(sText));
  EXPECT_EQ(sText, "");
  m_oOwner.SetCurrentAction("GO MODE: Testing", "http://127.0.0.1/");
  m_oOwner.SetCurrentAction("Waiting", "");
  ASSERT_TRUE(m_oOwner.GetCurrentAction(sText));
  EXPECT_EQ(sText, "Waiting");
  ASSERT_TRUE(m_oOwner.GetCurrentActionObject(sText));
  EXPECT_EQ(sText, "http://127.0.0.1/");
  m_oOwner.SetCurrentAction("", "object");
  ASSERT_TRUE(m_oOwner.GetCurrentAction(sText));
  EXPECT_EQ(sText, "Waiting");
}

}  // namespace
}  // namespace wdx
