// Loopback servers for the getter's tests: an httplib server (plain or TLS), a listener that
// never answers, a server of one canned raw answer, and a CONNECT tunnel proxy; each lives for
// the test's lifetime and serves 127.0.0.1 only.
//
// Threading: created and destroyed by the test thread; each serves on a thread of its own.
#pragma once

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace wdx::test {

// An httplib server (plain or TLS) listening on a free loopback port for the test's lifetime.
class CLoopbackServer final {
 public:
  explicit CLoopbackServer(std::unique_ptr<httplib::Server> pServer)
      : m_pServer(std::move(pServer)) {}
  ~CLoopbackServer() { Stop(); }
  CLoopbackServer(const CLoopbackServer&) = delete;
  CLoopbackServer& operator=(const CLoopbackServer&) = delete;

  httplib::Server& Http() { return *m_pServer; }
  bool Start() {
    m_iPort = m_pServer->bind_to_any_port("127.0.0.1");
    if (m_iPort <= 0) return false;
    m_oThread = std::thread([this] { m_pServer->listen_after_bind(); });
    for (int i = 0; i < 500 && !m_pServer->is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return m_pServer->is_running();
  }
  void Stop() {
    if (!m_oThread.joinable()) return;
    m_pServer->stop();
    m_oThread.join();
  }
  int Port() const { return m_iPort; }

 private:
  std::unique_ptr<httplib::Server> m_pServer;
  std::thread m_oThread;
  int m_iPort = 0;
};

// A loopback socket that listens but never accepts: the kernel completes the connection and
// nothing ever answers.
class CSilentListener final {
 public:
  CSilentListener() {
    m_iFd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in oAddr{};
    oAddr.sin_family = AF_INET;
    oAddr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t uLen = sizeof(oAddr);
    if (bind(m_iFd, reinterpret_cast<sockaddr*>(&oAddr), sizeof(oAddr)) == 0 &&
        listen(m_iFd, 8) == 0 &&
        getsockname(m_iFd, reinterpret_cast<sockaddr*>(&oAddr), &uLen) == 0) {
      m_iPort = ntohs(oAddr.sin_port);
    }
  }
  ~CSilentListener() { close(m_iFd); }
  CSilentListener(const CSilentListener&) = delete;
  CSilentListener& operator=(const CSilentListener&) = delete;
  int Port() const { return m_iPort; }
  int Fd() const { return m_iFd; }
  // Whether any client has connected.
  bool HasPendingConnection() const {
    pollfd oPoll{m_iFd, POLLIN, 0};
    return poll(&oPoll, 1, 0) > 0;
  }

 private:
  int m_iFd = -1;
  int m_iPort = 0;
};

// A loopback server that answers every request with the same raw bytes and closes, for
// responses the httplib server would not write.
class CCannedServer final {
 public:
  explicit CCannedServer(std::string sResponse) : m_sResponse(std::move(sResponse)) {
    m_oThread = std::thread([this] { Serve(); });
  }
  ~CCannedServer() {
    m_bStop = true;
    m_oThread.join();
  }
  CCannedServer(const CCannedServer&) = delete;
  CCannedServer& operator=(const CCannedServer&) = delete;
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_oListener.Port()) + "/"; }

 private:
  void Serve() {
    while (!m_bStop) {
      if (!m_oListener.HasPendingConnection()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      const int iFd = accept(m_oListener.Fd(), nullptr, nullptr);
      if (iFd < 0) continue;
      std::string sRequest;
      char aBuffer[4096];
      pollfd oPoll{iFd, POLLIN, 0};
      while (sRequest.find("\r\n\r\n") == std::string::npos && poll(&oPoll, 1, 5000) > 0) {
        const ssize_t iRead = read(iFd, aBuffer, sizeof(aBuffer));
        if (iRead <= 0) break;
        sRequest.append(aBuffer, static_cast<size_t>(iRead));
      }
      if (write(iFd, m_sResponse.data(), m_sResponse.size()) < 0) {
        // The client went away; the next one gets the same answer.
      }
      close(iFd);
    }
  }

  CSilentListener m_oListener;
  std::string m_sResponse;
  std::atomic<bool> m_bStop{false};
  std::thread m_oThread;
};

// A proxy that serves one CONNECT tunnel at a time to 127.0.0.1 and remembers the requests.
class CTunnelProxy final {
 public:
  CTunnelProxy() {
    m_oThread = std::thread([this] { Serve(); });
  }
  ~CTunnelProxy() {
    m_bStop = true;
    m_oThread.join();
  }
  CTunnelProxy(const CTunnelProxy&) = delete;
  CTunnelProxy& operator=(const CTunnelProxy&) = delete;
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_oListener.Port()); }
  std::string Requests() {
    std::lock_guard<std::mutex> oLock(m_oMutex);
    return m_sRequests;
  }

 private:
  void Serve() {
    while (!m_bStop) {
      if (!m_oListener.HasPendingConnection()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      const int iClient = accept(m_oListener.Fd(), nullptr, nullptr);
      if (iClient >= 0) Relay(iClient);
      if (iClient >= 0) close(iClient);
    }
  }
  void Relay(int iClient) {
    std::string sRequest;
    char aBuffer[16384];
    pollfd oPoll{iClient, POLLIN, 0};
    while (sRequest.find("\r\n\r\n") == std::string::npos && poll(&oPoll, 1, 5000) > 0) {
      const ssize_t iRead = read(iClient, aBuffer, sizeof(aBuffer));
      if (iRead <= 0) return;
      sRequest.append(aBuffer, static_cast<size_t>(iRead));
    }
    {
      std::lock_guard<std::mutex> oLock(m_oMutex);
      m_sRequests += sRequest.substr(0, sRequest.find("\r\n")) + ";";
    }
    const int iPort = std::atoi(sRequest.c_str() + sRequest.find(':') + 1);
    const int iServer = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in oAddr{};
    oAddr.sin_family = AF_INET;
    oAddr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    oAddr.sin_port = htons(static_cast<uint16_t>(iPort));
    const std::string sOk = "HTTP/1.1 200 Connection established\r\n\r\n";
    if (connect(iServer, reinterpret_cast<sockaddr*>(&oAddr), sizeof(oAddr)) == 0 &&
        write(iClient, sOk.data(), sOk.size()) == static_cast<ssize_t>(sOk.size())) {
      pollfd aPoll[2] = {{iClient, POLLIN, 0}, {iServer, POLLIN, 0}};
      while (!m_bStop && poll(aPoll, 2, 100) >= 0) {
        const int iFrom = (aPoll[0].revents != 0) ? 0 : (aPoll[1].revents != 0 ? 1 : -1);
        if (iFrom < 0) continue;
        const ssize_t iRead = read(aPoll[iFrom].fd, aBuffer, sizeof(aBuffer));
        if (iRead <= 0 ||
            write(aPoll[1 - iFrom].fd, aBuffer, static_cast<size_t>(iRead)) != iRead) {
          break;
        }
      }
    }
    close(iServer);
  }

  CSilentListener m_oListener;
  std::mutex m_oMutex;
  std::string m_sRequests;
  std::atomic<bool> m_bStop{false};
  std::thread m_oThread;
};

// A port on which nothing listens (bound once, then released).
inline int FreePort() {
  CSilentListener oListener;
  return oListener.Port();
}

}  // namespace wdx::test
