// The rebooter that runs WDX_REBOOT_COMMAND (the system one is never used by a test).
#include "platform/reboot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "platform/fake_rebooter.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

class CommandRebooter : public ::testing::Test {
 protected:
  // A script that records its arguments and ends with iExitCode.
  std::string Script(int iExitCode) {
    const std::string sPath = m_oFolder.File("reboot.sh");
    m_oFolder.Write("reboot.sh", "#!/bin/sh\necho \"$@\" >> '" + m_oFolder.File("ran") +
                                     "'\nexit " + std::to_string(iExitCode) + "\n");
    chmod(sPath.c_str(), 0755);
    return sPath;
  }
  std::string Ran() const { return m_oFolder.Read("ran"); }

  test::CTempFolder m_oFolder;
};

TEST_F(CommandRebooter, RunsTheProgramWithItsWords) {
  const auto pRebooter = MakeCommandRebooter(Script(0) + " now 'power cycle'");
  EXPECT_EQ(pRebooter->GetRebootPrivilege(), EPrivilegeState::HELD);
  EXPECT_EQ(Ran(), "");
  EXPECT_TRUE(pRebooter->RequestReboot());
  EXPECT_EQ(Ran(), "now power cycle\n");
  EXPECT_FALSE(MakeCommandRebooter(Script(3))->RequestReboot());
  EXPECT_EQ(Ran(), "now power cycle\n\n");
}

TEST_F(CommandRebooter, AProgramThatCannotRunIsAMissingPrivilege) {
  const std::string sScript = Script(0);
  const std::string sNotExecutable = m_oFolder.File("plain");
  m_oFolder.Write("plain", "#!/bin/sh\n");
  for (const std::string& sCommand :
       {m_oFolder.File("missing"), sNotExecutable, m_oFolder.Path(), std::string("   "),
        "'" + sScript, std::string("no-such-program-of-wardenix")}) {
    const auto pRebooter = MakeCommandRebooter(sCommand);
    EXPECT_EQ(pRebooter->GetRebootPrivilege(), EPrivilegeState::NOT_HELD) << sCommand;
    EXPECT_FALSE(pRebooter->RequestReboot()) << sCommand;
  }
  EXPECT_EQ(Ran(), "");
  // A bare name is looked for along PATH.
  EXPECT_EQ(MakeCommandRebooter("true")->GetRebootPrivilege(), EPrivilegeState::HELD);
}

TEST_F(CommandRebooter, TheProcessRebooterFollowsTheVariableAndTheTestSeam) {
  const char* szOld = std::getenv("WDX_REBOOT_COMMAND");  // set by the test entry point
  ASSERT_NE(szOld, nullptr);
  const std::string sOld = szOld;
  setenv("WDX_REBOOT_COMMAND", Script(0).c_str(), 1);
  EXPECT_TRUE(GetRebooter().RequestReboot());
  EXPECT_EQ(Ran(), "\n");
  setenv("WDX_REBOOT_COMMAND", m_oFolder.File("missing").c_str(), 1);
  EXPECT_EQ(GetRebooter().GetRebootPrivilege(), EPrivilegeState::NOT_HELD);
  {
    CFakeRebooter oFake;
    oFake.m_bAccept = false;
    EXPECT_EQ(&GetRebooter(), &oFake);
    EXPECT_FALSE(GetRebooter().RequestReboot());
    EXPECT_EQ(oFake.m_iRequests, 1);
  }
  EXPECT_EQ(dynamic_cast<CFakeRebooter*>(&GetRebooter()), nullptr);
  setenv("WDX_REBOOT_COMMAND", sOld.c_str(), 1);
  EXPECT_EQ(Ran(), "\n");
}

}  // namespace
}  // namespace wdx
