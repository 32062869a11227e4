#include "foundation/settings_lock.h"

#include "foundation/process_log.h"
#include "platform/named_lock.h"

namespace wdx {

CSettingsLock::CSettingsLock(int iWaitMs) : m_pLock(CreateNamedLock(SETTINGS_MUTEX_NAME)) {
  const ELockWait eWait = m_pLock ? m_pLock->Wait(iWaitMs) : ELockWait::FAILED;
  m_bHeld = eWait == ELockWait::ACQUIRED || eWait == ELockWait::ABANDONED;
  m_bTimedOut = eWait == ELockWait::TIMEOUT;
  if (m_bTimedOut) {
    ZuvLogError("CSettingsLock timed out waiting for MutexToProtectSettingsFile.");
  } else if (!m_bHeld) {
    ZuvLogError("CSettingsLock cannot use MutexToProtectSettingsFile; going on without it.");
  }
}

CSettingsLock::~CSettingsLock() {
  if (m_bHeld) m_pLock->Release();
}

}  // namespace wdx
