#include "platform/telephony/sip/sip_uri.h"

#include <gtest/gtest.h>

namespace wdx::sip {
namespace {

TEST(SipUriTest, NumbersBecomeRequestUrisAndNextHops) {
  const SSipAccount oNone;
  const SSipAccount oDomain{"sip:alice@pbx.example.org", "pw", ""};
  const SSipAccount oProxied{"sip:alice@example.org", "pw", "10.0.0.7:5080;transport=TCP"};
  const SSipAccount oV6Proxy{"sip:alice@example.org:5070", "", "sip:[::1]"};
  struct SCase {
    std::string m_sNumber;
    const SSipAccount* m_pAccount;
    std::string m_sUri;
    std::string m_sHost;
    uint16_t m_uPort;
    ESipTransport m_eTransport;
    bool m_bDirect;
  };
  const auto UDP = ESipTransport::UDP;
  const SCase aCases[] = {
      {"sip:bob@127.0.0.1:5072", &oNone, "sip:bob@127.0.0.1:5072", "127.0.0.1", 5072, UDP, true},
      {"SIP:bob@Host-1.example.org", &oProxied, "sip:bob@Host-1.example.org", "Host-1.example.org",
       5060, UDP, true},  // direct: the proxy is not used
      {"sip:b.o%40b@[::1]:5062", &oNone, "sip:b.o%40b@[::1]:5062", "::1", 5062, UDP, true},
      {"+1 (555) 123-4567", &oDomain, "sip:+1555123-4567@pbx.example.org", "pbx.example.org", 5060,
       UDP, false},
      {"*98#", &oDomain, "sip:*98%23@pbx.example.org", "pbx.example.org", 5060, UDP, false},
      {"ops.desk_2", &oProxied, "sip:ops.desk_2@example.org", "10.0.0.7", 5080, ESipTransport::TCP,
       false},
      {"100", &oV6Proxy, "sip:100@example.org:5070", "::1", 5060, UDP, false},
  };
  for (const SCase& oCase : aCases) {
    SSipTarget oTarget;
    std::string sReason;
    ASSERT_EQ(ParseSipNumber(oCase.m_sNumber, *oCase.m_pAccount, oTarget, sReason), ESipNumber::OK)
        << oCase.m_sNumber << ": " << sReason;
    EXPECT_EQ(oTarget.m_sRequestUri, oCase.m_sUri) << oCase.m_sNumber;
    EXPECT_EQ(oTarget.m_oNextHop.m_sHost, oCase.m_sHost) << oCase.m_sNumber;
    EXPECT_EQ(oTarget.m_oNextHop.m_uPort, oCase.m_uPort) << oCase.m_sNumber;
    EXPECT_EQ(oTarget.m_oNextHop.m_eTransport, oCase.m_eTransport) << oCase.m_sNumber;
    EXPECT_EQ(oTarget.m_bDirect, oCase.m_bDirect) << oCase.m_sNumber;
  }
}

TEST(SipUriTest, BadFormsAreRefusedWithTheirReason) {
  const SSipAccount oNone;
  const SSipAccount oGood{"sip:alice@example.org", "", ""};
  struct SCase {
    std::string m_sNumber;
    SSipAccount m_oAccount;
    ESipNumber m_eExpected;
    std::string m_sReason;
  };
  const std::string sSipForm = "a SIP number must have the form sip:user@host[:port]";
  const SCase aCases[] = {
      {"sip:bob", oNone, ESipNumber::BAD_FORM, sSipForm},
      {"sip:@host", oNone, ESipNumber::BAD_FORM, sSipForm},
      {"sip:bob@", oNone, ESipNumber::BAD_FORM, sSipForm},
      {"sip:bob@host:0", oNone, ESipNumber::BAD_FORM, sSipForm},
      {"sip:bob@host:65536", oNone, ESipNumber::BAD_FORM, sSipForm},
      {"sip:bob@host:50x", oNone, ESipNumber::BAD_FORM, sSipForm},
      {"sip:bob@ho..st", oNone, ESipNumber::BAD_FORM, sSipForm},
      {"sip:bob@host;transport=tcp", oNone, ESipNumber::BAD_FORM, sSipForm},
      {"sip:b b@host", oNone, ESipNumber::BAD_FORM, sSipForm},
      {"sip:bob@[::1", oNone, ESipNumber::BAD_FORM, sSipForm},
      {"sip:bob@[host]", oNone, ESipNumber::BAD_FORM, sSipForm},
      {"tel:+15551234", oGood, ESipNumber::BAD_FORM,
       "the number has a character that cannot be dialled: ':'"},
      {"555\"1234", oGood, ESipNumber::BAD_FORM,
       "the number has a character that cannot be dialled: '\"'"},
      {" ( ) ", oGood, ESipNumber::BAD_FORM, "the number has no digits"},
      {"+15551234", oNone, ESipNumber::NO_ACCOUNT, "no SIP account is set"},
      {"+15551234",
       {"alice@example.org", "", ""},
       ESipNumber::BAD_SETTING,
       "the SIP account \"alice@example.org\" is not of the form sip:user@domain"},
      {"+15551234",
       {"sip:alice@exa mple.org", "", ""},
       ESipNumber::BAD_SETTING,
       "the SIP account \"sip:alice@exa mple.org\" is not of the form sip:user@domain"},
      {"+15551234",
       {"sip:alice@example.org", "", "pbx:5060;transport=tls"},
       ESipNumber::BAD_SETTING,
       "the SIP proxy \"pbx:5060;transport=tls\" is not of the form "
       "host[:port][;transport=udp|tcp]"},
      {"+15551234",
       {"sip:alice@example.org", "", "pbx;transport=udpx"},
       ESipNumber::BAD_SETTING,
       "the SIP proxy \"pbx;transport=udpx\" is not of the form host[:port][;transport=udp|tcp]"},
  };
  for (const SCase& oCase : aCases) {
    SSipTarget oTarget;
    oTarget.m_sRequestUri = "left over";
    std::string sReason;
    EXPECT_EQ(ParseSipNumber(oCase.m_sNumber, oCase.m_oAccount, oTarget, sReason),
              oCase.m_eExpected)
        << oCase.m_sNumber;
    EXPECT_EQ(sReason, oCase.m_sReason) << oCase.m_sNumber;
    EXPECT_TRUE(oTarget.m_sRequestUri.empty()) << oCase.m_sNumber;
  }
}

TEST(SipUriTest, AccountsAndProxiesAreReadAsWritten) {
  SSipAccountUri oAccount;
  std::string sReason;
  ASSERT_TRUE(ParseSipAccountUri("sip:alice.b@[2001:db8::5]:5070", oAccount, sReason));
  EXPECT_EQ(oAccount.m_sUser, "alice.b");
  EXPECT_EQ(oAccount.m_sDomain, "[2001:db8::5]:5070");
  EXPECT_EQ(oAccount.m_oDomainHop.m_sHost, "2001:db8::5");
  EXPECT_EQ(oAccount.m_oDomainHop.m_uPort, 5070);
  EXPECT_EQ(FormatHostPort(oAccount.m_oDomainHop.m_sHost, 5070), "[2001:db8::5]:5070");
  EXPECT_EQ(FormatHostPort("pbx", 0), "pbx");

  SSipHop oHop;
  ASSERT_TRUE(ParseSipProxy("pbx.example.org;transport=udp", oHop, sReason));
  EXPECT_EQ(oHop.m_sHost, "pbx.example.org");
  EXPECT_EQ(oHop.m_uPort, 5060);
  EXPECT_EQ(oHop.m_eTransport, ESipTransport::UDP);
  EXPECT_FALSE(ParseSipProxy("", oHop, sReason));
  EXPECT_FALSE(ParseSipProxy("pbx:", oHop, sReason));
  EXPECT_TRUE(oHop.m_sHost.empty());
}

}  // namespace
}  // namespace wdx::sip
