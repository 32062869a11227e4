// Developer diagnostics on standard error, enabled by WDX_DEBUG=1 (read once per process).
#include <errno.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/debug_output.h"

namespace wdx {

bool IsDebugOutputEnabled() {
  static const bool bEnabled = [] {
    const char* szValue = std::getenv("WDX_DEBUG");
    return szValue != nullptr && std::strcmp(szValue, "1") == 0;
  }();
  return bEnabled;
}

void DebugOutput(const char* szText) {
  if (szText == nullptr || !IsDebugOutputEnabled()) return;
  // One write per text so that texts of several threads or processes never interleave.
  std::string sLine(szText);
  if (sLine.empty() || sLine.back() != '\n') sLine += '\n';
  const char* pData = sLine.data();
  size_t iLeft = sLine.size();
  while (iLeft > 0) {
    ssize_t iWritten = write(STDERR_FILENO, pData, iLeft);
    if (iWritten < 0 && errno == EINTR) continue;
    if (iWritten <= 0) return;
    pData += iWritten;
    iLeft -= static_cast<size_t>(iWritten);
  }
}

}  // namespace wdx
