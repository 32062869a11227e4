// The systemd service manager: its unit text, and the manager itself over temporary unit
// folders with a systemctl script that records its calls and enables as systemctl does.
#include "platform/service_manager_systemd.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

TEST(SystemdUnitTest, PlainProgramPath) {
  std::string sText;
  ASSERT_TRUE(MakeSystemdUnitText("/opt/wardenix/wdxsvc", "", sText));
  EXPECT_EQ(
      "[Unit]\n"
      "Description=Wardenix monitor service\n"
      "Documentation=man:wdxsvc(8)\n"
      "\n"
      "[Service]\n"
      "Type=notify\n"
      "ExecStart=/opt/wardenix/wdxsvc\n"
      "Restart=on-failure\n"
      "TimeoutStopSec=130\n"
      "\n"
      "[Install]\n"
      "WantedBy=multi-user.target\n",
      sText);
}

TEST(SystemdUnitTest, ProgramFolderIsPassedAsWdxHome) {
  std::string sText;
  ASSERT_TRUE(MakeSystemdUnitText("/srv/wdx/wdxsvc", "/srv/wdx/", sText));
  EXPECT_NE(std::string::npos,
            sText.find("TimeoutStopSec=130\nEnvironment=WDX_HOME=/srv/wdx/\n\n[Install]\n"));
}

TEST(SystemdUnitTest, SpecialCharactersAreEscaped) {
  std::string sText;
  ASSERT_TRUE(MakeSystemdUnitText("/opt/my apps/100%/wdx$svc", "/opt/my apps/", sText));
  EXPECT_NE(std::string::npos, sText.find("ExecStart=\"/opt/my apps/100%%/wdx$$svc\"\n"));
  EXPECT_NE(std::string::npos, sText.find("Environment=\"WDX_HOME=/opt/my apps/\"\n"));
  ASSERT_TRUE(MakeSystemdUnitText("/opt/a\"b\\c", "", sText));
  EXPECT_NE(std::string::npos, sText.find("ExecStart=\"/opt/a\\\"b\\\\c\"\n"));
}

TEST(SystemdUnitTest, LineEndsAndEmptyPathsAreRefused) {
  std::string sText = "old";
  EXPECT_FALSE(MakeSystemdUnitText("/opt/x\nExecStartPre=/bin/evil", "", sText));
  EXPECT_EQ("", sText);
  EXPECT_FALSE(MakeSystemdUnitText("/opt/x", "/home\r/", sText));
  EXPECT_FALSE(MakeSystemdUnitText("", "", sText));
}

TEST(SystemdUnitTest, ActiveStatesMapToServiceStates) {
  EXPECT_EQ(EServiceState::RUNNING, MapSystemdActiveState("active\n"));
  EXPECT_EQ(EServiceState::RUNNING, MapSystemdActiveState("reloading\n"));
  EXPECT_EQ(EServiceState::START_PENDING, MapSystemdActiveState("activating\n"));
  EXPECT_EQ(EServiceState::STOP_PENDING, MapSystemdActiveState("deactivating\n"));
  EXPECT_EQ(EServiceState::STOPPED, MapSystemdActiveState("inactive\n"));
  EXPECT_EQ(EServiceState::STOPPED, MapSystemdActiveState("failed\n"));
  EXPECT_EQ(EServiceState::STOPPED, MapSystemdActiveState(""));
  EXPECT_STREQ("START_PENDING", ServiceStateName(EServiceState::START_PENDING));
}

TEST(SystemdUnitTest, TheShippedUnitIsTheOneMadeForThePackagedPaths) {
  std::string sText;
  ASSERT_TRUE(MakeSystemdUnitText("/usr/lib/wardenix/wdxsvc", "/var/lib/wardenix/", sText));
  EXPECT_EQ(sText,
            test::ReadWholeFile(std::string(WDX_SOURCE_DIR) + "scripts/package/wdxsvc.service"));
}

// Records each call in calls.txt; "enable" links the unit systemd would use (the local one
// first) into the target's wants folder, "disable" removes the link.
const char* const kSystemctlScript = R"SH(#!/bin/sh
root=$(dirname "$0")
echo "$*" >> "$root/calls.txt"
wants="$root/etc/multi-user.target.wants"
case "$1" in
  enable)
    mkdir -p "$wants"
    for unit in "$root/etc/$2" "$root/usr-lib/$2" "$root/lib/$2"; do
      if [ -e "$unit" ]; then ln -s "$unit" "$wants/$2"; exit; fi
    done
    exit 1 ;;
  disable) rm -f "$wants/$2" ;;
  is-active) echo inactive ;;
esac
)SH";

constexpr const char* kProgram = "/opt/wardenix/wdxsvc";

TEST(SystemdServiceManagerTest, PackagedUnitIsEnabledOnlyForItsOwnProgram) {
  struct SCase {
    const char* szName;
    const char* szVendorFolder;   // where a packaged unit is, nullptr for none
    const char* szVendorProgram;  // the program it starts
    bool bLocalUnit;              // whether Install writes a unit of its own
  };
  const SCase aCases[] = {
      {"no unit", nullptr, nullptr, true},
      {"packaged for this program", "usr-lib/", kProgram, false},
      {"packaged for it in the second folder", "lib/", kProgram, false},
      {"packaged for another program", "lib/", "/usr/lib/wardenix/wdxsvc", true},
  };
  for (const SCase& oCase : aCases) {
    SCOPED_TRACE(oCase.szName);
    test::CTempFolder oRoot;
    for (const char* szFolder : {"etc", "usr-lib", "lib"})
      ASSERT_EQ(mkdir(oRoot.File(szFolder).c_str(), 0755), 0);
    oRoot.Write("systemctl", kSystemctlScript);
    ASSERT_EQ(chmod(oRoot.File("systemctl").c_str(), 0755), 0);
    std::string sVendorUnit;
    if (oCase.szVendorFolder != nullptr) {
      ASSERT_TRUE(MakeSystemdUnitText(oCase.szVendorProgram, "/var/lib/wardenix/", sVendorUnit));
      oRoot.Write(std::string(oCase.szVendorFolder) + WDX_SYSTEMD_UNIT, sVendorUnit);
    }
    SSystemdPaths oPaths;
    oPaths.m_sLocalFolder = oRoot.File("etc/");
    oPaths.m_oVendorFolders = {oRoot.File("usr-lib/"), oRoot.File("lib/")};
    oPaths.m_sSystemctl = oRoot.File("systemctl");
    auto pManager = CreateSystemdServiceManager(oPaths);
    const std::string sLocalUnit = std::string("etc/") + WDX_SYSTEMD_UNIT;
    const std::string sWants = std::string("etc/multi-user.target.wants/") + WDX_SYSTEMD_UNIT;

    EXPECT_FALSE(pManager->IsInstalled());  // a packaged unit counts once it is enabled
    EXPECT_EQ(pManager->QueryState(), EServiceState::NOT_INSTALLED);
    ASSERT_TRUE(pManager->Install(kProgram)) << pManager->GetLastError();
    EXPECT_TRUE(pManager->IsInstalled());
    EXPECT_EQ(pManager->QueryState(), EServiceState::STOPPED);
    EXPECT_TRUE(pManager->Install(kProgram));  // installed: nothing more
    EXPECT_EQ(oRoot.Read("calls.txt"),
              "daemon-reload\nenable wdxsvc.service\nis-active wdxsvc.service\n");
    const std::string sLocalText = oRoot.Read(sLocalUnit);
    EXPECT_EQ(sLocalText.find(std::string("\nExecStart=") + kProgram + "\n") != std::string::npos,
              oCase.bLocalUnit)
        << sLocalText;

    ASSERT_TRUE(pManager->Uninstall()) << pManager->GetLastError();
    EXPECT_FALSE(pManager->IsInstalled());
    EXPECT_NE(access(oRoot.File(sLocalUnit).c_str(), F_OK), 0);
    EXPECT_NE(access(oRoot.File(sWants).c_str(), F_OK), 0);
    if (oCase.szVendorFolder != nullptr) {
      EXPECT_EQ(oRoot.Read(std::string(oCase.szVendorFolder) + WDX_SYSTEMD_UNIT), sVendorUnit);
    }
    EXPECT_EQ(oRoot.Read("calls.txt"),
              "daemon-reload\nenable wdxsvc.service\nis-active wdxsvc.service\n"
              "stop wdxsvc.service\ndisable wdxsvc.service\ndaemon-reload\n");
    EXPECT_TRUE(pManager->Uninstall());  // not installed: nothing to do
  }
}

}  // namespace
}  // namespace wdx
