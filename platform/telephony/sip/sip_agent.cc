#include "platform/telephony/sip/sip_agent.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace wdx::sip {
namespace {

constexpr const char* kUserAgent = "Wardenix";
constexpr uint32_t kTableSize = 32;  // hash sizes of the stack's transactions and connections

std::string Describe(int iError) {
  return std::strerror(iError);
}

}  // namespace

struct CSipAgent::SEndpoints {
  std::vector<std::unique_ptr<SSipEndpoint>> m_aEndpoints;
};

bool FindLocalAddress(const struct sa& oDest, struct sa& oLocal, std::string& sError) {
  sa_init(&oLocal, AF_UNSPEC);
  const int iSocket = ::socket(sa_af(&oDest), SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (iSocket < 0) {
    sError = "no socket: " + Describe(errno);
    return false;
  }
  bool bFound = ::connect(iSocket, &oDest.u.sa, oDest.len) == 0;
  if (bFound) {
    oLocal.len = sizeof(oLocal.u);
    bFound = ::getsockname(iSocket, &oLocal.u.sa, &oLocal.len) == 0;
  }
  if (!bFound) sError = "no route to the host: " + Describe(errno);
  ::close(iSocket);
  if (bFound) sa_set_port(&oLocal, 0);
  return bFound;
}

CSipAgent& CSipAgent::Get() {
  static CSipAgent* s_pAgent = [] {
    auto* pAgent = new CSipAgent();
    pAgent->m_pEndpoints = new SEndpoints;
    return pAgent;
  }();
  return *s_pAgent;
}

SSipEndpoint* CSipAgent::GetEndpoint(const struct sa& oLocal, std::string& sError) {
  for (const auto& pEndpoint : m_pEndpoints->m_aEndpoints) {
    if (sa_cmp(&pEndpoint->m_oLocal, &oLocal, SA_ADDR)) return pEndpoint.get();
  }
  auto pEndpoint = std::make_unique<SSipEndpoint>();
  pEndpoint->m_oLocal = oLocal;
  sa_set_port(&pEndpoint->m_oLocal, 0);
  int iError = sip_alloc(&pEndpoint->m_pSip, nullptr, kTableSize, kTableSize, kTableSize,
                         kUserAgent, nullptr, nullptr);
  if (iError == 0) iError = sip_transp_add(pEndpoint->m_pSip, SIP_TRANSP_UDP, &pEndpoint->m_oLocal);
  if (iError == 0) iError = sip_transp_add(pEndpoint->m_pSip, SIP_TRANSP_TCP, &pEndpoint->m_oLocal);
  if (iError == 0) {
    iError =
        sipsess_listen(&pEndpoint->m_pSessions, pEndpoint->m_pSip, kTableSize, nullptr, nullptr);
  }
  if (iError != 0) {
    char szAddress[64] = "";
    sa_ntop(&oLocal, szAddress, sizeof(szAddress));
    sError = std::string("cannot open SIP transports on ") + szAddress + ": " + Describe(iError);
    mem_deref(pEndpoint->m_pSessions);
    if (pEndpoint->m_pSip != nullptr) sip_close(pEndpoint->m_pSip, true);
    mem_deref(pEndpoint->m_pSip);
    return nullptr;
  }
  m_pEndpoints->m_aEndpoints.push_back(std::move(pEndpoint));
  return m_pEndpoints->m_aEndpoints.back().get();
}

}  // namespace wdx::sip
