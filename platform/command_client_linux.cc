// The command client: one connection to the command endpoint, one request line out and one
// answer line back per call, with a poll-based time-out.
//
// Connect failures are expected whenever the service is not running, so they go to the
// developer output only; failures of a call on an open connection go to the process log.
#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "platform/command_endpoint.h"
#include "platform/debug_output.h"
#include "platform/platform_log.h"
#include "platform/unique_fd.h"

namespace wdx {
namespace {

// An answer longer than this is taken for a broken peer.
constexpr size_t MAX_ANSWER_LINE = 1024 * 1024;
constexpr size_t RECEIVE_CHUNK = 4096;

using CSteadyClock = std::chrono::steady_clock;

class CCommandClient final : public ICommandClient {
 public:
  CCommandClient() = default;
  CCommandClient(const CCommandClient&) = delete;
  CCommandClient& operator=(const CCommandClient&) = delete;

  bool Connect(const std::string& sPath) override;
  bool Call(const std::string& sRequest, std::string& sAnswer, int iTimeoutMs) override;
  void Disconnect() override {
    m_oFd.Reset();
    m_sInput.clear();
  }
  bool IsConnected() const override { return m_oFd.IsValid(); }
  int GetLastErrorCode() const override { return m_iLastError; }
  const std::string& GetLastError() const override { return m_sLastError; }

 private:
  bool Fail(int iError, const char* szWhat, bool bLog);
  bool SendLine(const std::string& sRequest, CSteadyClock::time_point oDeadline);
  bool ReceiveLine(std::string& sAnswer, CSteadyClock::time_point oDeadline);
  bool WaitFor(short iEvent, CSteadyClock::time_point oDeadline);

  CUniqueFd m_oFd;
  std::string m_sInput;  // received bytes not yet handed out
  int m_iLastError = 0;
  std::string m_sLastError;
  char m_acBuffer[RECEIVE_CHUNK];
};

bool CCommandClient::Fail(int iError, const char* szWhat, bool bLog) {
  m_iLastError = iError;
  m_sLastError = std::string(szWhat) + ": " + std::strerror(iError);
  if (bLog) {
    PlatformLogError(szWhat);
  } else {
    DebugOutput((m_sLastError + "\n").c_str());
  }
  return false;
}

bool CCommandClient::Connect(const std::string& sPath) {
  Disconnect();
  sockaddr_un oAddress;
  std::memset(&oAddress, 0, sizeof(oAddress));
  oAddress.sun_family = AF_UNIX;
  if (sPath.empty() || sPath.size() >= sizeof(oAddress.sun_path)) {
    return Fail(ENAMETOOLONG, "CCommandClient::Connect() bad socket path", false);
  }
  std::memcpy(oAddress.sun_path, sPath.c_str(), sPath.size() + 1);
  CUniqueFd oFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!oFd.IsValid()) return Fail(errno, "CCommandClient::Connect() cannot create a socket", false);
  // A Unix socket connects at once or not at all (EAGAIN: the server's backlog is full).
  if (connect(oFd.Get(), reinterpret_cast<const sockaddr*>(&oAddress), sizeof(oAddress)) != 0) {
    return Fail(errno, "CCommandClient::Connect() failed", false);
  }
  m_oFd = std::move(oFd);
  m_iLastError = 0;
  m_sLastError.clear();
  return true;
}

bool CCommandClient::Call(const std::string& sRequest, std::string& sAnswer, int iTimeoutMs) {
  sAnswer.clear();
  if (!IsConnected()) return Fail(ENOTCONN, "CCommandClient::Call() not connected", false);
  if (sRequest.find('\n') != std::string::npos) {
    return Fail(EINVAL, "CCommandClient::Call() the request holds a line end", true);
  }
  auto oDeadline = CSteadyClock::now() + std::chrono::milliseconds(iTimeoutMs < 0 ? 0 : iTimeoutMs);
  // After a failure the stream is out of step (a late answer would be taken for the next one).
  if (!SendLine(sRequest, oDeadline) || !ReceiveLine(sAnswer, oDeadline)) {
    Disconnect();
    return false;
  }
  return true;
}

bool CCommandClient::SendLine(const std::string& sRequest, CSteadyClock::time_point oDeadline) {
  char cLineEnd = '\n';
  iovec aParts[2] = {{const_cast<char*>(sRequest.data()), sRequest.size()}, {&cLineEnd, 1}};
  size_t iLeft = sRequest.size() + 1;
  msghdr oMessage{};
  oMessage.msg_iov = aParts;
  oMessage.msg_iovlen = 2;
  while (iLeft > 0) {
    ssize_t iSent = sendmsg(m_oFd.Get(), &oMessage, MSG_NOSIGNAL);
    if (iSent < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        return Fail(errno, "CCommandClient::Call() cannot send the request", true);
      }
      if (!WaitFor(POLLOUT, oDeadline)) return false;
      continue;
    }
    iLeft -= static_cast<size_t>(iSent);
    // Skip what went out.
    size_t iDone = static_cast<size_t>(iSent);
    while (oMessage.msg_iovlen > 0 && iDone >= oMessage.msg_iov[0].iov_len) {
      iDone -= oMessage.msg_iov[0].iov_len;
      ++oMessage.msg_iov;
      --oMessage.msg_iovlen;
    }
    if (oMessage.msg_iovlen > 0) {
      oMessage.msg_iov[0].iov_base = static_cast<char*>(oMessage.msg_iov[0].iov_base) + iDone;
      oMessage.msg_iov[0].iov_len -= iDone;
    }
  }
  return true;
}

bool CCommandClient::ReceiveLine(std::string& sAnswer, CSteadyClock::time_point oDeadline) {
  size_t iScanned = 0;
  for (;;) {
    size_t iEnd = m_sInput.find('\n', iScanned);
    if (iEnd != std::string::npos) {
      sAnswer.assign(m_sInput, 0, iEnd);
      m_sInput.erase(0, iEnd + 1);
      return true;
    }
    iScanned = m_sInput.size();
    if (m_sInput.size() > MAX_ANSWER_LINE) {
      return Fail(EMSGSIZE, "CCommandClient::Call() the answer line is too long", true);
    }
    if (!WaitFor(POLLIN, oDeadline)) return false;
    ssize_t iRead = recv(m_oFd.Get(), m_acBuffer, sizeof(m_acBuffer), 0);
    if (iRead > 0) {
      m_sInput.append(m_acBuffer, static_cast<size_t>(iRead));
    } else if (iRead == 0) {
      return Fail(EPIPE, "CCommandClient::Call() the server closed the connection", true);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      return Fail(errno, "CCommandClient::Call() cannot receive the answer", true);
    }
  }
}

bool CCommandClient::WaitFor(short iEvent, CSteadyClock::time_point oDeadline) {
  for (;;) {
    auto iLeftMs =
        std::chrono::ceil<std::chrono::milliseconds>(oDeadline - CSteadyClock::now()).count();
    if (iLeftMs < 0) iLeftMs = 0;
    pollfd oPoll = {m_oFd.Get(), iEvent, 0};
    int iReady = poll(&oPoll, 1, static_cast<int>(iLeftMs));
    if (iReady > 0) return true;  // readiness, hang-up or error: the next call tells which
    if (iReady == 0 && iLeftMs == 0) {
      return Fail(ETIMEDOUT, "CCommandClient::Call() timed out", true);
    }
    if (iReady < 0 && errno != EINTR) {
      return Fail(errno, "CCommandClient::Call() cannot wait for the server", true);
    }
  }
}

}  // namespace

std::unique_ptr<ICommandClient> CreateCommandClient() {
  return std::make_unique<CCommandClient>();
}

}  // namespace wdx
