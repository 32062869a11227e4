#include "service/host/registration.h"

#include <cerrno>
#include <cstring>

#include "foundation/process_log.h"
#include "platform/component.h"
#include "platform/file_system.h"
#include "platform/registry_store.h"
#include "platform/service_manager.h"
#include "service/host/wdx_codes.h"
#include "service/restart/warden.h"

namespace wdx {
namespace {

const std::string kHkcr = "HKCR\\";

std::string Key(const std::string& sPath) {
  return kHkcr + sPath;
}

// The component libraries that stand beside the program, registered with it: those the service
// loads, and those that scripts call (the uptime report, the life sign).
const char* const kComponentLibraries[] = {"Perfwatch.so", "Safehand.so", "ZuvRirer2Oduvo.so",
                                           "WdReport.so", "ZuvLifeSign.so"};
// Files the operator may edit, shipped beside the programs and put into the program folder
// when it has none.
const char* const kOperatorFiles[] = {"webreset", "Wardenix.ini"};
// Read-only files shipped beside the programs, which scripts and pages look for in the program
// folder: it gets a link to each.
const char* const kProgramFiles[] = {"UtRpt.sh", "grammer1.cfg", "Wardenix.htm"};

}  // namespace

std::string AppIdKey() {
  return Key(std::string("AppID\\") + WDX_APPID);
}
std::string ClassKey() {
  return Key(std::string("CLSID\\") + WDX_CLSID);
}
std::string LocalServerKey() {
  return ClassKey() + "\\LocalServer32";
}

int RegistryExitCode(int iErrno) {
  switch (iErrno) {
    case 0:
      return 0;
    case ENOENT:
      return 2;
    case EACCES:
    case EPERM:
      return 5;
    case EBADMSG:
      return 13;
    default:
      return 1;
  }
}

std::string RegistryProblemText(int iErrno) {
  const std::string sPath = GetRegistryStorePath();
  switch (iErrno) {
    case 0:
    case ENOENT:
      return "";
    case EBADMSG:
      return "The registry store " + sPath +
             " is damaged (it is not a registry store) and was left unchanged. Repair it, or move "
             "it away and register again with \"wdxsvc -Service\" (or \"-RegServer\").";
    case EACCES:
    case EPERM:
      return "The registry store " + sPath +
             " cannot be opened: permission denied. Run as its owner (root for the default "
             "place), or set WDX_REGISTRY to a store of your own.";
    default:
      return "The registry store " + sPath +
             " cannot be read or written: " + std::strerror(iErrno) + ".";
  }
}

bool CServiceRegistration::Set(const std::string& sKey, const std::string& sName,
                               const std::string& sValue) {
  return m_oStore.SetValue(sKey, sName, sValue);
}

int CServiceRegistration::Fail(const std::string& sWhat) {
  m_sLastError = sWhat;
  const std::string sProblem = RegistryProblemText(m_oStore.GetLastErrorCode());
  if (!sProblem.empty()) m_sLastError += "\n" + sProblem;
  const int iCode = RegistryExitCode(m_oStore.GetLastErrorCode());
  return iCode == 0 ? 1 : iCode;
}

bool CServiceRegistration::ApplyAppIdScript() {
  return Set(AppIdKey(), "", WDX_SERVICE_NAME) && Set(Key("AppID\\WDXSVC.EXE"), "AppID", WDX_APPID);
}

bool CServiceRegistration::RegisterClass(const std::string& sProgramPath) {
  const std::string sProgId = Key(WDX_PROGID);
  const std::string sIndependent = Key(WDX_PROGID_INDEPENDENT);
  const std::string sClass = ClassKey();
  const std::string sTypeLib = Key(std::string("TypeLib\\") + WDX_TYPELIB);
  const std::string sInterface = Key(std::string("Interface\\") + WDX_IID_IWDXSVR);
  const std::string sEvents = Key(std::string("Interface\\") + WDX_IID_EVENTS);
  // The class key and its "Programmable" subkey are replaced, not merged.
  m_oStore.DeleteKey(sClass);
  return Set(sProgId, "", WDX_CLASS_DESCRIPTION) && Set(sProgId + "\\CLSID", "", WDX_CLSID) &&
         Set(sIndependent, "", WDX_CLASS_DESCRIPTION) &&
         Set(sIndependent + "\\CLSID", "", WDX_CLSID) &&
         Set(sIndependent + "\\CurVer", "", WDX_PROGID) && Set(sClass, "", WDX_CLASS_DESCRIPTION) &&
         Set(sClass, "AppID", WDX_APPID) && Set(sClass + "\\ProgID", "", WDX_PROGID) &&
         Set(sClass + "\\VersionIndependentProgID", "", WDX_PROGID_INDEPENDENT) &&
         m_oStore.CreateKey(sClass + "\\Programmable") &&
         Set(sClass + "\\LocalServer32", "", sProgramPath) &&
         Set(sClass + "\\TypeLib", "", WDX_TYPELIB) &&
         Set(sTypeLib + "\\1.0", "", WDX_TYPELIB_HELP) && Set(sInterface, "", "IWDXSVR") &&
         Set(sInterface + "\\TypeLib", "", WDX_TYPELIB) && Set(sEvents, "", "_IWDXSVREvents") &&
         Set(sEvents + "\\TypeLib", "", WDX_TYPELIB);
}

int CServiceRegistration::Register(const std::string& sProgramPath, bool bAsService) {
  m_sLastError.clear();
  if (m_oServices.IsInstalled() && !m_oServices.Uninstall()) {
    m_sLastError = m_oServices.GetLastError();
    return 1;
  }
  if (!ApplyAppIdScript()) return Fail("Cannot write the application registration.");
  if (!m_oStore.KeyExists(AppIdKey())) {
    return Fail("Cannot open the application registration.");
  }
  if (!m_oStore.DeleteValue(AppIdKey(), "LocalService")) {
    return Fail("Cannot change the application registration.");
  }
  if (bAsService) {
    if (!Set(AppIdKey(), "LocalService", WDX_SERVICE_NAME) ||
        !Set(AppIdKey(), "ServiceParameters", "-Service")) {
      return Fail("Cannot write the service registration.");
    }
    if (!m_oServices.Install(sProgramPath)) {
      m_sLastError = "Couldn't create service: " + m_oServices.GetLastError();
      return 1;
    }
  }
  if (!RegisterClass(sProgramPath)) return Fail("Cannot register the command object's class.");
  RegisterComponents(FolderOf(sProgramPath), false);
  if (bAsService) {
    InstallOperatorFiles(FolderOf(sProgramPath), GetProgramFolder());
    LinkProgramFiles(FolderOf(sProgramPath), GetProgramFolder());
    InstallRebootFiles(GetProgramFolder());
  }
  return 0;
}

void CServiceRegistration::InstallOperatorFiles(const std::string& sFrom, const std::string& sTo) {
  if (sFrom == sTo) return;
  IFileSystem& oFiles = GetFileSystem();
  for (const char* szName : kOperatorFiles) {
    const std::string sSource = sFrom + szName;
    const std::string sTarget = sTo + szName;
    // The operator's own copy is never overwritten.
    if (oFiles.FileExists(sTarget) || !oFiles.FileExists(sSource)) continue;
    if (!oFiles.CopyFile(sSource, sTarget)) {
      m_sLastError = "Cannot copy " + sSource + " to " + sTarget;
      ZuvLogError(("CServiceRegistration: cannot copy " + sSource + " to " + sTarget).c_str());
    }
  }
}

void CServiceRegistration::LinkProgramFiles(const std::string& sFrom, const std::string& sTo) {
  if (sFrom == sTo) return;
  IFileSystem& oFiles = GetFileSystem();
  for (const char* szName : kProgramFiles) {
    const std::string sSource = sFrom + szName;
    const std::string sLink = sTo + szName;
    // A file of that name, or a link that leads to one, is kept; a broken link is replaced.
    if (oFiles.FileExists(sLink) || !oFiles.FileExists(sSource)) continue;
    std::string sOld;
    if ((oFiles.ReadSymlink(sLink, sOld) && !oFiles.DeleteFile(sLink)) ||
        !oFiles.MakeSymlink(sSource, sLink)) {
      m_sLastError = "Cannot link " + sLink + " to " + sSource;
      ZuvLogError(("CServiceRegistration: cannot link " + sLink + " to " + sSource).c_str());
    }
  }
}

void CServiceRegistration::UnlinkProgramFiles(const std::string& sFrom, const std::string& sTo) {
  IFileSystem& oFiles = GetFileSystem();
  for (const char* szName : kProgramFiles) {
    const std::string sLink = sTo + szName;
    std::string sTarget;
    // Only a link into the programs' folder is ours: the operator's own files stay.
    if (!oFiles.ReadSymlink(sLink, sTarget) || FolderOf(sTarget) != sFrom) continue;
    if (!oFiles.DeleteFile(sLink)) {
      ZuvLogError(("CServiceRegistration: cannot delete the link " + sLink).c_str());
    }
  }
}

void CServiceRegistration::InstallRebootFiles(const std::string& sFolder) {
  IFileSystem& oFiles = GetFileSystem();
  const std::string sShortcut = sFolder + WDX_DESKTOP_SHORTCUT;
  if (!oFiles.FileExists(sShortcut) &&
      !(oFiles.MakeFolders(FolderOf(sShortcut), 0755) &&
        oFiles.ReplaceFile(sShortcut,
                           "Wardenix console: started at logon, so that the service comes back "
                           "into GO mode after a reboot.\n",
                           0644))) {
    m_sLastError = "Cannot make " + sShortcut;
    ZuvLogError(("CServiceRegistration: cannot make " + sShortcut).c_str());
  }
  if (!m_oStore.KeyExists(WDX_UNINSTALL_KEY) && !m_oStore.CreateKey(WDX_UNINSTALL_KEY)) {
    ZuvLogError("CServiceRegistration: cannot create the uninstall key.");
  }
}

void CServiceRegistration::RegisterComponents(const std::string& sFolder, bool bUnregister) {
  for (const char* szLibrary : kComponentLibraries) {
    const std::string sPath = sFolder + szLibrary;
    if (!GetFileSystem().FileExists(sPath)) continue;
    if (!Succeeded(RegisterLibrary(sPath, bUnregister))) {
      m_sLastError = "Cannot " + std::string(bUnregister ? "unregister " : "register ") + sPath +
                     ": " + GetComponentError();
    }
  }
}

void CServiceRegistration::RemoveAppIdScript() {
  m_oStore.DeleteKey(AppIdKey());
  m_oStore.DeleteKey(Key("AppID\\WDXSVC.EXE"));
}

void CServiceRegistration::UnregisterClass() {
  m_oStore.DeleteKey(Key(WDX_PROGID));
  m_oStore.DeleteKey(Key(WDX_PROGID_INDEPENDENT));
  m_oStore.DeleteKey(ClassKey());
  m_oStore.DeleteKey(Key(std::string("TypeLib\\") + WDX_TYPELIB));
  m_oStore.DeleteKey(Key(std::string("Interface\\") + WDX_IID_IWDXSVR));
  m_oStore.DeleteKey(Key(std::string("Interface\\") + WDX_IID_EVENTS));
}

int CServiceRegistration::Unregister() {
  m_sLastError.clear();
  RemoveAppIdScript();
  if (m_oServices.IsInstalled() && !m_oServices.Uninstall()) {
    m_sLastError = "Service could not be deleted: " + m_oServices.GetLastError();
  }
  std::string sProgram;
  if (m_oStore.GetValue(LocalServerKey(), "", sProgram)) {
    RegisterComponents(FolderOf(sProgram), true);
    UnlinkProgramFiles(FolderOf(sProgram), GetProgramFolder());
  }
  UnregisterClass();
  m_oStore.DeleteKey(WDX_UNINSTALL_KEY);
  return 0;
}

}  // namespace wdx
