// The SIP account that calls to telephone numbers go out through, as the settings give it
// ([KEYS] "SipAccount", "SipPassword", "SipProxy"). Numbers of the form "sip:user@host[:port]"
// are dialled directly and need no account (the account, when there is one, still names the
// caller and answers a challenge); every other number is dialled as "sip:NUMBER@domain" of the
// account, through the proxy when one is set and to the domain itself otherwise.
//
// Threading: plain values; the provider may be called from any thread.
#pragma once

#include <functional>
#include <string>

namespace wdx {

struct SSipAccount {
  std::string m_sAccount;   // "sip:user@domain"; empty: no account
  std::string m_sPassword;  // answers a 401/407 challenge, with the account's user
  std::string m_sProxy;     // "host[:port][;transport=udp|tcp]"; empty: the account's domain
};

// Reads the account as it stands now (the settings may change between calls).
using FnSipAccount = std::function<SSipAccount()>;

}  // namespace wdx
