#include "service/getter/http_exchange.h"
#include "service/getter/http_proxy.h"
#include "service/getter/sigpipe_block.h"
#include "service/getter/tls_client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace wdx {
namespace {

using CClock = std::chrono::steady_clock;

const char* ErrorText(int iError) {
  switch (iError) {
    case 5:
      return "Couldn't resolve proxy name";
    case 6:
      return "Couldn't resolve host name";
    case 7:
      return "Couldn't connect to server";
    case 8:
      return "Weird server reply";
    case 23:
      return "Failed writing received data to disk/application";
    case 28:
      return "Timeout was reached";
    case 35:
      return "SSL connect error";
    case 52:
      return "Server returned nothing (no headers, no data)";
    case 55:
      return "Failed sending data to the peer";
    case 56:
      return "Failure when receiving data from the peer";
    case 60:
      return "SSL peer certificate or SSH remote key was not OK";
    default:
      return "Unknown error";
  }
}

bool IsAddress(const std::string& sHost) {
  unsigned char aBuffer[sizeof(in6_addr)];
  return inet_pton(AF_INET, sHost.c_str(), aBuffer) == 1 ||
         inet_pton(AF_INET6, sHost.c_str(), aBuffer) == 1;
}

// One name lookup in the background (getaddrinfo_a), so that waiting for it can be cut short.
// A lookup that cannot be cancelled any more is left to finish on its own and its memory is
// given up, since the resolver still writes into it.
struct SLookup {
  gaicb m_oRequest{};
  addrinfo m_oHints{};
  std::string m_sHost;
  std::string m_sPort;
};

enum class EWait { kReady, kTimeout, kCancelled, kError };

class CExchange final {
 public:
  CExchange(const SHttpLimits& oLimits, SHttpOutcome& oOutcome)
      : m_oLimits(oLimits), m_oOut(oOutcome), m_tStart(CClock::now()) {
    m_tEnd = m_tStart + std::chrono::milliseconds(std::max(1, oLimits.m_iTotalMs));
  }
  ~CExchange() {
    if (m_pSsl != nullptr) SSL_free(m_pSsl);
    if (m_pContext != nullptr) SSL_CTX_free(m_pContext);
    if (m_iFd >= 0) close(m_iFd);
  }
  CExchange(const CExchange&) = delete;
  CExchange& operator=(const CExchange&) = delete;

  bool Run(const SHttpUrl& oUrl, const std::vector<std::string>& oHeaderLines) {
    SHttpUrl oProxy;
    bool bBadProxy = false;
    const bool bProxy = m_oLimits.m_bUseProxy && FindEnvironmentProxy(oUrl, oProxy, bBadProxy);
    if (bBadProxy) return Fail(5, "the proxy of the environment is not an http:// proxy");
    const SHttpUrl& oPeer = bProxy ? oProxy : oUrl;
    if (!Connect(oPeer, bProxy)) return false;
    if (bProxy && oUrl.m_bTls && !Tunnel(oUrl)) return false;
    if (oUrl.m_bTls && !StartTls(oUrl)) return false;
    if (m_oLimits.m_fnConnected) m_oLimits.m_fnConnected();
    std::string sRequest = "GET " + (bProxy && !oUrl.m_bTls ? oUrl.Whole() : oUrl.m_sTarget) +
                           " HTTP/1.1\r\nHost: " + oUrl.Authority() + "\r\n";
    for (const std::string& sLine : oHeaderLines) sRequest += sLine + "\r\n";
    sRequest += "Connection: close\r\n\r\n";
    return SendAll(sRequest) && ReadHeaders(m_oOut.m_sHeaders, m_oOut.m_iStatus);
  }

 private:
  bool Fail(int iError, const std::string& sDetail) {
    m_oOut.m_iError = iError;
    m_oOut.m_sError = ErrorText(iError);
    m_oOut.m_sDetail = sDetail;
    return false;
  }
  bool FailWait(EWait eWait, CClock::time_point tDeadline, const char* szWhat,
                bool bNoDataLimit = false) {
    if (eWait == EWait::kCancelled) {
      m_oOut.m_bCancelled = true;
      return Fail(42, "abandoned");
    }
    const auto iMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(CClock::now() - m_tStart).count();
    if (eWait == EWait::kTimeout && (tDeadline >= m_tEnd || !bNoDataLimit)) {
      return Fail(
          28, std::string(szWhat) + " timed out after " + std::to_string(iMs) + " milliseconds");
    }
    if (eWait == EWait::kTimeout) {
      return Fail(28, std::string(szWhat) + ": nothing received for " +
                          std::to_string(m_oLimits.m_iNoDataSeconds) + " seconds");
    }
    return Fail(56, std::string(szWhat) + ": " + std::strerror(errno));
  }

  // Whether the caller wants the request abandoned or tDeadline has come.
  EWait Check(CClock::time_point tDeadline, int& iSliceMs) const {
    if (m_oLimits.m_fnCancelled && m_oLimits.m_fnCancelled()) return EWait::kCancelled;
    const auto tNow = CClock::now();
    if (tNow >= tDeadline) return EWait::kTimeout;
    const auto iLeftMs = std::chrono::ceil<std::chrono::milliseconds>(tDeadline - tNow).count();
    iSliceMs = static_cast<int>(std::min<long long>(WDX_HTTP_WAIT_SLICE_MS, iLeftMs));
    return EWait::kReady;
  }

  EWait Wait(short iEvents, CClock::time_point tDeadline) const {
    for (;;) {
      int iSliceMs = 0;
      const EWait eCheck = Check(tDeadline, iSliceMs);
      if (eCheck != EWait::kReady) return eCheck;
      pollfd oPoll{m_iFd, iEvents, 0};
      const int iReady = poll(&oPoll, 1, iSliceMs);
      if (iReady > 0) return EWait::kReady;
      if (iReady < 0 && errno != EINTR) return EWait::kError;
    }
  }

  bool Lookup(const SHttpUrl& oPeer, bool bProxy, addrinfo*& pList) {
    auto pLookup = std::make_unique<SLookup>();
    pLookup->m_sHost = oPeer.m_sHost;
    pLookup->m_sPort = std::to_string(oPeer.m_iPort);
    pLookup->m_oHints.ai_socktype = SOCK_STREAM;
    pLookup->m_oHints.ai_flags = IsAddress(oPeer.m_sHost) ? AI_NUMERICHOST : AI_ADDRCONFIG;
    pLookup->m_oRequest.ar_name = pLookup->m_sHost.c_str();
    pLookup->m_oRequest.ar_service = pLookup->m_sPort.c_str();
    pLookup->m_oRequest.ar_request = &pLookup->m_oHints;
    if (IsAddress(oPeer.m_sHost)) {  // nothing to look up: no background thread
      const int iError = getaddrinfo(pLookup->m_sHost.c_str(), pLookup->m_sPort.c_str(),
                                     &pLookup->m_oHints, &pList);
      return iError == 0 || Fail(7, "unusable address " + oPeer.m_sHost);
    }
    gaicb* aList[1] = {&pLookup->m_oRequest};
    int iError = getaddrinfo_a(GAI_NOWAIT, aList, 1, nullptr);
    EWait eWait = EWait::kReady;
    while (iError == 0 && (iError = gai_error(aList[0])) == EAI_INPROGRESS) {
      int iSliceMs = 0;
      eWait = Check(m_tConnectEnd, iSliceMs);
      if (eWait != EWait::kReady) break;
      const timespec oSlice{0, iSliceMs * 1000000L};
      gai_suspend(aList, 1, &oSlice);
    }
    if (iError == EAI_INPROGRESS) {
      if (gai_cancel(aList[0]) == EAI_NOTCANCELED) {
        pLookup.release();  // the resolver still owns it
        return FailWait(eWait, m_tConnectEnd, "Resolving");
      }
      iError = gai_error(aList[0]);
    }
    pList = iError == 0 ? pLookup->m_oRequest.ar_result : nullptr;
    if (eWait != EWait::kReady) {
      if (pList != nullptr) freeaddrinfo(pList);
      return FailWait(eWait, m_tConnectEnd, "Resolving");
    }
    if (pList == nullptr) {
      return Fail(bProxy ? 5 : 6, "Could not resolve " + std::string(bProxy ? "proxy" : "host") +
                                      ": " + oPeer.m_sHost);
    }
    return true;
  }

  bool Connect(const SHttpUrl& oPeer, bool bProxy) {
    m_tConnectEnd = std::min(
        m_tEnd, CClock::now() + std::chrono::milliseconds(std::max(1, m_oLimits.m_iConnectMs)));
    addrinfo* pList = nullptr;
    if (!Lookup(oPeer, bProxy, pList)) return false;
    int iLastError = 0;
    EWait eWait = EWait::kReady;
    for (addrinfo* pAddress = pList; pAddress != nullptr && m_iFd < 0;
         pAddress = pAddress->ai_next) {
      const int iFd =
          socket(pAddress->ai_family, pAddress->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                 pAddress->ai_protocol);
      if (iFd < 0) continue;
      int iResult = connect(iFd, pAddress->ai_addr, pAddress->ai_addrlen);
      if (iResult != 0 && errno == EINPROGRESS) {
        m_iFd = iFd;
        eWait = Wait(POLLOUT, m_tConnectEnd);
        m_iFd = -1;
        socklen_t uLength = sizeof(iResult);
        if (eWait == EWait::kReady) getsockopt(iFd, SOL_SOCKET, SO_ERROR, &iResult, &uLength);
        errno = iResult;
      }
      if (iResult == 0 && eWait == EWait::kReady) {
        m_iFd = iFd;
      } else {
        iLastError = errno;
        close(iFd);
        if (eWait != EWait::kReady) break;
      }
    }
    freeaddrinfo(pList);
    if (eWait != EWait::kReady) return FailWait(eWait, m_tConnectEnd, "Connection");
    if (m_iFd < 0) {
      return Fail(7, "Failed to connect to " + oPeer.m_sHost + " port " +
                         std::to_string(oPeer.m_iPort) + ": " + std::strerror(iLastError));
    }
    return true;
  }

  bool Tunnel(const SHttpUrl& oUrl) {
    const std::string sName =
        (oUrl.m_sHost.find(':') != std::string::npos ? "[" + oUrl.m_sHost + "]" : oUrl.m_sHost) +
        ":" + std::to_string(oUrl.m_iPort);
    std::string sHeaders;
    int iStatus = 0;
    if (!SendAll("CONNECT " + sName + " HTTP/1.1\r\nHost: " + sName + "\r\n\r\n") ||
        !ReadHeaders(sHeaders, iStatus)) {
      return false;
    }
    if (iStatus != 200) {
      return Fail(56,
                  "Received HTTP code " + std::to_string(iStatus) + " from proxy after CONNECT");
    }
    return true;
  }

  bool StartTls(const SHttpUrl& oUrl) {
    m_pSsl = NewVerifiedTlsSession(m_iFd, oUrl.m_sHost, m_oLimits.m_sCaFile, m_pContext);
    if (m_pContext == nullptr) return Fail(35, "cannot set up TLS");
    if (m_pSsl == nullptr) return Fail(35, "cannot set up TLS with the CA certificates");
    for (;;) {
      const int iResult = SSL_connect(m_pSsl);
      if (iResult == 1) return true;
      const int iError = SSL_get_error(m_pSsl, iResult);
      if (iError == SSL_ERROR_WANT_READ || iError == SSL_ERROR_WANT_WRITE) {
        const EWait eWait = Wait(iError == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, m_tConnectEnd);
        if (eWait != EWait::kReady) return FailWait(eWait, m_tConnectEnd, "TLS handshake");
        continue;
      }
      bool bCertificate = false;
      const std::string sWhy = TlsHandshakeFailure(m_pSsl, bCertificate);
      return bCertificate ? Fail(60, "SSL certificate problem: " + sWhy) : Fail(35, sWhy);
    }
  }

  bool SendAll(const std::string& sData) {
    size_t uSent = 0;
    while (uSent < sData.size()) {
      short iWant = POLLOUT;
      ssize_t iDone = 0;
      if (m_pSsl != nullptr) {
        iDone = SSL_write(m_pSsl, sData.data() + uSent, static_cast<int>(sData.size() - uSent));
        const int iError =
            iDone > 0 ? SSL_ERROR_NONE : SSL_get_error(m_pSsl, static_cast<int>(iDone));
        if (iError == SSL_ERROR_WANT_READ) iWant = POLLIN;
        if (iError != SSL_ERROR_NONE && iError != SSL_ERROR_WANT_READ &&
            iError != SSL_ERROR_WANT_WRITE) {
          return Fail(55, "TLS send failed");
        }
      } else {
        iDone = send(m_iFd, sData.data() + uSent, sData.size() - uSent, MSG_NOSIGNAL);
        if (iDone < 0 && errno != EAGAIN && errno != EINTR) {
          return Fail(55, std::string("Send failure: ") + std::strerror(errno));
        }
      }
      if (iDone > 0) {
        uSent += static_cast<size_t>(iDone);
        continue;
      }
      const EWait eWait = Wait(iWant, m_tEnd);
      if (eWait != EWait::kReady) return FailWait(eWait, m_tEnd, "Sending");
    }
    return true;
  }

  // Reads some bytes: > 0 read, 0 the peer closed, -1 failed (already set in the outcome).
  ssize_t Receive(char* pBuffer, size_t uSize) {
    for (;;) {
      const auto tDeadline = std::min(
          m_tEnd, m_tLastData + std::chrono::seconds(std::max(1, m_oLimits.m_iNoDataSeconds)));
      short iWant = POLLIN;
      if (m_pSsl != nullptr) {
        const int iRead = SSL_read(m_pSsl, pBuffer, static_cast<int>(uSize));
        if (iRead > 0) return iRead;
        const int iError = SSL_get_error(m_pSsl, iRead);
        if (iError == SSL_ERROR_ZERO_RETURN) return 0;
        if (iError == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) return 0;
        if (iError == SSL_ERROR_WANT_WRITE) iWant = POLLOUT;
        if (iError != SSL_ERROR_WANT_READ && iError != SSL_ERROR_WANT_WRITE) {
          Fail(56, "TLS receive failed");
          return -1;
        }
      } else {
        const ssize_t iRead = recv(m_iFd, pBuffer, uSize, 0);
        if (iRead >= 0) return iRead;
        if (errno != EAGAIN && errno != EINTR) {
          Fail(56, std::string("Recv failure: ") + std::strerror(errno));
          return -1;
        }
      }
      const EWait eWait = Wait(iWant, tDeadline);
      if (eWait != EWait::kReady) {
        FailWait(eWait, tDeadline, "Waiting for the answer", true);
        return -1;
      }
    }
  }

  // Reads answers up to the end of their headers, skipping informational (1xx) ones.
  bool ReadHeaders(std::string& sHeaders, int& iStatus) {
    std::string sBuffer;
    m_tLastData = CClock::now();
    for (;;) {
      const size_t uCrLf = sBuffer.find("\r\n\r\n");
      const size_t uLf = sBuffer.find("\n\n");
      const size_t uEnd = std::min(uCrLf == std::string::npos ? uCrLf : uCrLf + 4,
                                   uLf == std::string::npos ? uLf : uLf + 2);
      if (uEnd != std::string::npos && uEnd <= m_oLimits.m_uMaxHeaderBytes) {
        iStatus = 0;
        if (sBuffer.compare(0, 5, "HTTP/") == 0) {
          const size_t uCode = sBuffer.find(' ');
          if (uCode != std::string::npos && uCode < uEnd)
            iStatus = std::atoi(sBuffer.c_str() + uCode + 1);
        }
        if (iStatus < 100 || iStatus > 999) return Fail(8, "no HTTP status received");
        if (iStatus < 200 && iStatus != 101) {
          sBuffer.erase(0, uEnd);
          continue;
        }
        sHeaders = sBuffer.substr(0, uEnd);
        return true;
      }
      if (sBuffer.size() > m_oLimits.m_uMaxHeaderBytes) {
        return Fail(23, "response headers longer than " +
                            std::to_string(m_oLimits.m_uMaxHeaderBytes) + " bytes");
      }
      char aChunk[4096];
      const ssize_t iRead = Receive(aChunk, sizeof(aChunk));
      if (iRead < 0) return false;
      if (iRead == 0) {
        return sBuffer.empty() ? Fail(52, "Empty reply from server")
                               : Fail(56, "the connection ended inside the headers");
      }
      m_tLastData = CClock::now();
      sBuffer.append(aChunk, static_cast<size_t>(iRead));
    }
  }

  CSigPipeBlock m_oSigPipe;
  const SHttpLimits& m_oLimits;
  SHttpOutcome& m_oOut;
  CClock::time_point m_tStart;
  CClock::time_point m_tEnd;
  CClock::time_point m_tConnectEnd;
  CClock::time_point m_tLastData;
  int m_iFd = -1;
  SSL_CTX* m_pContext = nullptr;
  SSL* m_pSsl = nullptr;
};

}  // namespace

bool HttpGet(const SHttpUrl& oUrl, const std::vector<std::string>& oHeaderLines,
             const SHttpLimits& oLimits, SHttpOutcome& oOutcome) {
  oOutcome = SHttpOutcome{};
  CExchange oExchange(oLimits, oOutcome);
  return oExchange.Run(oUrl, oHeaderLines);
}

}  // namespace wdx
