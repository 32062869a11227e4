#include "platform/telephony/sip/sip_agent.h"

#include <gtest/gtest.h>

namespace wdx::sip {
namespace {

TEST(SipAgentTest, CallsLeaveFromTheAddressThatRoutesToTheirDestination) {
  struct SCase {
    const char* m_szDest;
    const char* m_szLocal;
  };
  const SCase aCases[] = {{"127.0.0.1", "127.0.0.1"}, {"127.3.4.5", "127.0.0.1"}, {"::1", "::1"}};
  for (const SCase& oCase : aCases) {
    struct sa oDest;
    ASSERT_EQ(sa_set_str(&oDest, oCase.m_szDest, 5060), 0);
    struct sa oLocal;
    std::string sError;
    if (!FindLocalAddress(oDest, oLocal, sError) && sa_af(&oDest) == AF_INET6) {
      continue;  // a machine without IPv6 loopback
    }
    char szLocal[64] = "";
    sa_ntop(&oLocal, szLocal, sizeof(szLocal));
    EXPECT_STREQ(szLocal, oCase.m_szLocal) << oCase.m_szDest << ": " << sError;
    EXPECT_EQ(sa_port(&oLocal), 0) << oCase.m_szDest;  // the transports choose their ports
  }
}

}  // namespace
}  // namespace wdx::sip
