// The SIP forms the settings and the numbers take: the account ("sip:user@domain[:port]"), the
// outbound proxy ("host[:port][;transport=udp|tcp]", "sip:" in front allowed) and the number
// dialled. A number "sip:user@host[:port]" is dialled directly at that host; any other number
// (digits, '+', '*', '#', letters, '.', '-', '_'; spaces and parentheses are dropped) becomes
// "sip:NUMBER@domain" of the account, sent through the proxy, or to the domain when no proxy is
// set. Hosts are names, IPv4 addresses or bracketed IPv6 addresses; nothing is resolved here.
//
// Threading: pure functions over values; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/telephony/sip_account.h"

namespace wdx::sip {

enum class ESipTransport { UDP, TCP };

// Where requests are sent: a host (as written, without brackets) and port (5060 by default).
struct SSipHop {
  std::string m_sHost;
  uint16_t m_uPort = 5060;
  ESipTransport m_eTransport = ESipTransport::UDP;
};

struct SSipAccountUri {
  std::string m_sUser;
  std::string m_sDomain;  // host[:port] as written (IPv6 in brackets)
  SSipHop m_oDomainHop;   // the domain as a place to send requests to
};

// What dialling a number means.
struct SSipTarget {
  std::string m_sRequestUri;  // "sip:user@host[:port]"
  SSipHop m_oNextHop;         // where the INVITE goes
  bool m_bDirect = false;     // a "sip:" number: no account needed
};

enum class ESipNumber { OK, BAD_FORM, NO_ACCOUNT, BAD_SETTING };

// False with sReason (an English phrase) when sAccount is not "sip:user@domain[:port]".
bool ParseSipAccountUri(const std::string& sAccount, SSipAccountUri& oAccount,
                        std::string& sReason);
// False with sReason when sProxy is not "host[:port][;transport=udp|tcp]".
bool ParseSipProxy(const std::string& sProxy, SSipHop& oHop, std::string& sReason);
// The target of sNumber. BAD_FORM (with sReason) for a number no form admits; NO_ACCOUNT for a
// telephone number while no account is set; BAD_SETTING (with sReason) for a telephone number
// while the account or the proxy setting cannot be read.
ESipNumber ParseSipNumber(const std::string& sNumber, const SSipAccount& oAccount,
                          SSipTarget& oTarget, std::string& sReason);

// "host" or "[v6]" followed by ":port" when the port is given (not 0): as a URI writes it.
std::string FormatHostPort(const std::string& sHost, uint16_t uPort);

}  // namespace wdx::sip
