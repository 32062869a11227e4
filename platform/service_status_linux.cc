// Service status for systemd; outside systemd the notifications go nowhere.
//
// A notification is one datagram with "NAME=value" lines sent to the AF_UNIX socket named by
// NOTIFY_SOCKET (a path, or an abstract name written with a leading "@"): systemd's documented
// notification protocol, which is all that libsystemd's sd_notify does for us. Sending it here
// spares the service libsystemd and its libraries (about 1 MB of resident memory).
#include <stddef.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/service_manager.h"
#include "platform/unique_fd.h"

namespace wdx {
namespace {

void Notify(const char* szState) {
  const char* szSocket = std::getenv("NOTIFY_SOCKET");
  if (szSocket == nullptr || (szSocket[0] != '/' && szSocket[0] != '@')) return;
  sockaddr_un oAddress{};
  oAddress.sun_family = AF_UNIX;
  const size_t uLength = std::strlen(szSocket);
  if (uLength < 2 || uLength >= sizeof(oAddress.sun_path)) return;
  std::memcpy(oAddress.sun_path, szSocket, uLength);
  if (oAddress.sun_path[0] == '@') oAddress.sun_path[0] = '\0';
  CUniqueFd oSocket(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!oSocket.IsValid()) return;
  sendto(oSocket.Get(), szState, std::strlen(szState), MSG_NOSIGNAL,
         reinterpret_cast<const sockaddr*>(&oAddress),
         static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + uLength));
}

bool IsSet(const char* szName) {
  const char* szValue = std::getenv(szName);
  return szValue != nullptr && *szValue != '\0';
}

class CServiceStatus final : public IServiceStatus {
 public:
  void NotifyReady() override { Notify("READY=1"); }
  void NotifyStopping() override { Notify("STOPPING=1"); }
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
