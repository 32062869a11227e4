// The sensitivity test in the web console on real processes: the real console with the real
// Perfwatch component, watched programs that run beside the test, and Debian's chromium. A busy
// program passes and OK stores the slider's value; an idle one is named and Cancel stores nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "console/settings_editor.h"
#include "foundation/ram_file.h"
#include "tests/support/console_fixture.h"

extern char** environ;

namespace wdx::test {
namespace {

using Lines = std::vector<std::string>;

// A copy of the shell named sName that writes into /dev/null every 50 ms (busy), or a copy of
// sleep (idle); it runs until the test ends.
class CWatched final {
 public:
  CWatched(const CTempFolder& oFolder, const std::string& sName, bool bBusy)
      : m_sProgram(oFolder.File(sName)) {
    std::filesystem::copy_file(bBusy ? "/bin/sh" : "/bin/sleep", m_sProgram);
    std::filesystem::permissions(m_sProgram, std::filesystem::perms::owner_all);
    std::string sArg0 = m_sProgram;
    std::string sArg1 = "600";
    if (bBusy) {
      oFolder.Write(sName + ".sh", "while :; do echo x; sleep 0.05; done > /dev/null\n");
      sArg1 = oFolder.File(sName + ".sh");
    }
    char* aArgs[] = {sArg0.data(), sArg1.data(), nullptr};
    if (posix_spawn(&m_iPid, m_sProgram.c_str(), nullptr, nullptr, aArgs, environ) != 0) {
      m_iPid = -1;
    }
  }
  ~CWatched() {
    if (m_iPid <= 0) return;
    kill(m_iPid, SIGKILL);
    waitpid(m_iPid, nullptr, 0);
  }
  CWatched(const CWatched&) = delete;
  CWatched& operator=(const CWatched&) = delete;

  const std::string& Program() const { return m_sProgram; }
  int Pid() const { return m_iPid; }

 private:
  std::string m_sProgram;
  pid_t m_iPid = -1;
};

class ConsoleSense : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string sLibrary = std::string(WDX_DIST_DIR) + "/Perfwatch.so";
    const SRunResult oRun =
        m_oConsole.Service().Run(std::string(WDX_DIST_DIR) + "/wdxregsvr", {sLibrary});
    ASSERT_EQ(oRun.m_iExitCode, 0) << oRun.m_sOut << oRun.m_sErr;
  }

  void WriteSettings(const Lines& oStops) {
    Lines oLines{"[KEYS]",  "AdminId=operator", "Password=pw", "MachineName=test-host",
                 "WATCH=1", "Sensitivity=3",    "[STOPS]"};
    oLines.insert(oLines.end(), oStops.begin(), oStops.end());
    CRamFile oFile;
    oFile.Initialize(m_oConsole.Home().c_str(), "AutoSet.caf");
    ASSERT_TRUE(oFile.LoadToRamFromListBox(oLines));
    ASSERT_TRUE(oFile.SaveToFile());
  }
  std::string StoredSensitivity() {
    CSettingsEditor oEditor(m_oConsole.Home());
    return oEditor.Load() ? oEditor.GetKey("Sensitivity") : "(unreadable)";
  }
  size_t ShotSize(const char* szName) {
    return ReadWholeFile(CConsoleFixture::OutputFolder() + szName + ".png").size();
  }

  CConsoleFixture m_oConsole;
};

TEST_F(ConsoleSense, BusyProgramPassesAndOkStoresTheSlider) {
  CWatched oBusy(m_oConsole.Service().Folder(), "busyloop", true);
  ASSERT_GT(oBusy.Pid(), 0);
  WriteSettings({oBusy.Program()});
  // "Elapsed Time" counts whole seconds: the program is watched from two seconds of age.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_TRUE(m_oConsole.Start()) << m_oConsole.FirstLine();
  const SRunResult oRun = m_oConsole.RunBrowser("console_sense.js", {"pass", "", "7"});
  EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sOut << oRun.m_sErr;
  EXPECT_EQ(StoredSensitivity(), "7");
  EXPECT_GT(ShotSize("sense-pass"), 1000u);
  EXPECT_EQ(m_oConsole.Stop(), 0);
}

TEST_F(ConsoleSense, IdleProgramIsNamedAndCancelStoresNothing) {
  CWatched oBusy(m_oConsole.Service().Folder(), "busyloop", true);
  CWatched oIdle(m_oConsole.Service().Folder(), "idler", false);
  ASSERT_GT(oBusy.Pid(), 0);
  ASSERT_GT(oIdle.Pid(), 0);
  WriteSettings({oBusy.Program(), oIdle.Program()});
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_TRUE(m_oConsole.Start()) << m_oConsole.FirstLine();
  const SRunResult oRun = m_oConsole.RunBrowser("console_sense.js", {"fail", "idler", "cancel"});
  EXPECT_EQ(oRun.m_iExitCode, 0) << oRun.m_sOut << oRun.m_sErr;
  EXPECT_EQ(StoredSensitivity(), "3");
  EXPECT_GT(ShotSize("sense-running"), 1000u);
  EXPECT_GT(ShotSize("sense-fail"), 1000u);
  EXPECT_EQ(m_oConsole.Stop(), 0);
}

}  // namespace
}  // namespace wdx::test
