// The service's hang guard client with the real Safehand.so: its command line, the component
// it creates, and a guarded stretch that outlasts the time-out running the folder's webreset.
#include "service/alerts/insurer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/command_words.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

bool WaitFor(int iDeadlineMs, const std::function<bool()>& fnDone) {
  for (int i = 0; i < iDeadlineMs / 10; ++i) {
    if (fnDone()) return true;
    usleep(10'000);
  }
  return fnDone();
}

TEST(InsurerCommandLine, IsTheFoldersWebresetAsOneWord) {
  for (const char* szFolder : {"/opt/wardenix/", "/srv/my guard/", "/a \"b\" \\c/", "/it's/", ""}) {
    CInsurer oInsurer;
    oInsurer.SetWorkingDirectory(szFolder);
    std::vector<std::string> oWords;
    ASSERT_TRUE(SplitCommandWords(oInsurer.GetCommandLine(), oWords)) << szFolder;
    EXPECT_EQ(oWords, std::vector<std::string>{std::string(szFolder) + "webreset"});
  }
}

TEST(InsurerWithoutComponent, GoesOnUnguardedAndSaysSo) {
  test::CTempRegistry oRegistry;  // empty: the class is not registered
  test::CLogCapture oLog;
  CInsurer oInsurer;
  EXPECT_TRUE(oInsurer.Initialize());
  EXPECT_TRUE(oInsurer.IsReady());
  EXPECT_FALSE(oInsurer.HasActor());
  EXPECT_TRUE(oLog.HasError("CInsurer::3"));
  EXPECT_TRUE(oLog.HasError("CInsurer::CreateInsurer failed."));
  EXPECT_FALSE(oInsurer.Go());
  EXPECT_FALSE(oInsurer.Stop());
}

class InsurerTest : public ::testing::Test {
 protected:
  InsurerTest() {
    m_oFolder.UseForLocks();
    EXPECT_EQ(m_oRegistry.RegisterPerfwatch(), S_OK);
    EXPECT_EQ(RegisterLibrary(std::string(WDX_DIST_DIR) + "/Safehand.so", false), S_OK)
        << GetComponentError();
    m_oFolder.Write("webreset", "#!/bin/sh\necho reset >>\"$0.runs\"\n");
    chmod(m_oFolder.File("webreset").c_str(), 0755);
    m_oInsurer.SetWorkingDirectory(m_oFolder.Path());
  }
  std::string Runs() const { return m_oFolder.Read("webreset.runs"); }

  test::CTempRegistry m_oRegistry;
  test::CTempFolder m_oFolder;
  CInsurer m_oInsurer;
};

TEST_F(InsurerTest, StretchWithinTheTimeOutRunsNothing) {
  m_oInsurer.SetTimeout(60000);
  ASSERT_TRUE(m_oInsurer.Initialize());
  ASSERT_TRUE(m_oInsurer.HasActor());
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(m_oInsurer.Go());
    EXPECT_TRUE(m_oInsurer.Stop());
  }
  m_oInsurer.Release();
  EXPECT_FALSE(m_oInsurer.HasActor());
  EXPECT_FALSE(m_oInsurer.Go());
  EXPECT_EQ(Runs(), "");
}

TEST_F(InsurerTest, StretchBeyondTheTimeOutRunsWebresetOnce) {
  m_oInsurer.SetTimeout(60000);
  ASSERT_TRUE(m_oInsurer.Initialize());
  // A new time-out (settings read afresh) reaches the component held.
  m_oInsurer.SetTimeout(200);
  ASSERT_TRUE(m_oInsurer.Go());
  ASSERT_TRUE(WaitFor(10000, [&] { return Runs() == "reset\n"; }));
  EXPECT_TRUE(m_oInsurer.Stop());
  m_oInsurer.SetTimeout(60000);
  EXPECT_TRUE(m_oInsurer.Go());
  EXPECT_TRUE(m_oInsurer.Stop());
  EXPECT_EQ(Runs(), "reset\n");
}

}  // namespace
}  // namespace wdx
