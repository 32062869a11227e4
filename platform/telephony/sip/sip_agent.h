// The process's SIP user agent: for each local address that calls leave from, one SIP stack
// (libre's struct sip, User-Agent "Wardenix") with a UDP and a TCP transport on that address
// (ports chosen by the system) and a session socket that INVITE dialogues run on. Incoming calls
// are refused (486). An endpoint is created when a call first needs it and lives as long as the
// process: libre picks a transport by protocol only, so each local address has its own stack
// and a call always leaves from the address that routes to its destination.
//
// Threading: FindLocalAddress may be called from any thread; everything else runs on the SIP
// thread (sip_stack.h) only.
#pragma once

#include <re.h>

#include <string>

namespace wdx::sip {

struct SSipEndpoint {
  struct sa m_oLocal;  // the local address (port 0)
  struct sip* m_pSip = nullptr;
  struct sipsess_sock* m_pSessions = nullptr;
};

// The local address that packets to oDest leave from (asked of the routing table through a
// connected UDP socket; nothing is sent). False with sError when none routes there.
bool FindLocalAddress(const struct sa& oDest, struct sa& oLocal, std::string& sError);

class CSipAgent final {
 public:
  // The process's agent. SIP thread only.
  static CSipAgent& Get();

  CSipAgent(const CSipAgent&) = delete;
  CSipAgent& operator=(const CSipAgent&) = delete;

  // The endpoint on oLocal (its port ignored), created when first needed; null with sError when
  // the stack or its transports cannot be set up.
  SSipEndpoint* GetEndpoint(const struct sa& oLocal, std::string& sError);

 private:
  CSipAgent() = default;
  ~CSipAgent() = default;

  struct SEndpoints;
  SEndpoints* m_pEndpoints = nullptr;  // never freed: libre may use them until the process ends
};

}  // namespace wdx::sip
