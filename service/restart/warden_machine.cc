// The warden's duties on the machine: privileges, the auto-logon values, the reboot and the
// AutoRun value with its Startup shortcut, the uninstall icon value, the registration of the
// components and the heartbeat file.
#include <strings.h>

#include <cctype>
#include <memory>
#include <string>

#include "foundation/process_log.h"
#include "foundation/txt_file4.h"
#include "foundation/zuv_file_ops.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/file_system.h"
#include "platform/privileges.h"
#include "platform/process.h"
#include "platform/reboot.h"
#include "platform/registry_store.h"
#include "service/host/wdx_codes.h"
#include "service/restart/local_folder_names.h"
#include "service/restart/warden.h"
#include "service/settings/all_sets.h"

namespace wdx {
namespace {

const char* const kBanner = "XXXXXXX**********************XXXXXXX*************************XXXXXXX";
const char* const kHeartbeatFolder = "/var/lib/wardenix/heartbeat/";

// The read-back buffer held 512 bytes with the terminating zero.
constexpr size_t kMaxReadBack = 511;

std::string TwoDigits(int iValue) {
  return std::string(1, static_cast<char>('0' + iValue / 10 % 10)) +
         static_cast<char>('0' + iValue % 10);
}

bool EqualNoCase(const std::string& sA, const std::string& sB) {
  return sA.size() == sB.size() && strncasecmp(sA.c_str(), sB.c_str(), sA.size()) == 0;
}

// The file name of a component library: "X.dll" and "X" are "X.so" here.
std::string LibraryFileName(const std::string& sLibrary) {
  std::string sLower = sLibrary;
  for (char& c : sLower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (sLower.size() > 4 && sLower.compare(sLower.size() - 4, 4, ".dll") == 0) {
    return sLibrary.substr(0, sLibrary.size() - 4) + ".so";
  }
  return sLower.find(".so") == std::string::npos ? sLibrary + ".so" : sLibrary;
}

// A user name that can be one folder name below "Documents and Settings/".
bool IsFolderName(const std::string& sName) {
  return !sName.empty() && sName != "." && sName != ".." && sName.find('/') == std::string::npos;
}

bool OpenOrCreateKey(IRegistryStore& oStore, const char* szKey) {
  return oStore.KeyExists(szKey) || oStore.CreateKey(szKey);
}

}  // namespace

bool CWarden::WriteHeartbeatFile() {
  SLocalTime oNow;
  GetClock().GetLocalTime(oNow);
  const std::string sLine = TwoDigits(oNow.m_iMonth) + "/" + TwoDigits(oNow.m_iDay) + "/" +
                            TwoDigits(oNow.m_iYear % 100) + " " + TwoDigits(oNow.m_iHour) + ":" +
                            TwoDigits(oNow.m_iMinute) + ":" + TwoDigits(oNow.m_iSecond) +
                            " System working.";
  IFileSystem& oFiles = GetFileSystem();
  const std::string sPath =
      (oFiles.FolderExists(kHeartbeatFolder) ? std::string(kHeartbeatFolder) : m_sBaseDirectory) +
      "Beat.txt";
  CTxtFile4 oFile;
  bool bOk = oFile.Initialize(4096);
  if (!bOk) {
    ZuvLogError("CWarden::WriteHeartbeatFile() CTxtFile init failed.");
  } else if (oFiles.FileExists(sPath)) {
    bOk = oFile.ReOpenForReadAppend(sPath.c_str());
    if (!bOk) ZuvLogError(("CWarden::WriteHeartbeatFile() could not open " + sPath + ".").c_str());
  } else {
    bOk = oFile.Create(sPath.c_str());
    if (!bOk) ZuvLogError(("CWarden::WriteHeartbeatFile()could not create " + sPath).c_str());
  }
  // Whole or not at all, so a full disk leaves no torn line for the next one to continue.
  if (bOk && !oFile.AppendWhole(sLine + "\r\n")) {
    ZuvLogError(("CWarden::WriteHeartbeatFile()could not append " + sPath).c_str());
    bOk = false;
  }
  oFile.Close();
  if (!bOk) ZuvLogError("CWarden::WriteHeartbeatFile() failed");
  return bOk;
}

bool CWarden::SetDebugPrivilidge() {
  switch (GetOwnPrivilege(WDX_CAP_SYS_PTRACE)) {
    case EPrivilegeState::HELD:
      return true;
    case EPrivilegeState::UNKNOWN:
      ZuvLogError("Cannot get debug priviledge assigned.");
      break;
    case EPrivilegeState::NOT_HELD:
      ZuvLogError("Cannot adjust process for debug priviledge.");
      break;
  }
  ZuvLogError("CWarden::SetDebugPrivilidge failed.");
  return false;
}

void CWarden::DisableAutoLogon() {
  struct SValue {
    const char* szName;
    std::string sValue;
  };
  // The password is never written here: automatic logon is switched off and its password emptied.
  const SValue aoValues[] = {
      {"DefaultUserName", m_sUserName}, {"DefaultPassword", ""}, {"AutoAdminLogon", "0"}};
  std::unique_ptr<IRegistryStore> pStore = OpenRegistryStore();
  const bool bOpen = OpenOrCreateKey(*pStore, WDX_WINLOGON_KEY);
  if (!bOpen) ZuvLogError("Error: Cannot open key");
  for (const SValue& oValue : aoValues) {
    const std::string sName = oValue.szName;
    if (!bOpen || !pStore->SetValue(WDX_WINLOGON_KEY, sName, oValue.sValue)) {
      ZuvLogError(("Error: Cannot set " + sName + " value").c_str());
      continue;
    }
    std::string sRead;
    if (!pStore->GetValue(WDX_WINLOGON_KEY, sName, sRead) || sRead.size() > kMaxReadBack ||
        !EqualNoCase(sRead, oValue.sValue)) {
      ZuvLogError(("Error: Cannot verify " + sName + " value").c_str());
    }
  }
}

bool CWarden::ReBoot() {
  DebugOutput("\a\a");
  ZuvLogError(kBanner);
  ZuvLogError(kBanner);
  ZuvLogError("RESTART FAILURE DETECTED. Attempting REBOOT and RESTART........");
  ZuvLogError(kBanner);
  ZuvLogError(kBanner);
  ZuvLogError("Failures Detected. Re-booting server....");
  IRebooter& oRebooter = GetRebooter();
  switch (oRebooter.GetRebootPrivilege()) {
    case EPrivilegeState::HELD:
      break;
    case EPrivilegeState::UNKNOWN:
      ZuvLogError("Cannot get re-boot priviledge assigned.");
      return false;
    case EPrivilegeState::NOT_HELD:
      ZuvLogError("Cannot adjust process for re-boot priviledge.");
      return false;
  }
  SetAutoRunStatus(true);  // without it the reboot still goes on
  if (m_pSettings != nullptr) {
    m_pSettings->m_iLastKnownServerState = ZUV_FAILS_DETECTED_SERVER_REBOOTONG;
    m_pSettings->SaveSettings();
    ZuvLogEvent(
        "CWarden::ReBoot() has set m_iLastKnownServerState == "
        "ZUV_FAILS_DETECTED_SERVER_REBOOTONG.");
  }
  return oRebooter.RequestReboot();
}

bool CWarden::SetAutoRunStatus(bool bOn) {
  std::unique_ptr<IRegistryStore> pStore = OpenRegistryStore();
  bool bOk = false;
  if (!OpenOrCreateKey(*pStore, WDX_AUTORUN_KEY)) {
    ZuvLogError("SetAutoRunStatus Cannot open waRdenix AutoRun registry key.");
  } else if (bOn) {
    bOk = PlaceStartupShortcut();
    if (bOk && !pStore->SetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, "1")) {
      ZuvLogError("Cannot set Wardenix AutoRun registry key to 1.");
      bOk = false;
    }
  } else {
    bOk = pStore->SetValue(WDX_AUTORUN_KEY, WDX_AUTORUN_VALUE, "0");
    if (!bOk) ZuvLogError("Cannot set waRdenix AutoRun registry key to 0.");
  }
  if (!bOk) ZuvLogError("CWarden::SetAutoRunStatus() failed");
  return bOk;
}

bool CWarden::PlaceStartupShortcut() {
  CLocalFolderNames oNames;
  oNames.Initialize(m_iLanguageCode);
  std::string sFolder = m_sBaseDirectory + "Documents and Settings/" + m_sUserName + "/";
  sFolder += oNames.GetName("Start Menu") + "/";
  sFolder += oNames.GetName("Programs") + "/";
  sFolder += oNames.GetName("Startup") + "/";
  const std::string sStartup = sFolder + WDX_SHORTCUT_NAME;
  CZuvFileOps oFiles;
  oFiles.SetQuiet(true);
  const bool bUsable = IsFolderName(m_sUserName);
  if (bUsable && oFiles.FileExists(sStartup.c_str())) return true;
  const std::string sDesktop = m_sBaseDirectory + WDX_DESKTOP_SHORTCUT;
  if (!oFiles.FileExists(sDesktop.c_str())) {
    ZuvLogError("Shortcut to Wardenix not found. Should be at:");
    ZuvLogError(sDesktop.c_str());
    ZuvLogError("Cannot restart on reboot without this shortcut.");
    ZuvLogError("If you can't find it, please re-install Wardenix.");
    return false;
  }
  // The user's Startup folder always existed where this came from; here it is made on demand.
  if (bUsable && GetFileSystem().MakeFolders(sFolder, 0755)) {
    oFiles.CopyFile(sDesktop.c_str(), sStartup.c_str());
  }
  if (bUsable && oFiles.FileExists(sStartup.c_str())) return true;
  ZuvLogError("Cannot copy Wardenix short cut into:");
  ZuvLogError(sStartup.c_str());
  ZuvLogError("Cannot restart on reboot without this shortcut.");
  ZuvLogError("Can you put it there manually, please?.");
  return false;
}

bool CWarden::LoadUninstallIconKey() {
  std::unique_ptr<IRegistryStore> pStore = OpenRegistryStore();
  if (!pStore->KeyExists(WDX_UNINSTALL_KEY) ||
      !pStore->SetValue(WDX_UNINSTALL_KEY, "DisplayIcon", m_sBaseDirectory + "Wardenix.ico")) {
    ZuvLogError("CWarden::LoadUninstallIconKey() failed");
    return false;
  }
  return true;
}

bool CWarden::RegisterObjects() {
  if (GetFileSystem().FileExists(m_sDevelMarkerPath)) return true;
  const char* const aszObjects[][2] = {
      {"ZuvLifeSign.so", "ZuvLifeSign.LifeSign"},
      {"WdReport.so", "WdReport.UtReport"},
      {"Perfwatch.so", "Perfwatch.Watcher"},
      {"ZuvRirer2Oduvo.so", "ZuvRirer2Oduvo.Rirer2Oduvo"},
      {"Safehand.so", "Safehand.Actor"},
  };
  for (const auto& aszObject : aszObjects) RegisterAtlObject(aszObject[0], aszObject[1]);
  return true;
}

bool CWarden::RegisterAtlObject(const std::string& sLibrary, const std::string& sProgId) {
  const std::string sName = LibraryFileName(sLibrary);
  const std::string sPrograms = m_sProgramsDirectory.empty()
                                    ? FolderOf(GetFileSystem().GetExecutablePath())
                                    : m_sProgramsDirectory;
  const std::string sPath = sPrograms + sName;
  if (!GetFileSystem().FileExists(sPath)) {
    ZuvLogError(("Cannot find file: " + sPath).c_str());
    ZuvLogError(("CWarden::RegisterAtlObject() failed for " + sName).c_str());
    return false;
  }
  const std::string sTool =
      m_sRegsvrProgram.empty() ? sPrograms + "wdxregsvr" : m_sRegsvrProgram;
  // The full path, so that the current folder does not matter.
  int iExitCode = -1;
  RunAndWait({sTool, "/s", "/u", sPath}, iExitCode);
  RunAndWait({sTool, "/s", sPath}, iExitCode);
  std::unique_ptr<IRegistryStore> pStore = OpenRegistryStore();
  if (sProgId.empty() || !pStore->KeyExists("HKCR\\" + sProgId) ||
      !pStore->KeyExists("HKCR\\" + sProgId + ".1")) {
    ZuvLogError(("CWarden::RegisterAtlObject() failed for " + sName).c_str());
    return false;
  }
  return true;
}

}  // namespace wdx
