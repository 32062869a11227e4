// HttpGet: one HTTP/1.1 GET over a TCP connection (TLS for https, verified with OpenSSL), direct
// or through an HTTP proxy, that reads the status line and the headers of the answer and never
// its body. Every wait is cut into slices of WDX_HTTP_WAIT_SLICE_MS so that the cancel check is
// asked while the request is in flight and the time limits hold in every phase (name lookup,
// connection, TLS handshake, waiting for the answer).
//
// Failures carry the error numbers and texts of the libcurl library that the getter used before,
// so that log entries keep their meaning: 5 proxy name not found, 6 host name not found, 7 no
// connection, 8 not an HTTP answer, 23 headers too long, 28 time limit, 35 TLS failure,
// 52 empty answer, 55 send failure, 56 receive failure or proxy refusal, 60 certificate refused.
//
// OpenSSL is set up only when the first https request is made.
//
// Threading: each call is independent; calls may run on several threads at once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "service/getter/http_url.h"

namespace wdx {

// The longest single wait: how often the cancel check is asked.
inline constexpr int WDX_HTTP_WAIT_SLICE_MS = 250;

struct SHttpLimits {
  int m_iConnectMs = 30000;   // the connection (and TLS handshake) at most
  int m_iNoDataSeconds = 60;  // the longest wait for the next bytes
  int m_iTotalMs = 120000;    // the whole request
  std::function<bool()> m_fnCancelled;
  bool m_bUseProxy = true;  // the proxy of the environment (http_proxy, https_proxy, ...)
  std::string m_sCaFile;    // "" = the system's CA store
  std::function<void()> m_fnConnected;   // told once the connection is made
  size_t m_uMaxHeaderBytes = 64 * 1024;  // more header bytes in one answer is a failure
};

struct SHttpOutcome {
  int m_iError = 0;       // 0 = an answer's headers were read
  std::string m_sError;   // text of m_iError
  std::string m_sDetail;  // what happened, for the log
  bool m_bCancelled = false;
  int m_iStatus = 0;
  std::string m_sHeaders;  // status line and header lines as received
};

// Sends "GET target" with oHeaderLines ("Name: value") and a Host header; true when a status
// was read.
bool HttpGet(const SHttpUrl& oUrl, const std::vector<std::string>& oHeaderLines,
             const SHttpLimits& oLimits, SHttpOutcome& oOutcome);

}  // namespace wdx
