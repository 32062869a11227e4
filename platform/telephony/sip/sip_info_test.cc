#include "platform/telephony/sip/sip_info.h"

#include <gtest/gtest.h>

namespace wdx::sip {
namespace {

TEST(SipInfoTest, BodiesNameTheKeyPressed) {
  struct SCase {
    const char* m_szType;
    const char* m_szBody;
    char m_cExpected;
  };
  const SCase aCases[] = {
      {"application/dtmf-relay", "Signal=1\r\nDuration=160\r\n", '1'},
      {"Application/DTMF-Relay; charset=x", "Duration=100\nsignal = #\n", '#'},
      {"application/dtmf-relay", "Signal=10\r\n", '*'},
      {"application/dtmf-relay", "Signal=11", '#'},
      {"application/dtmf-relay", "Signal=d\r\n", 'D'},
      {"application/dtmf", " 5\r\n", '5'},
      {"application/dtmf-relay", "Signal=12\r\n", 0},
      {"application/dtmf-relay", "Duration=160\r\n", 0},
      {"application/dtmf-relay", "Signal=E", 0},
      {"application/dtmf", "55", 0},
      {"text/plain", "Signal=1", 0},
      {"application/sdp", "1", 0},
  };
  for (const SCase& oCase : aCases) {
    EXPECT_EQ(ReadInfoDigit(oCase.m_szType, oCase.m_szBody), oCase.m_cExpected)
        << oCase.m_szType << " " << oCase.m_szBody;
  }
  EXPECT_TRUE(IsKeypadInfo(" Application/DTMF ; x=y"));
  EXPECT_TRUE(IsKeypadInfo("application/dtmf-relay"));
  EXPECT_FALSE(IsKeypadInfo("application/dtmf-relayx"));
}

}  // namespace
}  // namespace wdx::sip
