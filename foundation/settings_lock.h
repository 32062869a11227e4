// CSettingsLock: holds the cross-process lock of the settings file AutoSet.caf for one scope.
// Every read-modify-write of the file runs under it (the console's changes; the service's
// load, which may create the file, its fresh read at GO and its "SvrStatus" saves), so two
// writers never lose each other's lines. A plain read needs no lock: every save replaces the
// file whole, so a reader sees the old file or the new one.
//
// The lock is the named lock SETTINGS_MUTEX_NAME (see platform/named_lock.h). A holder that
// died leaves it to the next waiter; the file is whole whatever the holder did. When the lock
// cannot be used at all (no usable lock folder) the holder goes on without it, with an error
// in the process log, rather than never saving again; only a time-out refuses.
//
// Threading: one object per scope and thread. Objects of several threads and processes exclude
// one another; a thread that holds the lock may take it again (it is recursive).
#pragma once

#include <memory>

namespace wdx {

class INamedLock;

inline constexpr const char* SETTINGS_MUTEX_NAME = "MutexToProtectSettingsFile";
// Three waits of 5000 ms, as the other named locks of the system.
inline constexpr int SETTINGS_LOCK_WAIT_MS = 15000;

class CSettingsLock final {
 public:
  explicit CSettingsLock(int iWaitMs = SETTINGS_LOCK_WAIT_MS);
  ~CSettingsLock();
  CSettingsLock(const CSettingsLock&) = delete;
  CSettingsLock& operator=(const CSettingsLock&) = delete;

  bool IsHeld() const { return m_bHeld; }
  // Another holder kept the lock for the whole wait: the caller must not write.
  bool IsTimedOut() const { return m_bTimedOut; }

 private:
  std::unique_ptr<INamedLock> m_pLock;
  bool m_bHeld = false;
  bool m_bTimedOut = false;
};

}  // namespace wdx
