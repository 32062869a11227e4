// The TLS client side shared by the page getter and the mail sender: one session on a connected
// socket that verifies the server's certificate against the system CA store (or a given CA
// file) and its name or IP address, and the text of a failed handshake.
//
// Threading: the functions are stateless; a session belongs to one thread.
#pragma once

#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace wdx {

// A client session on iFd that checks the certificate for sHost (a name or an IP address);
// nullptr when it cannot be set up (pContext is set when made; the caller frees both).
SSL* NewVerifiedTlsSession(int iFd, const std::string& sHost, const std::string& sCaFile,
                           SSL_CTX*& pContext);

// Why the handshake of pSsl failed; bCertificate tells whether the certificate was refused.
std::string TlsHandshakeFailure(SSL* pSsl, bool& bCertificate);

}  // namespace wdx
