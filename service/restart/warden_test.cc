// The warden's watcher client: the activity-test constants, the calls it makes on the watcher
// and their results (with a fake watcher), and creation of the real Perfwatch component through
// the class registry.
#include "service/restart/warden.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "service/host/thread_owner.h"
#include "service/procwatch/fake_watcher.h"
#include "service/settings/all_sets.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

TEST(WardenActivityConstants, PeriodAndSampleTimeFollowTheSensitivity) {
  EXPECT_EQ(CWarden::SamplePeriodFor(50), 51);
  EXPECT_EQ(CWarden::SampleSecondsFor(50), 70);
  EXPECT_EQ(CWarden::SamplePeriodFor(100), 1);
  EXPECT_EQ(CWarden::SampleSecondsFor(100), 130);
  EXPECT_EQ(CWarden::SamplePeriodFor(0), 101);
  EXPECT_EQ(CWarden::SampleSecondsFor(0), 10);
  EXPECT_EQ(CWarden::SampleSecondsFor(7), 18);  // 8.4 truncated
  EXPECT_EQ(CWarden::SampleSecondsFor(5), 16);  // the default sensitivity
}

class WardenWatcherClient : public ::testing::Test {
 protected:
  WardenWatcherClient() { m_oWarden.UseWatcher(&m_oWatcher); }
  ~WardenWatcherClient() override { m_oWarden.Release(); }

  test::CLogCapture m_oLog;
  CFakeWatcher m_oWatcher;
  CWarden m_oWarden;
};

TEST_F(WardenWatcherClient, XTstWithoutKeysFailsWithoutAskingTheWatcher) {
  EXPECT_TRUE(m_oWarden.LastTestPassed());  // before any test
  EXPECT_FALSE(m_oWarden.XTst());
  EXPECT_FALSE(m_oWarden.LastTestPassed());
  EXPECT_EQ(m_oWatcher.m_iSampleCalls, 0);
  EXPECT_NE(m_oLog.Text().find("CWarden::XTst 1."), std::string::npos);
  EXPECT_EQ(m_oLog.Text().find("CWarden::XTst 2."), std::string::npos);
}

TEST_F(WardenWatcherClient, XTstPassesTheSensitivityFormulasAndTheResult) {
  m_oWarden.m_iSensitivity = 50;
  ASSERT_TRUE(m_oWarden.AddKey("\\\\h\\Process(x)\\Elapsed Time"));
  ASSERT_TRUE(m_oWarden.HasKeys());
  EXPECT_TRUE(m_oWarden.XTst());
  EXPECT_TRUE(m_oWarden.LastTestPassed());
  EXPECT_EQ(m_oWatcher.m_iSamplePeriod, 51);
  EXPECT_EQ(m_oWatcher.m_iSampleSeconds, 70);
  EXPECT_NE(m_oLog.Text().find("CWarden::XTst 2a."), std::string::npos);
  m_oWatcher.m_lSampleResult = 0;
  EXPECT_FALSE(m_oWarden.XTst());
  EXPECT_FALSE(m_oWarden.LastTestPassed());
  m_oWatcher.m_lSampleResult = 1;  // only -1 counts as success
  EXPECT_FALSE(m_oWarden.XTst());
  EXPECT_NE(m_oLog.Text().find("CWarden::XTst 2b."), std::string::npos);
}

TEST_F(WardenWatcherClient, RefusedKeyLeavesHasKeysClear) {
  m_oWatcher.m_iKeyLimit = 0;
  EXPECT_FALSE(m_oWarden.AddKey("\\\\h\\Process(x)\\Elapsed Time"));
  EXPECT_FALSE(m_oWarden.HasKeys());
}

TEST_F(WardenWatcherClient, FirstFailureIsTheWatchersCounterPath) {
  m_oWatcher.m_sFirstFailure = "\\\\h\\Process(nginx)\\IO Data Bytes/sec";
  std::string sPath = "old";
  ASSERT_TRUE(m_oWarden.GetFirstFailure(sPath));
  EXPECT_EQ(sPath, m_oWatcher.m_sFirstFailure);
}

TEST_F(WardenWatcherClient, ReleaseGivesBackEveryReference) {
  EXPECT_EQ(m_oWatcher.m_uRefs, 2u);
  EXPECT_EQ(m_oWarden.GetInstanceCount(), 1);
  m_oWarden.Release();
  EXPECT_EQ(m_oWatcher.m_uRefs, 1u);
  EXPECT_EQ(m_oWarden.GetInstanceCount(), 0);
  EXPECT_FALSE(m_oWarden.AddKey("k"));
  std::string sPath;
  EXPECT_FALSE(m_oWarden.GetFirstFailure(sPath));
  EXPECT_FALSE(m_oWarden.XTst());
}

TEST(WardenCreateWatcher, UnregisteredComponentFailsInitialize) {
  test::CTempRegistry oRegistry;
  test::CLogCapture oLog;
  CAllSets oSettings;
  CThreadOwner oOwner;
  CWarden oWarden;
  oWarden.m_pSettings = &oSettings;
  EXPECT_FALSE(oWarden.Initialize(oRegistry.Folder(), &oOwner));
  EXPECT_EQ(oWarden.GetWatcher(), nullptr);
  EXPECT_EQ(oWarden.GetInstanceCount(), 0);
  EXPECT_TRUE(oLog.HasError("CWarden::CreateWatcher failed."));
  EXPECT_TRUE(oLog.HasError("warden:: Creation failed for auto-watcher."));
  EXPECT_NE(oLog.Text().find("CWarden::CPW done"), std::string::npos);
  EXPECT_TRUE(oWarden.RecreateWatcher());  // always true
}

TEST(WardenCreateWatcher, RealPerfwatchIsCreatedAndRecreated) {
  const std::string sLibrary = std::string(WDX_DIST_DIR) + "/Perfwatch.so";
  if (access(sLibrary.c_str(), R_OK) != 0) GTEST_SKIP() << "no " << sLibrary;
  test::CTempRegistry oRegistry;
  test::CLogCapture oLog;
  ASSERT_EQ(RegisterLibrary(sLibrary, false), S_OK) << GetComponentError();
  CAllSets oSettings;
  CThreadOwner oOwner;
  CWarden oWarden;
  oWarden.m_pSettings = &oSettings;
  EXPECT_FALSE(oWarden.Initialize(oRegistry.Folder(), &oOwner));  // no Wardenix.ini yet
  EXPECT_TRUE(oLog.HasError("CWarden::LoadFromIniFile() failed"));
  EXPECT_TRUE(oLog.HasError("CWarden:: Initialize() failed."));
  oWarden.Release();
  test::CTempFolder oHome;
  oHome.Write("Wardenix.ini", "MaxWait=7\nBegin=Detection\nEnd=Detection\n");
  ASSERT_TRUE(oWarden.Initialize(oHome.Path(), &oOwner)) << oLog.Text();
  EXPECT_EQ(oWarden.m_iMaxWait, 7);
  EXPECT_EQ(oWarden.GetInstructionCount(), 2);
  EXPECT_NE(oLog.Text().find("CWarden::Initialize 8"), std::string::npos);
  ASSERT_NE(oWarden.GetWatcher(), nullptr);
  EXPECT_EQ(oWarden.GetInstanceCount(), 1);
  EXPECT_FALSE(oLog.HasError("CWarden::CreateWatcher failed."));
  const std::string sSelf = "\\\\h\\Process(wdx_unit_tests)\\Elapsed Time";
  EXPECT_TRUE(oWarden.AddKey(sSelf));
  EXPECT_TRUE(oWarden.HasKeys());
  EXPECT_TRUE(oWarden.RecreateWatcher());
  ASSERT_NE(oWarden.GetWatcher(), nullptr);
  EXPECT_EQ(oWarden.GetInstanceCount(), 1);
  std::string sFailure = "x";
  EXPECT_TRUE(oWarden.GetFirstFailure(sFailure));
  EXPECT_EQ(sFailure, "");  // the new watcher has no keys and no failure
  oWarden.Release();
  EXPECT_EQ(oWarden.GetWatcher(), nullptr);
  FreeUnusedLibraries();
}

}  // namespace
}  // namespace wdx
