#include "platform/privileges.h"

#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <sstream>

namespace wdx {

EPrivilegeState PrivilegeFromStatusText(const std::string& sStatus, int iCapability, bool bRoot) {
  if (bRoot) return EPrivilegeState::HELD;
  if (iCapability < 0 || iCapability > 63) return EPrivilegeState::UNKNOWN;
  std::istringstream oLines(sStatus);
  std::string sLine;
  while (std::getline(oLines, sLine)) {
    if (sLine.rfind("CapEff:", 0) != 0) continue;
    size_t uAt = 7;
    while (uAt < sLine.size() && std::isblank(static_cast<unsigned char>(sLine[uAt]))) ++uAt;
    const size_t uStart = uAt;
    uint64_t uMask = 0;
    for (; uAt < sLine.size() && std::isxdigit(static_cast<unsigned char>(sLine[uAt])); ++uAt) {
      if (uAt - uStart >= 16) return EPrivilegeState::UNKNOWN;
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(sLine[uAt])));
      uMask = uMask << 4 | static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    if (uAt == uStart || uAt != sLine.size()) return EPrivilegeState::UNKNOWN;
    return (uMask >> iCapability & 1) != 0 ? EPrivilegeState::HELD : EPrivilegeState::NOT_HELD;
  }
  return EPrivilegeState::UNKNOWN;
}

EPrivilegeState GetOwnPrivilege(int iCapability) {
  std::ifstream oFile("/proc/self/status");
  std::stringstream oText;
  if (oFile) oText << oFile.rdbuf();
  return PrivilegeFromStatusText(oText.str(), iCapability, geteuid() == 0);
}

}  // namespace wdx
