// The command server on a Unix domain stream socket: one thread polls the listener, a wake-up
// eventfd and every client; reads and writes never block.
#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/command_endpoint.h"
#include "platform/platform_log.h"
#include "platform/unique_fd.h"

namespace wdx {
namespace {

// Answers a client has not read yet; beyond this the client is dropped.
constexpr size_t MAX_PENDING_OUTPUT = 64 * 1024;
constexpr size_t READ_CHUNK = 16 * 1024;

// One connection and its buffers. Used by the server thread only.
struct SClient {
  CUniqueFd m_oFd;
  std::string m_sInput;   // bytes of the line not yet complete
  std::string m_sOutput;  // answers not yet fully written
  size_t m_iOutputSent = 0;
  bool m_bClosing = false;    // read no more; close once the output is written
  bool m_bDead = false;       // to be removed after this poll round
  int64_t m_iLastLineMs = 0;  // when it connected or last sent a complete line

  size_t Pending() const { return m_sOutput.size() - m_iOutputSent; }
};

std::string ErrnoText(const char* szWhat, int iError) {
  return std::string(szWhat) + ": " + std::strerror(iError);
}

bool FillAddress(const std::string& sPath, sockaddr_un& oAddress) {
  std::memset(&oAddress, 0, sizeof(oAddress));
  oAddress.sun_family = AF_UNIX;
  if (sPath.empty() || sPath.size() >= sizeof(oAddress.sun_path)) return false;
  std::memcpy(oAddress.sun_path, sPath.c_str(), sPath.size() + 1);
  return true;
}

// True when a server accepts connections on sPath now.
bool SomeoneListens(const sockaddr_un& oAddress) {
  CUniqueFd oProbe(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!oProbe.IsValid()) return false;
  int iResult =
      connect(oProbe.Get(), reinterpret_cast<const sockaddr*>(&oAddress), sizeof(oAddress));
  // A full backlog (EAGAIN) still means a live listener.
  return iResult == 0 || errno == EAGAIN || errno == EINPROGRESS;
}

class CCommandServer final : public ICommandServer {
 public:
  CCommandServer() = default;
  ~CCommandServer() override { Stop(); }
  CCommandServer(const CCommandServer&) = delete;
  CCommandServer& operator=(const CCommandServer&) = delete;

  bool Start(const std::string& sPath, ICommandHandler* pHandler) override;
  void Stop() override;
  int GetClientCount() const override { return m_iClientCount.load(); }
  int64_t GetIdleSinceMs() const override { return m_iIdleSinceMs.load(); }
  const std::string& GetLastError() const override { return m_sLastError; }

 private:
  bool Fail(const char* szLogText, const std::string& sReason);
  bool PrepareSocketPath(const sockaddr_un& oAddress);
  bool BindAndListen(const sockaddr_un& oAddress);
  void RunThread();
  void BuildPollSet();
  void AcceptAll();
  void ServiceClient(SClient& oClient, short iEvents);
  void ReadFrom(SClient& oClient);
  void ConsumeBytes(SClient& oClient, const char* pData, size_t iLength);
  void QueueAnswer(SClient& oClient);
  void QueueOverflow(SClient& oClient);
  void Flush(SClient& oClient);
  void Drop(SClient& oClient);
  // Drops the clients that sent no complete line for IDLE_CLIENT_MS; false when none did.
  bool DropIdleClients();
  void RemoveDeadClients();

  ICommandHandler* m_pHandler = nullptr;
  std::string m_sPath;
  std::string m_sLastError;
  dev_t m_iSocketDevice = 0;
  ino_t m_iSocketInode = 0;
  CUniqueFd m_oListener;
  CUniqueFd m_oWake;
  std::thread m_oThread;
  std::vector<std::unique_ptr<SClient>> m_oClients;
  std::vector<pollfd> m_oPollFds;
  std::unique_ptr<char[]> m_pReadBuffer;
  std::atomic<int> m_iClientCount{0};
  std::atomic<int64_t> m_iIdleSinceMs{0};
};

bool CCommandServer::Fail(const char* szLogText, const std::string& sReason) {
  m_sLastError = sReason;
  PlatformLogError(szLogText);
  return false;
}

bool CCommandServer::PrepareSocketPath(const sockaddr_un& oAddress) {
  struct stat oStat;
  if (lstat(m_sPath.c_str(), &oStat) != 0) {
    if (errno == ENOENT) return true;
    return Fail("CCommandServer::Start() cannot inspect the socket path.",
                ErrnoText("lstat", errno));
  }
  if (!S_ISSOCK(oStat.st_mode)) {
    return Fail("CCommandServer::Start() failed: the socket path holds another file.",
                "not a socket: " + m_sPath);
  }
  if (SomeoneListens(oAddress)) {
    return Fail("CCommandServer::Start() failed: another server answers on the socket.",
                "another server answers on " + m_sPath);
  }
  if (unlink(m_sPath.c_str()) != 0 && errno != ENOENT) {
    return Fail("CCommandServer::Start() cannot remove the stale socket file.",
                ErrnoText("unlink", errno));
  }
  PlatformLogMessage("CCommandServer::Start() replaced a stale socket file.");
  return true;
}

bool CCommandServer::BindAndListen(const sockaddr_un& oAddress) {
  m_oListener.Reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!m_oListener.IsValid()) {
    return Fail("CCommandServer::Start() cannot create the socket.", ErrnoText("socket", errno));
  }
  if (bind(m_oListener.Get(), reinterpret_cast<const sockaddr*>(&oAddress), sizeof(oAddress)) !=
      0) {
    return Fail("CCommandServer::Start() cannot bind the socket.", ErrnoText("bind", errno));
  }
  // Nobody can connect before listen(), so the mode is right before the first client.
  struct stat oStat;
  if (chmod(m_sPath.c_str(), 0600) != 0 || stat(m_sPath.c_str(), &oStat) != 0) {
    int iError = errno;
    unlink(m_sPath.c_str());
    return Fail("CCommandServer::Start() cannot set the socket file mode.",
                ErrnoText("chmod", iError));
  }
  m_iSocketDevice = oStat.st_dev;
  m_iSocketInode = oStat.st_ino;
  if (listen(m_oListener.Get(), SOMAXCONN) != 0) {
    int iError = errno;
    unlink(m_sPath.c_str());
    return Fail("CCommandServer::Start() cannot listen on the socket.",
                ErrnoText("listen", iError));
  }
  return true;
}

bool CCommandServer::Start(const std::string& sPath, ICommandHandler* pHandler) {
  if (m_oThread.joinable()) {
    return Fail("CCommandServer::Start() failed: the server runs already.", "already running");
  }
  if (pHandler == nullptr) {
    return Fail("CCommandServer::Start() failed: no handler.", "no handler");
  }
  sockaddr_un oAddress;
  if (!FillAddress(sPath, oAddress)) {
    return Fail("CCommandServer::Start() failed: the socket path is empty or too long.",
                "bad socket path: " + sPath);
  }
  m_sPath = sPath;
  m_pHandler = pHandler;
  if (!PrepareSocketPath(oAddress) || !BindAndListen(oAddress)) {
    m_oListener.Reset();
    return false;
  }
  m_oWake.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!m_oWake.IsValid()) {
    int iError = errno;
    m_oListener.Reset();
    unlink(m_sPath.c_str());
    return Fail("CCommandServer::Start() cannot create the wake-up event.",
                ErrnoText("eventfd", iError));
  }
  m_pReadBuffer = std::make_unique<char[]>(READ_CHUNK);
  m_oPollFds.reserve(MAX_CLIENTS + 2);
  m_oClients.reserve(MAX_CLIENTS);
  m_iClientCount = 0;
  m_iIdleSinceMs = GetClock().GetMonotonicMs();
  m_sLastError.clear();
  m_oThread = std::thread([this] { RunThread(); });
  return true;
}

void CCommandServer::Stop() {
  if (!m_oThread.joinable()) return;
  uint64_t iOne = 1;
  if (write(m_oWake.Get(), &iOne, sizeof(iOne)) < 0) {
    PlatformLogError("CCommandServer::Stop() cannot wake the server thread.");
  }
  m_oThread.join();
  m_oListener.Reset();
  m_oWake.Reset();
  // Remove the socket file only while it is still ours (a successor may have replaced it).
  struct stat oStat;
  if (lstat(m_sPath.c_str(), &oStat) == 0 && oStat.st_dev == m_iSocketDevice &&
      oStat.st_ino == m_iSocketInode) {
    unlink(m_sPath.c_str());
  }
}

void CCommandServer::RunThread() {
  for (;;) {
    BuildPollSet();
    int iReady = poll(m_oPollFds.data(), m_oPollFds.size(), -1);
    if (iReady < 0) {
      if (errno == EINTR) continue;
      PlatformLogError("CCommandServer::RunThread() poll failed; the server stops.");
      break;
    }
    if (m_oPollFds[0].revents != 0) break;
    // Clients accepted below are appended and not in this round's poll set.
    size_t iPolled = m_oPollFds.size() - 2;
    if (m_oPollFds[1].revents != 0) AcceptAll();
    for (size_t i = 0; i < iPolled; ++i) {
      short iEvents = m_oPollFds[i + 2].revents;
      if (iEvents != 0 && !m_oClients[i]->m_bDead) ServiceClient(*m_oClients[i], iEvents);
    }
    RemoveDeadClients();
  }
  for (auto& pClient : m_oClients) Drop(*pClient);
  RemoveDeadClients();
}

void CCommandServer::BuildPollSet() {
  m_oPollFds.clear();
  m_oPollFds.push_back({m_oWake.Get(), POLLIN, 0});
  m_oPollFds.push_back({m_oListener.Get(), POLLIN, 0});
  for (const auto& pClient : m_oClients) {
    short iWanted = pClient->m_bClosing ? 0 : POLLIN;
    if (pClient->Pending() > 0) iWanted |= POLLOUT;
    m_oPollFds.push_back({pClient->m_oFd.Get(), iWanted, 0});
  }
}

void CCommandServer::AcceptAll() {
  for (;;) {
    CUniqueFd oFd(accept4(m_oListener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!oFd.IsValid()) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        PlatformLogError("CCommandServer::AcceptAll() accept failed.");
      }
      return;
    }
    // Slots run short: idle clients make room, else the newcomer is closed at once.
    if (m_iClientCount >= MAX_CLIENTS && !DropIdleClients()) continue;
    auto pClient = std::make_unique<SClient>();
    pClient->m_oFd = std::move(oFd);
    pClient->m_iLastLineMs = GetClock().GetMonotonicMs();
    m_oClients.push_back(std::move(pClient));
    ++m_iClientCount;
  }
}

void CCommandServer::ServiceClient(SClient& oClient, short iEvents) {
  if (iEvents & (POLLERR | POLLNVAL)) {
    Drop(oClient);
    return;
  }
  if (iEvents & POLLOUT) Flush(oClient);
  if (oClient.m_bDead) return;
  if (iEvents & (POLLIN | POLLHUP)) {
    if (oClient.m_bClosing) {
      Drop(oClient);  // hung up while we were still writing to it
      return;
    }
    ReadFrom(oClient);
  }
}

void CCommandServer::ReadFrom(SClient& oClient) {
  ssize_t iRead = read(oClient.m_oFd.Get(), m_pReadBuffer.get(), READ_CHUNK);
  if (iRead < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) Drop(oClient);
    return;
  }
  if (iRead == 0) {
    // End of input: half a line is dropped silently; complete answers still go out.
    if (!oClient.m_sInput.empty() || oClient.Pending() == 0) {
      Drop(oClient);
    } else {
      oClient.m_bClosing = true;
    }
    return;
  }
  ConsumeBytes(oClient, m_pReadBuffer.get(), static_cast<size_t>(iRead));
  if (!oClient.m_bDead) Flush(oClient);
}

void CCommandServer::ConsumeBytes(SClient& oClient, const char* pData, size_t iLength) {
  // A line may carry a "\r" before its "\n", hence the one byte of slack while it grows.
  const size_t iMaxStored = static_cast<size_t>(MAX_REQUEST_LINE) + 1;
  size_t iPos = 0;
  while (iPos < iLength && !oClient.m_bClosing && !oClient.m_bDead) {
    const char* pStart = pData + iPos;
    const char* pEnd = static_cast<const char*>(std::memchr(pStart, '\n', iLength - iPos));
    size_t iTake = pEnd ? static_cast<size_t>(pEnd - pStart) : iLength - iPos;
    if (oClient.m_sInput.size() + iTake > iMaxStored) {
      QueueOverflow(oClient);
      return;
    }
    oClient.m_sInput.append(pStart, iTake);
    if (pEnd == nullptr) return;
    iPos += iTake + 1;
    if (!oClient.m_sInput.empty() && oClient.m_sInput.back() == '\r') oClient.m_sInput.pop_back();
    if (oClient.m_sInput.size() > static_cast<size_t>(MAX_REQUEST_LINE)) {
      QueueOverflow(oClient);
      return;
    }
    oClient.m_iLastLineMs = GetClock().GetMonotonicMs();
    QueueAnswer(oClient);
  }
}

// Queues the handler's answer to the complete line in the client's input.
void CCommandServer::QueueAnswer(SClient& oClient) {
  try {
    oClient.m_sOutput += m_pHandler->HandleLine(oClient.m_sInput);
    oClient.m_sOutput += '\n';
  } catch (...) {
    PlatformLogError("CCommandServer: the command handler failed; the connection is closed.");
    Drop(oClient);
    return;
  }
  oClient.m_sInput.clear();
  if (oClient.Pending() > MAX_PENDING_OUTPUT) {
    PlatformLogError(
        "CCommandServer: a client does not read its answers; the connection is closed.");
    Drop(oClient);
  }
}

// A line grew beyond the limit: the overflow answer goes out, then the connection closes.
void CCommandServer::QueueOverflow(SClient& oClient) {
  PlatformLogError("CCommandServer: a request line was too long; the connection is closed.");
  oClient.m_bClosing = true;
  oClient.m_sInput.clear();
  try {
    oClient.m_sOutput += m_pHandler->OverflowAnswer();
    oClient.m_sOutput += '\n';
  } catch (...) {
    Drop(oClient);
  }
}

void CCommandServer::Flush(SClient& oClient) {
  while (oClient.Pending() > 0) {
    ssize_t iSent = send(oClient.m_oFd.Get(), oClient.m_sOutput.data() + oClient.m_iOutputSent,
                         oClient.Pending(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (iSent < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) Drop(oClient);
      break;
    }
    oClient.m_iOutputSent += static_cast<size_t>(iSent);
  }
  if (oClient.m_bDead) return;
  if (oClient.Pending() == 0) {
    oClient.m_sOutput.clear();
    oClient.m_iOutputSent = 0;
    if (oClient.m_bClosing) Drop(oClient);
  } else if (oClient.m_iOutputSent > oClient.m_sOutput.size() / 2) {
    oClient.m_sOutput.erase(0, oClient.m_iOutputSent);
    oClient.m_iOutputSent = 0;
  }
}

void CCommandServer::Drop(SClient& oClient) {
  if (oClient.m_bDead) return;
  oClient.m_bDead = true;
  oClient.m_oFd.Reset();
  if (--m_iClientCount == 0) m_iIdleSinceMs = GetClock().GetMonotonicMs();
}

bool CCommandServer::DropIdleClients() {
  const int64_t iNowMs = GetClock().GetMonotonicMs();
  bool bDropped = false;
  for (auto& pClient : m_oClients) {
    if (pClient->m_bDead || iNowMs - pClient->m_iLastLineMs < IDLE_CLIENT_MS) continue;
    Drop(*pClient);
    bDropped = true;
  }
  if (bDropped) {
    PlatformLogError("CCommandServer: all connections were taken; idle ones were closed.");
  }
  return bDropped;
}

void CCommandServer::RemoveDeadClients() {
  std::erase_if(m_oClients, [](const std::unique_ptr<SClient>& p) { return p->m_bDead; });
}

}  // namespace

std::unique_ptr<ICommandServer> CreateCommandServer() {
  return std::make_unique<CCommandServer>();
}

}  // namespace wdx
