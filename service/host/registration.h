// CServiceRegistration: writes and removes the registration of the service program in the
// registry store (its application identity, class, ProgIDs, type library, and, when it is to
// run as a service, "LocalService"/"ServiceParameters"), and installs or uninstalls the service
// with the service manager.
//
// Registration also registers the component libraries that stand beside the program
// (Perfwatch.so, Safehand.so, ZuvRirer2Oduvo.so, WdReport.so, ZuvLifeSign.so; a missing one is
// skipped), so that the service and scripts can create them from its first start;
// installing it as a service also puts the web server reset script `webreset` into the program
// folder when that folder has none, and so the default restart program Wardenix.ini. The
// read-only files that stand beside the programs (UtRpt.sh, grammer1.cfg, Wardenix.htm) are
// linked into the program folder where it has no such file; unregistering removes those links.
//
// Results are exit codes: 0 on success, otherwise the registry error (2 no such key, 5 access
// denied, 13 damaged store, 1 any other failure).
//
// Threading: one thread.
#pragma once

#include <string>

namespace wdx {

class IRegistryStore;
class IServiceManager;

// Key paths of the registration, as the store keeps them.
std::string AppIdKey();        // HKCR\AppID\{450EF602-...}
std::string ClassKey();        // HKCR\CLSID\{97252B8C-...}
std::string LocalServerKey();  // HKCR\CLSID\{97252B8C-...}\LocalServer32

class CServiceRegistration final {
 public:
  CServiceRegistration(IRegistryStore& oStore, IServiceManager& oServices)
      : m_oStore(oStore), m_oServices(oServices) {}
  CServiceRegistration(const CServiceRegistration&) = delete;
  CServiceRegistration& operator=(const CServiceRegistration&) = delete;

  // sProgramPath: full path of the service program.
  int Register(const std::string& sProgramPath, bool bAsService);
  int Unregister();
  // Text of the last failure, for the operator.
  const std::string& GetLastError() const { return m_sLastError; }

 private:
  bool ApplyAppIdScript();
  bool RegisterClass(const std::string& sProgramPath);
  void RemoveAppIdScript();
  void UnregisterClass();
  // Registers (or unregisters) the component libraries found in sFolder.
  void RegisterComponents(const std::string& sFolder, bool bUnregister);
  // Copies the operator's files (the web server reset) from sFrom into the program folder sTo
  // where it has none; an existing file is left as it is.
  void InstallOperatorFiles(const std::string& sFrom, const std::string& sTo);
  // Links the read-only program files of sFrom into the program folder sTo where it has none
  // (a broken link counts as none); UnlinkProgramFiles removes those links that lead into sFrom.
  void LinkProgramFiles(const std::string& sFrom, const std::string& sTo);
  void UnlinkProgramFiles(const std::string& sFrom, const std::string& sTo);
  // Makes what a reboot needs in the program folder sFolder: the desktop shortcut file (when
  // missing) that the Startup copy is made from, and the uninstall key for the icon value.
  void InstallRebootFiles(const std::string& sFolder);
  bool Set(const std::string& sKey, const std::string& sName, const std::string& sValue);
  int Fail(const std::string& sWhat);

  IRegistryStore& m_oStore;
  IServiceManager& m_oServices;
  std::string m_sLastError;
};

// Maps a registry store error (errno) to the exit code above.
int RegistryExitCode(int iErrno);
// For the operator: what is wrong with the registry store file, which file, and what to do;
// "" for no error or a missing key (ENOENT).
std::string RegistryProblemText(int iErrno);

}  // namespace wdx
