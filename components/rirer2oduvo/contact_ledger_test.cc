// The contact ledger: adding and refusing contacts, the walk, deleting.
#include "components/rirer2oduvo/contact_ledger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/log_capture.h"

namespace wdx::rirer {
namespace {

std::vector<std::string> Walk(CContactLedger& oLedger) {
  std::vector<std::string> aSeen;
  for (CContact* p = oLedger.GetFirst(); p != nullptr; p = oLedger.GetNext()) {
    aSeen.push_back(std::string(p->m_oStrName.GetBuffer()) + "=" + p->m_oStrNumber.GetBuffer());
  }
  return aSeen;
}

TEST(ContactLedgerTest, RefusesMissingOrOverlongFieldsWithTheirErrorLines) {
  struct SCase {
    std::string m_sName, m_sNumber, m_sError;
  };
  const SCase aCases[] = {
      {"", "sim:yes", "CContactLedger::AddAddress() NAME is missing for number = sim:yes"},
      {"Ann", "", "CContactLedger::AddAddress() PHONE NUMBER is missing for name = Ann"},
      {"Ann", std::string(5000, '5'),
       "CContactLedger::AddAddress() NAME or PHONE NUMBER is too long."},
  };
  for (const SCase& oCase : aCases) {
    test::CLogCapture oLog;
    CContactLedger oLedger;
    oLedger.Initialize();
    ASSERT_TRUE(oLedger.AddAddress("Kept", "1"));
    EXPECT_FALSE(oLedger.AddAddress(oCase.m_sName, oCase.m_sNumber)) << oCase.m_sError;
    EXPECT_TRUE(oLog.HasError(oCase.m_sError)) << oLog.Text();
    EXPECT_TRUE(oLog.HasError("CContactLedger::AddAddress() failed."));
    EXPECT_EQ(Walk(oLedger), std::vector<std::string>{"Kept=1"});
  }
}

TEST(ContactLedgerTest, WalksInTheOrderAddedKeepsDuplicatesAndDeletesAll) {
  CContactLedger oLedger;
  EXPECT_FALSE(oLedger.IsInitialized());
  oLedger.Initialize();
  EXPECT_STREQ(oLedger.GetBuffer(), "ZuvContactLedger");
  EXPECT_EQ(oLedger.GetFirst(), nullptr);
  EXPECT_FALSE(oLedger.IsWalking());
  for (const char* szName : {"Ann", "Bob", "Ann"})
    ASSERT_TRUE(oLedger.AddAddress(szName, " +1 (555) x"));
  EXPECT_EQ(Walk(oLedger),
            (std::vector<std::string>{"Ann= +1 (555) x", "Bob= +1 (555) x", "Ann= +1 (555) x"}));
  EXPECT_FALSE(oLedger.IsWalking());
  EXPECT_EQ(oLedger.GetNext(), nullptr);  // the walk is over until GetFirst
  ASSERT_NE(oLedger.GetFirst(), nullptr);
  EXPECT_TRUE(oLedger.IsWalking());
  EXPECT_TRUE(oLedger.DeleteAll());
  EXPECT_FALSE(oLedger.IsWalking());
  EXPECT_EQ(oLedger.GetNext(), nullptr);
  EXPECT_EQ(oLedger.GetCount(), 0);
  EXPECT_TRUE(Walk(oLedger).empty());
}

}  // namespace
}  // namespace wdx::rirer
