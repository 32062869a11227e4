// CContactLedger: the people the phone component calls, in the order they were added, and the
// walk over them that a calling cycle makes (GetFirst, then GetNext until it answers null). The
// ledger owns its CContact objects. Its lock is the named lock "ZuvContactLedger" (1000 ms), set
// by Initialize.
//
// Threading: the object and the calling thread share one ledger; each holds the ledger's lock
// (Lock(1000) / UnLock) around every call here.
#pragma once

#include <string>

#include "foundation/pointer_stack.h"
#include "foundation/zuv_base.h"

namespace wdx::rirer {

inline constexpr const char* LEDGER_LOCK_NAME = "ZuvContactLedger";
inline constexpr int LEDGER_LOCK_WAIT_MS = 1000;

// One person to call: a name and a number, kept exactly as given.
class CContact final : public CZuvBase {
 public:
  CContact(const std::string& sName, const std::string& sNumber);

  CZuvStr m_oStrName;
  CZuvStr m_oStrNumber;
};

class CContactLedger final : public CZuvBase {
 public:
  CContactLedger() = default;
  ~CContactLedger() override;

  // Names the lock and sets its wait; marks the ledger initialised.
  bool Initialize();
  // Refuses (with its error lines) an empty name or number; duplicates are kept.
  bool AddAddress(const std::string& sName, const std::string& sNumber);
  // Frees every contact and ends any walk; always true.
  bool DeleteAll();
  // Starts a walk: the first contact added, or null.
  CContact* GetFirst();
  // The following contact, or null (which ends the walk).
  CContact* GetNext();

  int GetCount() { return m_oContacts.GetCount(); }
  bool IsWalking() const { return m_bWalking; }
  bool IsInitialized() const { return m_bInitialized; }
  int GetLockWaitMs() const { return m_iLockWaitMs; }

 private:
  CContact* m_pCurrent = nullptr;
  bool m_bWalking = false;
  bool m_bInitialized = false;
  int m_iLockWaitMs = LEDGER_LOCK_WAIT_MS;
  CPointerStack m_oContacts;
  int m_iWalkIndex = 0;
};

}  // namespace wdx::rirer
