#include "service/alerts/smtp_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "service/getter/sigpipe_block.h"
#include "service/getter/tls_client.h"

namespace wdx {
namespace {

constexpr int kSliceMs = 250;

bool IsIpv6(const std::string& sAddress) {
  return sAddress.find(':') != std::string::npos;
}

}  // namespace

bool CSmtpLink::Fail(const std::string& sText) {
  m_sError = sText;
  return false;
}

int CSmtpLink::Wait(short iEvents, int iTimeoutMs) {
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(iTimeoutMs);
  for (;;) {
    if (m_fnCancelled && m_fnCancelled()) {
      m_sError = "abandoned on stop";
      return 0;
    }
    const auto iLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
                           tEnd - std::chrono::steady_clock::now())
                           .count();
    if (iLeft <= 0) {
      m_sError = "no answer within " + std::to_string(iTimeoutMs / 1000) + " seconds";
      return 0;
    }
    pollfd oPoll{m_iFd, iEvents, 0};
    const int iReady = poll(&oPoll, 1, static_cast<int>(std::min<long long>(kSliceMs, iLeft)));
    if (iReady > 0) return 1;
    if (iReady < 0 && errno != EINTR) {
      m_sError = std::strerror(errno);
      return -1;
    }
  }
}

bool CSmtpLink::Connect(const std::string& sAddress, int iPort, int iTimeoutMs) {
  Close();
  sockaddr_storage oAddr{};
  socklen_t uLength = 0;
  if (IsIpv6(sAddress)) {
    auto* pV6 = reinterpret_cast<sockaddr_in6*>(&oAddr);
    pV6->sin6_family = AF_INET6;
    pV6->sin6_port = htons(static_cast<uint16_t>(iPort));
    if (inet_pton(AF_INET6, sAddress.c_str(), &pV6->sin6_addr) != 1) return Fail("bad address");
    uLength = sizeof(sockaddr_in6);
  } else {
    auto* pV4 = reinterpret_cast<sockaddr_in*>(&oAddr);
    pV4->sin_family = AF_INET;
    pV4->sin_port = htons(static_cast<uint16_t>(iPort));
    if (inet_pton(AF_INET, sAddress.c_str(), &pV4->sin_addr) != 1) return Fail("bad address");
    uLength = sizeof(sockaddr_in);
  }
  m_iFd = socket(oAddr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (m_iFd < 0) return Fail(std::strerror(errno));
  if (connect(m_iFd, reinterpret_cast<sockaddr*>(&oAddr), uLength) == 0) return true;
  if (errno != EINPROGRESS) {
    const std::string sError = std::strerror(errno);
    Close();
    return Fail(sError);
  }
  int iResult = 0;
  socklen_t uResult = sizeof(iResult);
  if (Wait(POLLOUT, iTimeoutMs) != 1 ||
      getsockopt(m_iFd, SOL_SOCKET, SO_ERROR, &iResult, &uResult) != 0 || iResult != 0) {
    const std::string sError = iResult != 0 ? std::strerror(iResult) : m_sError;
    Close();
    return Fail(sError);
  }
  return true;
}

bool CSmtpLink::StartTls(const std::string& sHost, const std::string& sCaFile, int iTimeoutMs) {
  if (m_iFd < 0) return Fail("not connected");
  m_pSsl = NewVerifiedTlsSession(m_iFd, sHost, sCaFile, m_pContext);
  if (m_pSsl == nullptr) return Fail("cannot set up TLS with the CA certificates");
  CSigPipeBlock oNoPipe;
  for (;;) {
    const int iResult = SSL_connect(m_pSsl);
    if (iResult == 1) return true;
    const int iError = SSL_get_error(m_pSsl, iResult);
    if (iError == SSL_ERROR_WANT_READ || iError == SSL_ERROR_WANT_WRITE) {
      if (Wait(iError == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, iTimeoutMs) != 1) return false;
      continue;
    }
    bool bCertificate = false;
    const std::string sWhy = TlsHandshakeFailure(m_pSsl, bCertificate);
    return Fail(bCertificate ? "certificate refused: " + sWhy : sWhy);
  }
}

bool CSmtpLink::SendAll(const std::string& sData, int iTimeoutMs) {
  if (m_iFd < 0) return Fail("not connected");
  CSigPipeBlock oNoPipe;
  size_t uSent = 0;
  while (uSent < sData.size()) {
    short iWant = POLLOUT;
    long iDone = 0;
    if (m_pSsl != nullptr) {
      iDone = SSL_write(m_pSsl, sData.data() + uSent, static_cast<int>(sData.size() - uSent));
      const int iError =
          iDone > 0 ? SSL_ERROR_NONE : SSL_get_error(m_pSsl, static_cast<int>(iDone));
      if (iError == SSL_ERROR_WANT_READ) iWant = POLLIN;
      if (iError != SSL_ERROR_NONE && iError != SSL_ERROR_WANT_READ &&
          iError != SSL_ERROR_WANT_WRITE)
        return Fail("TLS send failed");
    } else {
      iDone = send(m_iFd, sData.data() + uSent, sData.size() - uSent, MSG_NOSIGNAL);
      if (iDone < 0 && errno != EAGAIN && errno != EINTR) return Fail(std::strerror(errno));
    }
    if (iDone > 0) {
      uSent += static_cast<size_t>(iDone);
    } else if (Wait(iWant, iTimeoutMs) != 1) {
      return false;
    }
  }
  return true;
}

long CSmtpLink::Receive(char* pBuffer, unsigned long uSize, int iTimeoutMs) {
  if (m_iFd < 0) {
    Fail("not connected");
    return -1;
  }
  CSigPipeBlock oNoPipe;
  for (;;) {
    short iWant = POLLIN;
    if (m_pSsl != nullptr) {
      const int iRead = SSL_read(m_pSsl, pBuffer, static_cast<int>(uSize));
      if (iRead > 0) return iRead;
      const int iError = SSL_get_error(m_pSsl, iRead);
      if (iError == SSL_ERROR_ZERO_RETURN) return 0;
      if (iError == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) return 0;
      if (iError == SSL_ERROR_WANT_WRITE) iWant = POLLOUT;
      if (iError != SSL_ERROR_WANT_READ && iError != SSL_ERROR_WANT_WRITE) {
        Fail("TLS receive failed");
        return -1;
      }
    } else {
      const long iRead = recv(m_iFd, pBuffer, uSize, 0);
      if (iRead >= 0) return iRead;
      if (errno != EAGAIN && errno != EINTR) {
        Fail(std::strerror(errno));
        return -1;
      }
    }
    if (Wait(iWant, iTimeoutMs) != 1) return -1;
  }
}

bool CSmtpLink::IsUsable() const {
  int iAtMark = 0;
  return m_iFd >= 0 && ioctl(m_iFd, SIOCATMARK, &iAtMark) == 0;
}

void CSmtpLink::Close() {
  if (m_pSsl != nullptr) SSL_free(m_pSsl);
  if (m_pContext != nullptr) SSL_CTX_free(m_pContext);
  if (m_iFd >= 0) close(m_iFd);
  m_pSsl = nullptr;
  m_pContext = nullptr;
  m_iFd = -1;
}

}  // namespace wdx
