// The web server reset script that ships in the program folder, run for real against stand-in
// service managers: a `systemctl` and a `service` on PATH that answer from files of the test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/process.h"
#include "tests/support/service_fixture.h"
#include "tests/support/temp_folder.h"

namespace wdx::test {
namespace {

// Both stand-ins: a unit is active when the file "active-UNIT" exists; a restart is appended to
// "restarts" and fails when "fail-UNIT" exists.
constexpr const char* kSystemctl =
    "#!/bin/sh\n"
    "dir=$(dirname \"$0\")\n"
    "case $1 in\n"
    "  is-active) [ -e \"$dir/active-$3\" ] ;;\n"
    "  restart) echo \"$2\" >>\"$dir/restarts\"; [ ! -e \"$dir/fail-$2\" ] ;;\n"
    "  *) exit 2 ;;\n"
    "esac\n";
constexpr const char* kService =
    "#!/bin/sh\n"
    "dir=$(dirname \"$0\")\n"
    "case $2 in\n"
    "  status) [ -e \"$dir/active-$1\" ] ;;\n"
    "  restart) echo \"$1\" >>\"$dir/restarts\"; [ ! -e \"$dir/fail-$1\" ] ;;\n"
    "  *) exit 2 ;;\n"
    "esac\n";

struct SResetCase {
  const char* m_szManager;
  std::vector<const char*> m_oActive;
  std::vector<const char*> m_oFailing;
  int m_iExitCode;
  const char* m_szRestarts;  // the units restarted, one a line
};

class WebReset : public ::testing::TestWithParam<SResetCase> {
 protected:
  void SetUp() override {
    for (const auto& [szName, szText] :
         {std::pair{"systemctl", kSystemctl}, {"service", kService}}) {
      m_oBin.Write(szName, szText);
      ASSERT_EQ(chmod(m_oBin.File(szName).c_str(), 0755), 0);
    }
  }

  CTempFolder m_oBin;
};

TEST_P(WebReset, RestartsTheActiveServersAndSaysWhatItDid) {
  const SResetCase& oCase = GetParam();
  for (const char* szUnit : oCase.m_oActive) m_oBin.Write(std::string("active-") + szUnit, "");
  for (const char* szUnit : oCase.m_oFailing) m_oBin.Write(std::string("fail-") + szUnit, "");
  const std::string sPath = m_oBin.Path() + ":/usr/bin:/bin";
  int iExitCode = -1;
  std::string sOutput;
  ASSERT_TRUE(RunAndCapture(
      {"/usr/bin/env", "PATH=" + sPath, std::string("WEBRESET_MANAGER=") + oCase.m_szManager,
       std::string(WDX_DIST_DIR) + "/webreset"},
      iExitCode, sOutput, 4096));
  EXPECT_EQ(iExitCode, oCase.m_iExitCode) << sOutput;
  EXPECT_EQ(m_oBin.Read("restarts"), oCase.m_szRestarts);
  for (const char* szUnit : oCase.m_oActive) {
    const bool bFailed = std::find(oCase.m_oFailing.begin(), oCase.m_oFailing.end(), szUnit) !=
                         oCase.m_oFailing.end();
    if (!bFailed) {
      EXPECT_NE(sOutput.find(std::string("webreset: restarted ") + szUnit), std::string::npos)
          << sOutput;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WebReset,
    ::testing::Values(SResetCase{"systemd", {}, {}, 1, ""},
                      SResetCase{"systemd", {"nginx"}, {}, 0, "nginx\n"},
                      SResetCase{"service", {"apache2", "caddy"}, {}, 0, "apache2\ncaddy\n"},
                      SResetCase{"service", {"lighttpd"}, {"lighttpd"}, 1, "lighttpd\n"},
                      SResetCase{
                          "systemd", {"nginx", "apache2"}, {"nginx"}, 1, "nginx\napache2\n"}));

// "wdxsvc -Service" puts the operator's files into a program folder that has none, and leaves
// the operator's own copies alone.
TEST(WebResetInstall, ServiceInstallCopiesOperatorFilesButNeverOverwritesThem) {
  CServiceFixture oFixture;
  std::remove(oFixture.Folder().File("Wardenix.ini").c_str());  // the fixture's own copy
  ASSERT_EQ(oFixture.RunService({"-Service"}).m_iExitCode, 0);
  for (const char* szName : {"webreset", "Wardenix.ini"}) {
    SCOPED_TRACE(szName);
    const std::string sShipped = ReadWholeFile(std::string(WDX_DIST_DIR) + "/" + szName);
    ASSERT_FALSE(sShipped.empty());
    EXPECT_EQ(oFixture.Folder().Read(szName), sShipped);
    oFixture.Folder().Write(szName, "mine\n");
  }
  struct stat oStat = {};
  ASSERT_EQ(stat(oFixture.Folder().File("webreset").c_str(), &oStat), 0);
  EXPECT_NE(oStat.st_mode & S_IXUSR, 0u);

  ASSERT_EQ(oFixture.RunService({"-Service"}).m_iExitCode, 0);
  EXPECT_EQ(oFixture.Folder().Read("webreset"), "mine\n");
  EXPECT_EQ(oFixture.Folder().Read("Wardenix.ini"), "mine\n");
  ASSERT_EQ(oFixture.RunService({"-UnregServer"}).m_iExitCode, 0);
}

}  // namespace
}  // namespace wdx::test
