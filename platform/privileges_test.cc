#include "platform/privileges.h"

#include <gtest/gtest.h>

#include <string>

namespace wdx {
namespace {

TEST(Privileges, StateFromTheEffectiveCapabilities) {
  struct SCase {
    const char* szStatus;
    int iCapability;
    bool bRoot;
    EPrivilegeState eExpected;
  };
  const SCase aoCases[] = {
      {"Name:\tx\nCapEff:\t0000000000400000\n", WDX_CAP_SYS_BOOT, false, EPrivilegeState::HELD},
      {"CapEff:\t0000000000400000\n", WDX_CAP_SYS_PTRACE, false, EPrivilegeState::NOT_HELD},
      {"CapEff:\t0000000000080000\n", WDX_CAP_SYS_PTRACE, false, EPrivilegeState::HELD},
      {"CapEff:\t000001FFFFFFFFFF\n", WDX_CAP_SYS_BOOT, false, EPrivilegeState::HELD},
      {"CapEff:\t0000000000000000\n", WDX_CAP_SYS_BOOT, false, EPrivilegeState::NOT_HELD},
      {"CapPrm:\t0000000000400000\n", WDX_CAP_SYS_BOOT, false, EPrivilegeState::UNKNOWN},
      {"CapEff:\t00000000004000zz\n", WDX_CAP_SYS_BOOT, false, EPrivilegeState::UNKNOWN},
      {"CapEff:\t\n", WDX_CAP_SYS_BOOT, false, EPrivilegeState::UNKNOWN},
      {"CapEff:\t00000000000000000400000\n", WDX_CAP_SYS_BOOT, false, EPrivilegeState::UNKNOWN},
      {"", WDX_CAP_SYS_BOOT, false, EPrivilegeState::UNKNOWN},
      {"", WDX_CAP_SYS_BOOT, true, EPrivilegeState::HELD},
      {"CapEff:\t0000000000000000\n", WDX_CAP_SYS_PTRACE, true, EPrivilegeState::HELD},
  };
  for (const SCase& oCase : aoCases) {
    EXPECT_EQ(PrivilegeFromStatusText(oCase.szStatus, oCase.iCapability, oCase.bRoot),
              oCase.eExpected)
        << oCase.szStatus << " cap " << oCase.iCapability << " root " << oCase.bRoot;
  }
}

}  // namespace
}  // namespace wdx
