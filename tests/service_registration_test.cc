// The real wdxsvc program: its switches, its registration in the registry store, and what it
// does when it is not registered.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/registry_store.h"
#include "service/host/registration.h"
#include "service/restart/warden.h"
#include "tests/support/service_fixture.h"

namespace wdx::test {
namespace {

bool HasLocalService(const std::string& sStorePath) {
  auto pStore = OpenRegistryStoreAt(sStorePath);
  std::string sValue;
  return pStore->GetValue(AppIdKey(), "LocalService", sValue) && sValue == "WDXSVC";
}

TEST(ServiceProgram, ExitsWithTheRegistryErrorWhenNothingIsRegistered) {
  CServiceFixture oFixture;
  const SRunResult oRun = oFixture.RunService({});
  EXPECT_EQ(oRun.m_iExitCode, 2);
  EXPECT_NE(oRun.m_sErr.find("not registered"), std::string::npos) << oRun.m_sErr;
}

TEST(ServiceProgram, RegServerThenServiceLeavesLocalServiceOnlyAfterTheSecond) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  auto pStore = OpenRegistryStoreAt(oFixture.RegistryPath());
  std::string sValue;
  ASSERT_TRUE(pStore->GetValue(LocalServerKey(), "", sValue));
  EXPECT_EQ(sValue, CServiceFixture::ServiceProgram());
  EXPECT_FALSE(HasLocalService(oFixture.RegistryPath()));

  ASSERT_EQ(oFixture.RunService({"/SERVICE"}).m_iExitCode, 0);
  EXPECT_TRUE(HasLocalService(oFixture.RegistryPath()));
  ASSERT_TRUE(pStore->GetValue(AppIdKey(), "ServiceParameters", sValue));
  EXPECT_EQ(sValue, "-Service");
  // "Service" also installs the service with the service manager.
  ASSERT_TRUE(
      pStore->GetValue("HKLM\\SYSTEM\\CurrentControlSet\\Services\\WDXSVC", "ImagePath", sValue));

  // Registering as a plain server again takes "LocalService" away.
  ASSERT_EQ(oFixture.RunService({"-regserver"}).m_iExitCode, 0);
  EXPECT_FALSE(HasLocalService(oFixture.RegistryPath()));
}

TEST(ServiceProgram, UnregServerRemovesTheRegistration) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunService({"-Service"}).m_iExitCode, 0);
  ASSERT_EQ(oFixture.RunService({"-UnregServer"}).m_iExitCode, 0);
  auto pStore = OpenRegistryStoreAt(oFixture.RegistryPath());
  EXPECT_FALSE(pStore->KeyExists(AppIdKey()));
  EXPECT_FALSE(pStore->KeyExists(ClassKey()));
  EXPECT_FALSE(pStore->KeyExists(LocalServerKey()));
  EXPECT_FALSE(pStore->KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Services\\WDXSVC"));
  EXPECT_EQ(oFixture.RunService({}).m_iExitCode, 2);
}

// "-Service" prepares what a reboot needs: the desktop shortcut (an existing one is kept) and
// the uninstall key for the icon value, which "-UnregServer" removes again.
TEST(ServiceProgram, ServiceMakesTheRebootShortcutAndTheUninstallKey) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunService({"-Service"}).m_iExitCode, 0);
  EXPECT_NE(oFixture.Folder().Read(WDX_DESKTOP_SHORTCUT).find("Wardenix console"),
            std::string::npos);
  EXPECT_TRUE(OpenRegistryStoreAt(oFixture.RegistryPath())->KeyExists(WDX_UNINSTALL_KEY));
  oFixture.Folder().Write(WDX_DESKTOP_SHORTCUT, "mine");
  ASSERT_EQ(oFixture.RunService({"-Service"}).m_iExitCode, 0);
  EXPECT_EQ(oFixture.Folder().Read(WDX_DESKTOP_SHORTCUT), "mine");
  ASSERT_EQ(oFixture.RunService({"-UnregServer"}).m_iExitCode, 0);
  EXPECT_FALSE(OpenRegistryStoreAt(oFixture.RegistryPath())->KeyExists(WDX_UNINSTALL_KEY));
}

// "-Service" links the read-only program files into a program folder of its own where it has
// none (a broken link is none); "-UnregServer" removes those links and nothing else.
TEST(ServiceProgram, ServiceLinksTheProgramFilesWhereThereAreNone) {
  enum EEntry { NOTHING, OPERATOR_FILE, BROKEN_LINK, OPERATOR_LINK, PROGRAM_LINK };
  struct SRound {
    EEntry aBefore[3];  // UtRpt.sh, grammer1.cfg, Wardenix.htm
    EEntry aAfterService[3];
    EEntry aAfterUnregister[3];
  };
  const SRound aRounds[] = {
      {{NOTHING, BROKEN_LINK, OPERATOR_FILE},
       {PROGRAM_LINK, PROGRAM_LINK, OPERATOR_FILE},
       {NOTHING, NOTHING, OPERATOR_FILE}},
      {{OPERATOR_LINK, OPERATOR_FILE, NOTHING},
       {OPERATOR_LINK, OPERATOR_FILE, PROGRAM_LINK},
       {OPERATOR_LINK, OPERATOR_FILE, NOTHING}},
  };
  const char* const aszNames[] = {"UtRpt.sh", "grammer1.cfg", "Wardenix.htm"};
  const std::string sPrograms = std::filesystem::canonical(WDX_DIST_DIR).string() + "/";
  for (const SRound& oRound : aRounds) {
    CServiceFixture oFixture;
    oFixture.Folder().Write("mine", "operator's");
    auto Entry = [&](const char* szName) {
      const std::string sPath = oFixture.Folder().File(szName);
      char szTarget[4096] = {};
      if (readlink(sPath.c_str(), szTarget, sizeof szTarget - 1) > 0) {
        if (access(sPath.c_str(), F_OK) != 0) return BROKEN_LINK;
        return szTarget == sPrograms + szName ? PROGRAM_LINK : OPERATOR_LINK;
      }
      return access(sPath.c_str(), F_OK) != 0 ? NOTHING : OPERATOR_FILE;
    };
    for (int i = 0; i < 3; ++i) {
      const std::string sPath = oFixture.Folder().File(aszNames[i]);
      if (oRound.aBefore[i] == OPERATOR_FILE) oFixture.Folder().Write(aszNames[i], "operator's");
      const std::string sLinkTo = oRound.aBefore[i] == BROKEN_LINK ? sPrograms + "gone" : "mine";
      if (oRound.aBefore[i] == BROKEN_LINK || oRound.aBefore[i] == OPERATOR_LINK) {
        ASSERT_EQ(symlink(sLinkTo.c_str(), sPath.c_str()), 0);
      }
      ASSERT_EQ(Entry(aszNames[i]), oRound.aBefore[i]) << aszNames[i];
    }
    ASSERT_EQ(oFixture.RunService({"-Service"}).m_iExitCode, 0);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(Entry(aszNames[i]), oRound.aAfterService[i]) << aszNames[i];
    ASSERT_EQ(oFixture.RunService({"-UnregServer"}).m_iExitCode, 0);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(Entry(aszNames[i]), oRound.aAfterUnregister[i]) << aszNames[i];
      if (oRound.aBefore[i] == OPERATOR_FILE) {
        EXPECT_EQ(oFixture.Folder().Read(aszNames[i]), "operator's");
      }
    }
  }
}

TEST(ServiceProgram, TheRegistryStoreIsPrivateToItsUser) {
  CServiceFixture oFixture;
  ASSERT_EQ(oFixture.RunService({"-RegServer"}).m_iExitCode, 0);
  struct stat oInfo = {};
  ASSERT_EQ(stat(oFixture.RegistryPath().c_str(), &oInfo), 0);
  EXPECT_EQ(oInfo.st_mode & 0777, 0600u);
}

TEST(ServiceProgram, ADamagedRegistryStoreIsReportedAndLeftAlone) {
  CServiceFixture oFixture;
  mkdir((oFixture.Home() + "registry").c_str(), 0700);
  const std::string sGarbage = "{\"keys\": {\"HKCR\\\\AppID";  // cut short
  oFixture.Folder().Write("registry/store", sGarbage);
  // Every way of running the program names the cause, the file and the remedy.
  for (const char* szSwitch : {"-Service", "-RegServer", ""}) {
    const SRunResult oRun = oFixture.RunService(*szSwitch ? std::vector<std::string>{szSwitch}
                                                          : std::vector<std::string>{});
    EXPECT_EQ(oRun.m_iExitCode, 13) << szSwitch;
    EXPECT_NE(oRun.m_sErr.find("The registry store " + oFixture.RegistryPath() + " is damaged"),
              std::string::npos)
        << szSwitch << ": " << oRun.m_sErr;
    EXPECT_NE(oRun.m_sErr.find("register again with \"wdxsvc -Service\""), std::string::npos);
    EXPECT_EQ(oFixture.Folder().Read("registry/store"), sGarbage);
  }
}

}  // namespace
}  // namespace wdx::test
