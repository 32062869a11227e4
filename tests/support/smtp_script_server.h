// A scripted SMTP server on 127.0.0.1 for the mail sender's tests: it serves connections one
// after the other, answers each command with the reply set for its verb, and records every byte
// it received. Special replies: "" says nothing, "<close>" ends the connection, "<flood>" sends
// 1 MB without a line end.
//
// Threading: set the replies before the client connects; read Received() after the client is
// done. The server runs on a thread of its own until it is destroyed.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback_servers.h"

namespace wdx::test {

class CSmtpScriptServer final {
 public:
  CSmtpScriptServer() {
    m_oThread = std::thread([this] { Serve(); });
  }
  ~CSmtpScriptServer() {
    m_bStop = true;
    m_oThread.join();
  }
  CSmtpScriptServer(const CSmtpScriptServer&) = delete;
  CSmtpScriptServer& operator=(const CSmtpScriptServer&) = delete;

  int Port() const { return m_oListener.Port(); }
  // Replies by verb ("greeting", "HELO", "EHLO", "MAIL", "RCPT", "DATA", ".", "QUIT");
  // "RCPT2" answers the second recipient only.
  std::map<std::string, std::string> m_oReplies = {{"greeting", "220 test ready\r\n"},
                                                   {"HELO", "250 hello\r\n"},
                                                   {"MAIL", "250 ok\r\n"},
                                                   {"RCPT", "250 ok\r\n"},
                                                   {"DATA", "354 go on\r\n"},
                                                   {".", "250 queued\r\n"},
                                                   {"QUIT", "221 bye\r\n"}};
  std::string Received() {
    std::lock_guard<std::mutex> oLock(m_oMutex);
    return m_sReceived;
  }
  int Connections() const { return m_iConnections; }

 private:
  void Serve() {
    while (!m_bStop) {
      pollfd oPoll{m_oListener.Fd(), POLLIN, 0};
      if (poll(&oPoll, 1, 20) <= 0) continue;
      const int iFd = accept(m_oListener.Fd(), nullptr, nullptr);
      if (iFd < 0) continue;
      ++m_iConnections;
      Talk(iFd);
      close(iFd);
    }
  }
  // False when the connection is to end.
  bool Reply(int iFd, const std::string& sReply) {
    if (sReply == "<close>") return false;
    const std::string sData = sReply == "<flood>" ? std::string(1 << 20, 'x') : sReply;
    return sData.empty() || send(iFd, sData.data(), sData.size(), MSG_NOSIGNAL) >= 0;
  }
  void Talk(int iFd) {
    if (!Reply(iFd, m_oReplies["greeting"])) return;
    std::string sPending;
    bool bData = false;
    int iRecipients = 0;
    char aBuffer[4096];
    while (!m_bStop) {
      pollfd oPoll{iFd, POLLIN, 0};
      if (poll(&oPoll, 1, 20) <= 0) continue;
      const ssize_t iRead = recv(iFd, aBuffer, sizeof(aBuffer), 0);
      if (iRead <= 0) return;
      {
        std::lock_guard<std::mutex> oLock(m_oMutex);
        m_sReceived.append(aBuffer, static_cast<size_t>(iRead));
      }
      sPending.append(aBuffer, static_cast<size_t>(iRead));
      for (size_t uEnd = sPending.find("\r\n"); uEnd != std::string::npos;
           uEnd = sPending.find("\r\n")) {
        const std::string sLine = sPending.substr(0, uEnd);
        sPending.erase(0, uEnd + 2);
        std::string sVerb = bData ? (sLine == "." ? "." : "") : sLine.substr(0, 4);
        for (char& c : sVerb) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        if (sVerb.empty()) continue;
        if (sVerb == "DATA") bData = true;
        if (sVerb == ".") bData = false;
        if (sVerb == "RCPT" && ++iRecipients > 1 &&
            m_oReplies.count("RCPT" + std::to_string(iRecipients)))
          sVerb += std::to_string(iRecipients);
        if (!Reply(iFd, m_oReplies.count(sVerb) ? m_oReplies[sVerb] : "500 unknown\r\n") ||
            sVerb == "QUIT")
          return;
      }
    }
  }

  CSilentListener m_oListener;
  std::mutex m_oMutex;
  std::string m_sReceived;
  std::atomic<int> m_iConnections{0};
  std::atomic<bool> m_bStop{false};
  std::thread m_oThread;
};

}  // namespace wdx::test
