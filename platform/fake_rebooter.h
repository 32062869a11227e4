// CFakeRebooter: a rebooter for tests that installs itself for its lifetime, says whether the
// privilege is held as the test sets, and counts the requests instead of restarting anything.
// m_fnOnRequest, when set, runs at each request (to see what had been done before it).
//
// Threading: one test thread; installed and removed while no other thread uses the rebooter.
#pragma once

#include <functional>

#include "platform/reboot.h"

namespace wdx {

class CFakeRebooter final : public IRebooter {
 public:
  CFakeRebooter() { SetRebooterForTesting(this); }
  ~CFakeRebooter() override { SetRebooterForTesting(nullptr); }
  CFakeRebooter(const CFakeRebooter&) = delete;
  CFakeRebooter& operator=(const CFakeRebooter&) = delete;

  EPrivilegeState GetRebootPrivilege() override { return m_ePrivilege; }
  bool RequestReboot() override {
    ++m_iRequests;
    if (m_fnOnRequest) m_fnOnRequest();
    return m_bAccept;
  }

  EPrivilegeState m_ePrivilege = EPrivilegeState::HELD;
  bool m_bAccept = true;
  int m_iRequests = 0;
  std::function<void()> m_fnOnRequest;
};

}  // namespace wdx
