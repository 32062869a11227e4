// The warden's machine duties with a temporary registry store and a fake rebooter: the reboot
// and what it changes, the AutoRun value and its shortcut, the auto-logon values, the uninstall
// icon value, the registration of the components and the localised folder names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "foundation/ram_file.h"
#include "platform/fake_rebooter.h"
#include "platform/file_system.h"
#include "platform/privileges.h"
#include "platform/registry_store.h"
#include "service/host/wdx_codes.h"
#include "service/restart/local_folder_names.h"
#include "service/restart/warden.h"
#include "service/settings/all_sets.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

TEST(LocalFolderNames, TableByLanguage) {
  struct SCase {
    int iLanguage;
    const char* szEnglish;
    const char* szExpected;
  };
  const SCase aoCases[] = {
      {100, "Start Menu", "Start Menu"},
      {100, "Startup", "Startup"},
      {101, "Start Menu", "Menu Avvio"},
      {101, "Programs", "Programmi"},
      {101, "Startup", "Esecuzione Automatica"},
      {101, "Program Files", "programmi"},
      {7, "Programs", "Programs"},
      {101, "Desktop", ""},
      {100, "", ""},
  };
  for (const SCase& oCase : aoCases) {
    CLocalFolderNames oNames;
    oNames.Initialize(oCase.iLanguage);
    EXPECT_EQ(oNames.GetName(oCase.szEnglish), oCase.szExpected)
        << oCase.iLanguage << " " << oCase.szEnglish;
  }
}

class WardenMachine : public ::testing::Test {
 protected:
  WardenMachine() {
    m_oWarden.m_sBaseDirectory = m_oBase.Path();
    m_oWarden.m_sUserName = "operator";
    m_oWarden.m_sDevelMarkerPath = m_oBase.File("ZuvDevel.txt");
    m_oWarden.m_sRegsvrProgram = std::string(WDX_DIST_DIR) + "/wdxregsvr";
    m_oWarden.m_sProgramsDirectory = m_oBase.Path();
    m_pStore = OpenRegistryStore();
  }

  // Settings loaded from an AutoSet.caf in the base folder, so that their saves can be seen.
  void UseSettings() {
    CRamFile oWriter;
    oWriter.Initialize(m_oBase.Path().c_str(), WDX_SETTINGS_FILE);
    ASSERT_TRUE(
        oWriter.LoadToRamFromListBox({"[KEYS]", "AdminId=operator", "SvrStatus=Restarting"}));
    ASSERT_TRUE(oWriter.SaveToFile());
    m_oSets.m_pKeyFile = &m_oKeyFile;
    m_oSets.m_oStrWorkingFolder.Assign(m_oBase.Path().c_str());
    ASSERT_TRUE(m_oSets.ReInitialize());
    m_oWarden.m_pSettings = &m_oSets;
  }
  void MakeDesktopShortcut() {
    ASSERT_TRUE(GetFileSystem().MakeFolders(
        m_oBase.Path() + "Documents and Settings/All Users/Desktop", 0755));
    m_oBase.Write(WDX_DESKTOP_SHORTCUT, "shortcut");
  }
  std::string Value(const char* szKey, const char* szName) {
    std::string sValue = "<none>";
    m_pStore->GetValue(szKey, szName, sValue);
    return sValue;
  }
  std::string AutoRun() { return Value(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE); }
  // A store file that cannot be read: every write is refused.
  void DamageStore() { WriteFile(m_oRegistry.Folder() + "registry", "{bad"); }
  static void WriteFile(const std::string& sPath, const std::string& sText) {
    ASSERT_TRUE(GetFileSystem().ReplaceFile(sPath, sText, 0600));
  }
  std::string StartupPath(const std::string& sMenu) const {
    return m_oBase.Path() + "Documents and Settings/operator/" + sMenu + "/Wardenix.lnk";
  }

  test::CTempRegistry m_oRegistry;
  test::CTempFolder m_oBase;
  test::CLogCapture m_oLog;
  CRamFileRO m_oKeyFile;
  CAllSets m_oSets;
  CWarden m_oWarden;
  std::unique_ptr<IRegistryStore> m_pStore;
};

const char* const kBanner = "XXXXXXX**********************XXXXXXX*************************XXXXXXX";

TEST_F(WardenMachine, ReBootWithoutThePrivilegeChangesNothing) {
  UseSettings();
  MakeDesktopShortcut();
  struct SCase {
    EPrivilegeState ePrivilege;
    const char* szError;
  };
  for (const SCase& oCase :
       {SCase{EPrivilegeState::NOT_HELD, "Cannot adjust process for re-boot priviledge."},
        SCase{EPrivilegeState::UNKNOWN, "Cannot get re-boot priviledge assigned."}}) {
    CFakeRebooter oRebooter;
    oRebooter.m_ePrivilege = oCase.ePrivilege;
    EXPECT_FALSE(m_oWarden.ReBoot());
    EXPECT_TRUE(m_oLog.HasError(oCase.szError));
    EXPECT_EQ(oRebooter.m_iRequests, 0);
    EXPECT_EQ(AutoRun(), "<none>");
    EXPECT_EQ(m_oSets.m_iLastKnownServerState, ZUV_FAILS_DETECTED_SERVER_RESTARTING);
    EXPECT_FALSE(GetFileSystem().FileExists(StartupPath("Start Menu/Programs/Startup")));
  }
  // The process's own rebooter with a reboot command that names a missing program.
  const char* szOld = std::getenv("WDX_REBOOT_COMMAND");  // set by the test entry point
  ASSERT_NE(szOld, nullptr);
  const std::string sOld = szOld;
  setenv("WDX_REBOOT_COMMAND", m_oBase.File("missing-reboot").c_str(), 1);
  EXPECT_FALSE(m_oWarden.ReBoot());
  setenv("WDX_REBOOT_COMMAND", sOld.c_str(), 1);
  EXPECT_EQ(m_oLog.CountErrors("Cannot adjust process for re-boot priviledge."), 2);
  EXPECT_TRUE(m_oLog.HasError(
      "The reboot command (WDX_REBOOT_COMMAND) names no program that can be run."));
  EXPECT_EQ(AutoRun(), "<none>");
  EXPECT_EQ(m_oSets.m_iLastKnownServerState, ZUV_FAILS_DETECTED_SERVER_RESTARTING);
  EXPECT_EQ(m_oLog.CountErrors(kBanner), 12);
  EXPECT_EQ(m_oLog.Text().find("ZUV_FAILS_DETECTED_SERVER_REBOOTONG"), std::string::npos);
}

TEST_F(WardenMachine, ReBootSetsAutoRunAndTheStateBeforeItAsks) {
  UseSettings();
  MakeDesktopShortcut();
  for (bool bAccept : {true, false}) {
    CFakeRebooter oRebooter;
    oRebooter.m_bAccept = bAccept;
    std::string sAutoRunThen;
    std::string sStatusThen;
    oRebooter.m_fnOnRequest = [&] {
      sAutoRunThen = AutoRun();
      CRamFileRO oOnDisk;
      oOnDisk.Initialize(m_oBase.Path().c_str(), WDX_SETTINGS_FILE);
      sStatusThen = oOnDisk.GetKeyValue("SvrStatus");
    };
    EXPECT_EQ(m_oWarden.ReBoot(), bAccept);
    EXPECT_EQ(oRebooter.m_iRequests, 1);
    EXPECT_EQ(sAutoRunThen, "1");
    EXPECT_EQ(sStatusThen, "Rebooting");
    EXPECT_EQ(m_oSets.m_iLastKnownServerState, ZUV_FAILS_DETECTED_SERVER_REBOOTONG);
  }
  EXPECT_TRUE(GetFileSystem().FileExists(StartupPath("Start Menu/Programs/Startup")));
  // The texts, in their order.
  const std::string sLog = m_oLog.Text();
  size_t uAt = 0;
  for (const char* szText :
       {kBanner, kBanner, "RESTART FAILURE DETECTED. Attempting REBOOT and RESTART........",
        kBanner, kBanner, "Failures Detected. Re-booting server....",
        " (event): CWarden::ReBoot() has set m_iLastKnownServerState == "
        "ZUV_FAILS_DETECTED_SERVER_REBOOTONG.\r\r\n"}) {
    uAt = sLog.find(szText, uAt);
    ASSERT_NE(uAt, std::string::npos) << szText << "\n" << sLog;
  }
}

TEST_F(WardenMachine, ReBootGoesOnWhenAutoRunCannotBeSet) {
  UseSettings();  // no desktop shortcut
  CFakeRebooter oRebooter;
  EXPECT_TRUE(m_oWarden.ReBoot());
  EXPECT_EQ(oRebooter.m_iRequests, 1);
  EXPECT_TRUE(m_oLog.HasError("CWarden::SetAutoRunStatus() failed"));
  EXPECT_EQ(AutoRun(), "<none>");
  EXPECT_EQ(m_oSets.m_iLastKnownServerState, ZUV_FAILS_DETECTED_SERVER_REBOOTONG);
}

TEST_F(WardenMachine, SetAutoRunStatusCopiesTheShortcutOnlyWhenMissing) {
  MakeDesktopShortcut();
  // Already there: nothing is copied, the value is set.
  const std::string sStartup = StartupPath("Start Menu/Programs/Startup");
  ASSERT_TRUE(GetFileSystem().MakeFolders(FolderOf(sStartup), 0755));
  WriteFile(sStartup, "mine");
  EXPECT_TRUE(m_oWarden.SetAutoRunStatus(true));
  EXPECT_EQ(test::ReadWholeFile(sStartup), "mine");
  EXPECT_EQ(AutoRun(), "1");
  EXPECT_TRUE(m_oWarden.SetAutoRunStatus(false));
  EXPECT_EQ(AutoRun(), "0");
  // Italian folder names: the copy is made in the user's Menu Avvio/Programmi/Esecuzione
  // Automatica, folders made as needed.
  m_oWarden.m_iLanguageCode = 101;
  EXPECT_TRUE(m_oWarden.SetAutoRunStatus(true));
  EXPECT_EQ(test::ReadWholeFile(StartupPath("Menu Avvio/Programmi/Esecuzione Automatica")),
            "shortcut");
  EXPECT_EQ(AutoRun(), "1");
  EXPECT_EQ(m_oLog.Text().find(" Error: "), std::string::npos) << m_oLog.Text();
}

TEST_F(WardenMachine, SetAutoRunStatusFailures) {
  // No shortcut at all.
  EXPECT_FALSE(m_oWarden.SetAutoRunStatus(true));
  for (const std::string& sText : {std::string("Shortcut to Wardenix not found. Should be at:"),
                                   m_oBase.File(WDX_DESKTOP_SHORTCUT),
                                   std::string("Cannot restart on reboot without this shortcut."),
                                   std::string("If you can't find it, please re-install Wardenix."),
                                   std::string("CWarden::SetAutoRunStatus() failed")}) {
    EXPECT_TRUE(m_oLog.HasError(sText)) << sText;
  }
  EXPECT_EQ(AutoRun(), "<none>");
  // The copy cannot be made: a file stands where the user's folder should be.
  MakeDesktopShortcut();
  m_oBase.Write("Documents and Settings/operator", "in the way");
  EXPECT_FALSE(m_oWarden.SetAutoRunStatus(true));
  EXPECT_TRUE(m_oLog.HasError("Cannot copy Wardenix short cut into:"));
  EXPECT_TRUE(m_oLog.HasError(StartupPath("Start Menu/Programs/Startup")));
  EXPECT_TRUE(m_oLog.HasError("Can you put it there manually, please?."));
  EXPECT_EQ(AutoRun(), "<none>");
  // A user name that is no folder name is never used as a path.
  m_oWarden.m_sUserName = "../escape";
  EXPECT_FALSE(m_oWarden.SetAutoRunStatus(true));
  EXPECT_FALSE(GetFileSystem().FileExists(m_oBase.Path() + "escape"));
  // A store that cannot be written.
  DamageStore();
  EXPECT_FALSE(m_oWarden.SetAutoRunStatus(false));
  EXPECT_TRUE(m_oLog.HasError("SetAutoRunStatus Cannot open waRdenix AutoRun registry key."));
}

TEST_F(WardenMachine, DisableAutoLogonWritesTheValuesButNeverThePassword) {
  m_oWarden.m_sPassword = "secret";
  m_pStore->SetValue(WDX_WINLOGON_KEY, "DefaultPassword", "old secret");
  m_pStore->SetValue(WDX_WINLOGON_KEY, "AutoAdminLogon", "1");
  m_oWarden.DisableAutoLogon();
  EXPECT_EQ(Value(WDX_WINLOGON_KEY, "DefaultUserName"), "operator");
  EXPECT_EQ(Value(WDX_WINLOGON_KEY, "DefaultPassword"), "");
  EXPECT_EQ(Value(WDX_WINLOGON_KEY, "AutoAdminLogon"), "0");
  EXPECT_EQ(m_oLog.Text().find(" Error: "), std::string::npos) << m_oLog.Text();
  EXPECT_EQ(test::ReadWholeFile(m_oRegistry.Folder() + "registry").find("secret"),
            std::string::npos);
  // A name longer than the read-back buffer is written but cannot be verified.
  m_oWarden.m_sUserName = std::string(600, 'u');
  m_oWarden.DisableAutoLogon();
  EXPECT_EQ(m_oLog.CountErrors("Error: Cannot verify DefaultUserName value"), 1);
  EXPECT_EQ(m_oLog.CountErrors("Error: Cannot verify AutoAdminLogon value"), 0);
  // A store that cannot be written: every write fails, with its own text.
  DamageStore();
  m_oWarden.DisableAutoLogon();
  for (const char* szText :
       {"Error: Cannot open key", "Error: Cannot set DefaultUserName value",
        "Error: Cannot set DefaultPassword value", "Error: Cannot set AutoAdminLogon value"}) {
    EXPECT_EQ(m_oLog.CountErrors(szText), 1) << szText;
  }
}

TEST_F(WardenMachine, LoadUninstallIconKeyOnlyIntoAnExistingKey) {
  EXPECT_FALSE(m_oWarden.LoadUninstallIconKey());
  EXPECT_TRUE(m_oLog.HasError("CWarden::LoadUninstallIconKey() failed"));
  EXPECT_FALSE(m_pStore->KeyExists(WDX_UNINSTALL_KEY));
  ASSERT_TRUE(m_pStore->CreateKey(WDX_UNINSTALL_KEY));
  EXPECT_TRUE(m_oWarden.LoadUninstallIconKey());
  EXPECT_EQ(Value(WDX_UNINSTALL_KEY, "DisplayIcon"), m_oBase.File("Wardenix.ico"));
}

// Copies this build's Perfwatch.so into the base folder.
class WardenRegistration : public WardenMachine {
 protected:
  void SetUp() override {
    const std::string sLibrary = std::string(WDX_DIST_DIR) + "/Perfwatch.so";
    if (access(sLibrary.c_str(), R_OK) != 0) GTEST_SKIP() << "no " << sLibrary;
    ASSERT_TRUE(GetFileSystem().CopyFile(sLibrary, m_oBase.File("Perfwatch.so")));
  }
  bool Registered() { return m_pStore->KeyExists("HKCR\\Perfwatch.Watcher.1"); }
};

TEST_F(WardenRegistration, RegisterAtlObjectNamesAndResults) {
  struct SCase {
    const char* szLibrary;
    const char* szProgId;
    bool bResult;
    const char* szError;
  };
  const SCase aoCases[] = {
      {"Perfwatch", "Perfwatch.Watcher", true, nullptr},
      {"Perfwatch.dll", "Perfwatch.Watcher", true, nullptr},
      {"Perfwatch.so", "Perfwatch.Watcher", true, nullptr},
      {"Perfwatch", "Perfwatch.Other", false,
       "CWarden::RegisterAtlObject() failed for Perfwatch.so"},
      {"Safehand.dll", "Safehand.Actor", false,
       "CWarden::RegisterAtlObject() failed for Safehand.so"},
  };
  // The libraries stand beside the programs, not in the program folder (WDX_HOME).
  m_oWarden.m_sBaseDirectory = m_oBase.Path() + "home/";
  for (const SCase& oCase : aoCases) {
    m_pStore->DeleteKey("HKCR\\Perfwatch.Watcher.1");
    EXPECT_EQ(m_oWarden.RegisterAtlObject(oCase.szLibrary, oCase.szProgId), oCase.bResult)
        << oCase.szLibrary;
    if (oCase.szError != nullptr) {
      EXPECT_TRUE(m_oLog.HasError(oCase.szError)) << oCase.szLibrary;
    }
  }
  EXPECT_TRUE(m_oLog.HasError("Cannot find file: " + m_oBase.File("Safehand.so")));
  std::string sPath;
  m_pStore->GetValue(
      "HKCR\\CLSID\\" + Value("HKCR\\Perfwatch.Watcher\\CLSID", "") + "\\InprocServer32", "",
      sPath);
  EXPECT_EQ(sPath, m_oBase.File("Perfwatch.so"));
}

TEST_F(WardenRegistration, RegisterObjectsHonoursTheDeveloperMarker) {
  m_oBase.Write("ZuvDevel.txt", "");
  EXPECT_TRUE(m_oWarden.RegisterObjects());
  EXPECT_FALSE(Registered());
  EXPECT_EQ(m_oLog.Text().find(" Error: "), std::string::npos);
  GetFileSystem().DeleteFile(m_oBase.File("ZuvDevel.txt"));
  EXPECT_TRUE(m_oWarden.RegisterObjects());
  EXPECT_TRUE(Registered());
  // The four libraries this build does not make are reported, in order.
  for (const char* szName : {"ZuvLifeSign.so", "WdReport.so", "ZuvRirer2Oduvo.so", "Safehand.so"}) {
    EXPECT_TRUE(m_oLog.HasError("Cannot find file: " + m_oBase.File(szName))) << szName;
  }
  EXPECT_FALSE(m_oLog.HasError("CWarden::RegisterAtlObject() failed for Perfwatch.so"));
}

TEST_F(WardenMachine, SetDebugPrivilidgeFollowsTheProcessCapabilities) {
  const bool bHeld = GetOwnPrivilege(WDX_CAP_SYS_PTRACE) == EPrivilegeState::HELD;
  EXPECT_EQ(m_oWarden.SetDebugPrivilidge(), bHeld);
  EXPECT_EQ(m_oLog.HasError("CWarden::SetDebugPrivilidge failed."), !bHeld);
}

}  // namespace
}  // namespace wdx
