// The registration tool's logic, separate from its main() so that it can be tested.
#include "platform/regsvr_tool.h"

#include <unistd.h>

#include <climits>
#include <ostream>

#include "platform/component.h"

namespace wdx {
namespace {

std::string ResolveAgainstCurrentFolder(const std::string& sLibrary) {
  if (sLibrary.empty() || sLibrary[0] == '/') return sLibrary;
  char aFolder[PATH_MAX];
  if (getcwd(aFolder, sizeof aFolder) == nullptr) return sLibrary;
  return std::string(aFolder) + "/" + sLibrary;
}

int ExitCodeFor(HRESULT hr) {
  if (Succeeded(hr)) return WDX_REGSVR_OK;
  if (hr == CO_E_DLLNOTFOUND) return WDX_REGSVR_LOAD_FAILED;
  if (hr == CO_E_ERRORINDLL) return WDX_REGSVR_NO_ENTRY_POINT;
  return WDX_REGSVR_ENTRY_FAILED;
}

bool IsSwitch(const std::string& sArg, char cLetter) {
  return sArg.size() == 2 && (sArg[0] == '/' || sArg[0] == '-') &&
         (sArg[1] == cLetter || sArg[1] == cLetter - 'a' + 'A');
}

}  // namespace

bool ParseRegsvrArguments(const std::vector<std::string>& oArgs, SRegsvrOptions& oOptions) {
  oOptions = SRegsvrOptions{};
  for (const std::string& sArg : oArgs) {
    if (IsSwitch(sArg, 's')) {
      oOptions.m_bSilent = true;
    } else if (IsSwitch(sArg, 'u')) {
      oOptions.m_bUnregister = true;
    } else if (sArg.empty() || sArg[0] == '-' || (sArg[0] == '/' && sArg.size() == 2) ||
               !oOptions.m_sLibrary.empty()) {
      // An unknown switch ("/x", "-x") or a second library; "/path" is a library.
      return false;
    } else {
      oOptions.m_sLibrary = sArg;
    }
  }
  return !oOptions.m_sLibrary.empty();
}

int RunRegsvrTool(const std::vector<std::string>& oArgs, std::ostream& oOut, std::ostream& oErr) {
  SRegsvrOptions oOptions;
  if (!ParseRegsvrArguments(oArgs, oOptions)) {
    oErr << "Usage: wdxregsvr [/s] [/u] LIBRARY\n";
    return WDX_REGSVR_BAD_ARGUMENTS;
  }
  const std::string sPath = ResolveAgainstCurrentFolder(oOptions.m_sLibrary);
  const HRESULT hr = RegisterLibrary(sPath, oOptions.m_bUnregister);
  const char* szWhat = oOptions.m_bUnregister ? "Unregistration" : "Registration";
  if (Succeeded(hr)) {
    if (!oOptions.m_bSilent) oOut << szWhat << " of " << sPath << " succeeded.\n";
    return WDX_REGSVR_OK;
  }
  if (!oOptions.m_bSilent) {
    oErr << szWhat << " of " << sPath << " failed: " << GetComponentError() << "\n";
  }
  return ExitCodeFor(hr);
}

}  // namespace wdx
