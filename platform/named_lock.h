// A named lock shared by every thread and process of the system: the stand-in for a named
// mutex. Locks of one name exclude one another across processes (flock on a lock file named
// after the lock in the lock folder) and across threads of one process. A holder that dies
// releases the lock with its process; the next waiter is told the lock was abandoned.
// The lock is recursive for the owning thread: a thread that holds a name may wait for it again
// (through this object or another of the same name) and must release it as often. A thread
// that ends while holding a lock releases it, and the next holder is told it was abandoned.
//
// Lock folder: WDX_LOCK_DIR when set, else /run/lock/wardenix when it can be made, else
// "locks/" under the program folder.
//
// Threading: one INamedLock object may be used by several threads; ownership follows the thread
// that waited successfully.
#pragma once

#include <memory>
#include <string>

namespace wdx {

enum class ELockWait {
  ACQUIRED,   // the caller holds the lock
  ABANDONED,  // the caller holds the lock; its previous holder died without releasing it
  TIMEOUT,    // not acquired within the wait
  FAILED      // the lock cannot be used (lock folder or file not available)
};

class INamedLock {
 public:
  virtual ~INamedLock() = default;
  // Waits at most iMilliseconds (0 = try once, negative = without limit).
  virtual ELockWait Wait(int iMilliseconds) = 0;
  // Releases one level of ownership; false when the calling thread does not hold the lock.
  virtual bool Release() = 0;
  virtual const std::string& GetName() const = 0;
};

// Opens (creating when needed) the lock of that name; nullptr when the name is empty or the
// lock folder cannot be used. Characters other than letters, digits, '.', '_' and '-' are
// replaced by '_' in the lock file's name, which is that text (at most 200 characters) + ".lock".
// Lock files have mode 0600; another user's lock file still locks (read-only), without the
// "abandoned" report.
std::unique_ptr<INamedLock> CreateNamedLock(const std::string& sName);

// The folder that holds the lock files (see above); made on first use with mode 0700.
std::string GetLockFolder();

}  // namespace wdx
