// CSmtpLink: the TCP connection of one mail dialogue, plain or upgraded to TLS with OpenSSL
// (the server's certificate verified against the system CA store or a given CA file). Every
// wait (connect, TLS handshake, send, receive) is bounded by its time limit and is cut into
// short slices, so that a cancel check given by the caller ends it early.
//
// Threading: one link is used by one thread.
#pragma once

#include <functional>
#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace wdx {

class CSmtpLink final {
 public:
  CSmtpLink() = default;
  ~CSmtpLink() { Close(); }
  CSmtpLink(const CSmtpLink&) = delete;
  CSmtpLink& operator=(const CSmtpLink&) = delete;

  void SetCancelCheck(std::function<bool()> fnCancelled) { m_fnCancelled = std::move(fnCancelled); }
  // sAddress is a numeric IPv4 or IPv6 address.
  bool Connect(const std::string& sAddress, int iPort, int iTimeoutMs);
  // Upgrades the connection; sHost is checked against the certificate.
  bool StartTls(const std::string& sHost, const std::string& sCaFile, int iTimeoutMs);
  bool SendAll(const std::string& sData, int iTimeoutMs);
  // One receive of at most uSize bytes: > 0 bytes read, 0 the peer closed, -1 a failure or
  // nothing within the time limit (see GetError).
  long Receive(char* pBuffer, unsigned long uSize, int iTimeoutMs);
  // Whether the socket still answers a query of its urgent-data mark.
  bool IsUsable() const;
  bool IsOpen() const { return m_iFd >= 0; }
  bool IsTls() const { return m_pSsl != nullptr; }
  void Close();
  const std::string& GetError() const { return m_sError; }

 private:
  // 1 ready, 0 time limit or cancel (m_sError set), -1 poll failure.
  int Wait(short iEvents, int iTimeoutMs);
  bool Fail(const std::string& sText);

  std::function<bool()> m_fnCancelled;
  int m_iFd = -1;
  SSL_CTX* m_pContext = nullptr;
  SSL* m_pSsl = nullptr;
  std::string m_sError;
};

}  // namespace wdx
