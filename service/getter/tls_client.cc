#include "service/getter/tls_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace wdx {

SSL* NewVerifiedTlsSession(int iFd, const std::string& sHost, const std::string& sCaFile,
                           SSL_CTX*& pContext) {
  pContext = SSL_CTX_new(TLS_client_method());
  if (pContext == nullptr) return nullptr;
  SSL_CTX_set_verify(pContext, SSL_VERIFY_PEER, nullptr);
  const bool bStore = sCaFile.empty()
                          ? SSL_CTX_set_default_verify_paths(pContext) == 1
                          : SSL_CTX_load_verify_locations(pContext, sCaFile.c_str(), nullptr) == 1;
  SSL* pSsl = bStore ? SSL_new(pContext) : nullptr;
  if (pSsl == nullptr) return nullptr;
  if (SSL_set_fd(pSsl, iFd) != 1) {
    SSL_free(pSsl);
    return nullptr;
  }
  unsigned char aBuffer[sizeof(in6_addr)];
  if (inet_pton(AF_INET, sHost.c_str(), aBuffer) == 1 ||
      inet_pton(AF_INET6, sHost.c_str(), aBuffer) == 1) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(pSsl), sHost.c_str());
  } else {
    SSL_set_tlsext_host_name(pSsl, sHost.c_str());
    SSL_set1_host(pSsl, sHost.c_str());
  }
  ERR_clear_error();
  return pSsl;
}

std::string TlsHandshakeFailure(SSL* pSsl, bool& bCertificate) {
  const long lVerify = SSL_get_verify_result(pSsl);
  bCertificate = lVerify != X509_V_OK;
  if (bCertificate) return X509_verify_cert_error_string(lVerify);
  char szText[256] = "the peer ended the handshake";
  if (const unsigned long uError = ERR_get_error())
    ERR_error_string_n(uError, szText, sizeof(szText));
  return szText;
}

}  // namespace wdx
