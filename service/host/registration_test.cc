#include "service/host/registration.h"

#include <gtest/gtest.h>

#include "platform/component.h"
#include "platform/registry_store.h"
#include "platform/service_manager.h"
#include "service/host/wdx_codes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

// Records what registration asks of the service manager.
class CFakeServiceManager final : public IServiceManager {
 public:
  bool IsInstalled() override { return m_bInstalled; }
  bool Install(const std::string& sProgramPath) override {
    if (m_bFailInstall) return false;
    m_sProgram = sProgramPath;
    m_bInstalled = true;
    return true;
  }
  bool Uninstall() override {
    ++m_iUninstalls;
    m_bInstalled = false;
    return true;
  }
  bool Start() override { return true; }
  bool Stop(int) override { return true; }
  EServiceState QueryState() override {
    return m_bInstalled ? EServiceState::STOPPED : EServiceState::NOT_INSTALLED;
  }
  const std::string& GetLastError() const override { return m_sError; }

  bool m_bInstalled = false;
  bool m_bFailInstall = false;
  int m_iUninstalls = 0;
  std::string m_sProgram;
  std::string m_sError = "no manager";
};

class RegistrationTest : public ::testing::Test {
 protected:
  std::string Value(const std::string& sKey, const std::string& sName) {
    std::string sValue;
    return m_pStore->GetValue(sKey, sName, sValue) ? sValue : "<none>";
  }

  test::CTempFolder m_oFolder;
  std::unique_ptr<IRegistryStore> m_pStore = OpenRegistryStoreAt(m_oFolder.File("store"));
  CFakeServiceManager m_oServices;
  CServiceRegistration m_oRegistration{*m_pStore, m_oServices};
};

TEST_F(RegistrationTest, PlainServerRegistrationWritesTheClassAndIdentity) {
  ASSERT_EQ(m_oRegistration.Register("/opt/wardenix/wdxsvc", false), 0);
  EXPECT_EQ(Value(AppIdKey(), ""), "WDXSVC");
  EXPECT_EQ(Value("HKCR\\AppID\\WDXSVC.EXE", "AppID"), WDX_APPID);
  EXPECT_EQ(Value("HKCR\\WDXSVC.WDXSVR.1", ""), "WDXSVR Class");
  EXPECT_EQ(Value("HKCR\\WDXSVC.WDXSVR\\CurVer", ""), "WDXSVC.WDXSVR.1");
  EXPECT_EQ(Value(ClassKey(), "AppID"), WDX_APPID);
  EXPECT_EQ(Value(ClassKey() + "\\VersionIndependentProgID", ""), "WDXSVC.WDXSVR");
  EXPECT_EQ(Value(LocalServerKey(), ""), "/opt/wardenix/wdxsvc");
  EXPECT_TRUE(m_pStore->KeyExists(ClassKey() + "\\Programmable"));
  EXPECT_EQ(Value(AppIdKey(), "LocalService"), "<none>");
  EXPECT_FALSE(m_oServices.m_bInstalled);
}

TEST_F(RegistrationTest, ServiceRegistrationAddsTheServiceValuesAndInstalls) {
  ASSERT_EQ(m_oRegistration.Register("/opt/wardenix/wdxsvc", true), 0);
  EXPECT_EQ(Value(AppIdKey(), "LocalService"), "WDXSVC");
  EXPECT_EQ(Value(AppIdKey(), "ServiceParameters"), "-Service");
  EXPECT_TRUE(m_oServices.m_bInstalled);
  EXPECT_EQ(m_oServices.m_sProgram, "/opt/wardenix/wdxsvc");
  // Registering again first uninstalls what was installed.
  ASSERT_EQ(m_oRegistration.Register("/opt/wardenix/wdxsvc", false), 0);
  EXPECT_EQ(m_oServices.m_iUninstalls, 1);
  EXPECT_FALSE(m_oServices.m_bInstalled);
  EXPECT_EQ(Value(AppIdKey(), "LocalService"), "<none>");
}

TEST_F(RegistrationTest, AFailedInstallIsReportedAsFailure) {
  m_oServices.m_bFailInstall = true;
  EXPECT_NE(m_oRegistration.Register("/opt/wardenix/wdxsvc", true), 0);
  EXPECT_NE(m_oRegistration.GetLastError().find("Couldn't create service"), std::string::npos);
}

TEST_F(RegistrationTest, UnregistrationRemovesEverythingButTheRootKeys) {
  m_pStore->SetValue("HKCR\\CLSID\\{00000000-0000-0000-0000-000000000000}", "", "other class");
  ASSERT_EQ(m_oRegistration.Register("/opt/wardenix/wdxsvc", true), 0);
  ASSERT_EQ(m_oRegistration.Unregister(), 0);
  EXPECT_FALSE(m_pStore->KeyExists(AppIdKey()));
  EXPECT_FALSE(m_pStore->KeyExists(ClassKey()));
  EXPECT_FALSE(m_pStore->KeyExists(LocalServerKey()));
  EXPECT_FALSE(m_pStore->KeyExists("HKCR\\WDXSVC.WDXSVR"));
  EXPECT_FALSE(m_oServices.m_bInstalled);
  EXPECT_EQ(Value("HKCR\\CLSID\\{00000000-0000-0000-0000-000000000000}", ""), "other class");
}

TEST_F(RegistrationTest, ADamagedStoreGivesTheDamagedStoreExitCode) {
  m_oFolder.Write("store", "{ not json");
  EXPECT_EQ(m_oRegistration.Register("/opt/wardenix/wdxsvc", false), 13);
  EXPECT_EQ(m_oFolder.Read("store"), "{ not json");
}

// The component libraries beside the program come and go with its registration.
TEST(RegistrationComponents, LibrariesBesideTheProgramAreRegisteredWithIt) {
  test::CTempRegistry oRegistry;
  auto pStore = OpenRegistryStore();
  CFakeServiceManager oServices;
  CServiceRegistration oRegistration(*pStore, oServices);
  ASSERT_EQ(oRegistration.Register(std::string(WDX_DIST_DIR) + "/wdxsvc", false), 0);
  EXPECT_EQ(oRegistration.GetLastError(), "");
  const char* const aszProgIds[] = {"Perfwatch.Watcher", "Safehand.Actor",
                                    "ZuvRirer2Oduvo.Rirer2Oduvo", "ZuvLifeSign.LifeSign",
                                    "WdReport.UtReport"};
  std::string sClsid;
  for (const char* szProgId : aszProgIds) {
    EXPECT_TRUE(ClsidFromProgId(szProgId, sClsid)) << szProgId;
  }
  ASSERT_EQ(oRegistration.Unregister(), 0);
  for (const char* szProgId : aszProgIds) {
    EXPECT_FALSE(ClsidFromProgId(szProgId, sClsid)) << szProgId;
  }
}

}  // namespace
}  // namespace wdx
