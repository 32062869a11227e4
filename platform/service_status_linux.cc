// Service status for systemd (sd_notify); outside systemd the notifications go nowhere.
#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/service_manager.h"

namespace wdx {
namespace {

bool IsSet(const char* szName) {
  const char* szValue = std::getenv(szName);
  return szValue != nullptr && *szValue != '\0';
}

class CServiceStatus final : public IServiceStatus {
 public:
  // sd_notify does nothing (and returns 0) without NOTIFY_SOCKET.
  void NotifyReady() override { sd_notify(0, "READY=1"); }
  void NotifyStopping() override { sd_notify(0, "STOPPING=1"); }
  bool StartedByManager() override {
    const char* szSupervised = std::getenv("WDX_SUPERVISED");
    if (szSupervised != nullptr && std::strcmp(szSupervised, "1") == 0) return true;
    return IsSet("NOTIFY_SOCKET") || IsSet("INVOCATION_ID");
  }
};

}  // namespace

std::unique_ptr<IServiceStatus> CreateServiceStatus() {
  return std::make_unique<CServiceStatus>();
}

}  // namespace wdx
