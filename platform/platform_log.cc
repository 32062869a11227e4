#include "platform/platform_log.h"

#include <atomic>

namespace wdx {
namespace {

std::atomic<PlatformLogSink> g_pSink{nullptr};

void Write(EPlatformLogKind eKind, const char* szText) {
  if (PlatformLogSink pSink = g_pSink.load(std::memory_order_acquire)) pSink(eKind, szText);
}

}  // namespace

void SetPlatformLogSink(PlatformLogSink pSink) {
  g_pSink.store(pSink, std::memory_order_release);
}

void PlatformLogError(const char* szText) {
  Write(EPlatformLogKind::ERROR, szText);
}

void PlatformLogMessage(const char* szText) {
  Write(EPlatformLogKind::MESSAGE, szText);
}

}  // namespace wdx
