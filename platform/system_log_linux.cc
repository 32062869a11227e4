// The service's system log: syslog with the ident WDXSVC (the journal picks it up under
// systemd); standard output for a process that is not a service.
#include <syslog.h>

#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/system_log.h"

namespace wdx {
namespace {

std::atomic<bool> g_bAsService{false};
std::once_flag g_oOpenOnce;

}  // namespace

void SystemLogSetService(bool bAsService) {
  if (bAsService) {
    std::call_once(g_oOpenOnce, [] { openlog("WDXSVC", LOG_PID, LOG_DAEMON); });
  }
  g_bAsService.store(bAsService, std::memory_order_release);
}

void SystemLogWrite(const char* szText) {
  if (szText == nullptr) return;
  if (g_bAsService.load(std::memory_order_acquire)) {
    syslog(LOG_INFO, "%s", szText);
    return;
  }
  // stdio locks the stream per call, so the text and its newline stay together.
  std::fprintf(stdout, "%s\n", szText);
  std::fflush(stdout);
}

}  // namespace wdx
