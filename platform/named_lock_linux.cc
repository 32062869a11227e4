// Named locks on flock(2). A lock file's flock belongs to the open file description, which all
// threads of a process share, so each process keeps one state per lock file: the descriptor,
// the owning thread and its depth. Threads exclude one another on that state; only the first
// level of the owning thread takes the flock. The holder's pid is written at the start of the
// file while it holds the lock and cleared on release, so that a new holder finding the pid of
// a dead process knows the lock was abandoned. The pid record is the file's first bytes, mapped
// shared into memory, so that taking and releasing an uncontended lock costs two flock calls
// and no more (the event log takes a lock for every entry). A thread that ends while holding a lock
// releases it, and the next holder in the process is told it was abandoned.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "platform/file_system.h"
#include "platform/named_lock.h"

namespace wdx {
namespace {

using CSteady = std::chrono::steady_clock;

constexpr size_t kMaxFileNameLength = 200;
constexpr long kFirstPollNs = 20'000;
constexpr long kMaxPollNs = 1'000'000;
constexpr size_t kPidRecordSize = 16;  // "%10d\n", padded with NULs

struct SLockState {
  std::string m_sPath;
  int m_iFd = -1;
  char* m_pRecord = nullptr;  // the pid record, mapped; nullptr when the file is read-only
  std::mutex m_oMutex;
  std::condition_variable m_oFree;
  std::thread::id m_oOwner;  // holds the lock, or is taking the file lock (depth 0)
  int m_iDepth = 0;
  bool m_bAbandoned = false;  // a thread of this process ended while holding it

  SLockState() = default;
  SLockState(const SLockState&) = delete;
  SLockState& operator=(const SLockState&) = delete;
  ~SLockState() {
    if (m_pRecord != nullptr) munmap(m_pRecord, kPidRecordSize);
    if (m_iFd >= 0) close(m_iFd);  // releases the flock if still held
  }
};

// Maps the pid record, making the file long enough to hold it (only ever lengthened, so a
// record another process wrote stays). Lock files must not be truncated while in use.
char* MapRecord(int iFd) {
  struct stat oInfo;
  if (fstat(iFd, &oInfo) != 0) return nullptr;
  if (oInfo.st_size < static_cast<off_t>(kPidRecordSize) &&
      ftruncate(iFd, static_cast<off_t>(kPidRecordSize)) != 0) {
    return nullptr;
  }
  void* pMap = mmap(nullptr, kPidRecordSize, PROT_READ | PROT_WRITE, MAP_SHARED, iFd, 0);
  return pMap == MAP_FAILED ? nullptr : static_cast<char*>(pMap);
}

void WritePid(SLockState& oState, int iPid) {
  if (oState.m_pRecord == nullptr) return;
  char aRecord[kPidRecordSize] = {};
  std::snprintf(aRecord, sizeof(aRecord), "%10d\n", iPid);
  std::memcpy(oState.m_pRecord, aRecord, kPidRecordSize);
}

// True when the file names a holder that is gone: a process that no longer exists, or this
// very process (an earlier process with the same pid, since a live holder here is known).
bool PreviousHolderDied(const SLockState& oState) {
  char aRecord[kPidRecordSize + 1] = {};
  std::memcpy(aRecord, oState.m_pRecord, kPidRecordSize);
  long iPid = std::strtol(aRecord, nullptr, 10);
  if (iPid <= 0) return false;
  if (iPid == getpid()) return true;
  return kill(static_cast<pid_t>(iPid), 0) != 0 && errno == ESRCH;
}

void ReleaseFileLock(SLockState& oState) {
  WritePid(oState, 0);
  flock(oState.m_iFd, LOCK_UN);
}

// The locks held by the calling thread. Kept behind plain thread-locals so that a lock taken
// while the thread (or the process, in a static destructor) is already ending stays usable;
// such late locks are simply not tracked.
using CHeldList = std::vector<std::shared_ptr<SLockState>>;
thread_local CHeldList* t_pHeldLocks = nullptr;
thread_local bool t_bThreadEnded = false;

// Releases, as abandoned, every lock the thread still holds when it ends.
class CThreadEnd final {
 public:
  CThreadEnd() = default;
  CThreadEnd(const CThreadEnd&) = delete;
  CThreadEnd& operator=(const CThreadEnd&) = delete;
  ~CThreadEnd() {
    t_bThreadEnded = true;
    if (t_pHeldLocks == nullptr) return;
    std::thread::id oMe = std::this_thread::get_id();
    for (auto& pState : *t_pHeldLocks) {
      std::lock_guard oGuard(pState->m_oMutex);
      if (pState->m_oOwner != oMe) continue;
      ReleaseFileLock(*pState);
      pState->m_oOwner = std::thread::id();
      pState->m_iDepth = 0;
      pState->m_bAbandoned = true;
      pState->m_oFree.notify_all();
    }
    delete t_pHeldLocks;
    t_pHeldLocks = nullptr;
  }
};
thread_local CThreadEnd t_oThreadEnd;

void RememberHeld(const std::shared_ptr<SLockState>& pState) {
  if (t_bThreadEnded) return;
  if (t_pHeldLocks == nullptr) {
    t_pHeldLocks = new CHeldList();
    static_cast<void>(&t_oThreadEnd);  // first use arms its destructor for this thread
  }
  t_pHeldLocks->push_back(pState);
}

void ForgetHeld(const SLockState* pState) {
  if (t_pHeldLocks == nullptr) return;
  for (size_t i = t_pHeldLocks->size(); i-- > 0;) {
    if ((*t_pHeldLocks)[i].get() == pState) {
      t_pHeldLocks->erase(t_pHeldLocks->begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

// One state per lock file in this process, alive while a lock object uses it.
class CLockTable final {
 public:
  std::shared_ptr<SLockState> Get(const std::string& sPath) {
    std::lock_guard oGuard(m_oMutex);
    auto it = m_oStates.find(sPath);
    if (it != m_oStates.end()) {
      if (auto pState = it->second.lock()) return pState;
    }
    auto pState = std::make_shared<SLockState>();
    pState->m_sPath = sPath;
    pState->m_iFd = open(sPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (pState->m_iFd >= 0) {
      pState->m_pRecord = MapRecord(pState->m_iFd);
    } else if (errno == EACCES) {
      // Another user's lock file still locks; only the holder's pid cannot be recorded.
      pState->m_iFd = open(sPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    if (pState->m_iFd < 0) return nullptr;
    m_oStates[sPath] = pState;
    return pState;
  }

 private:
  std::mutex m_oMutex;
  std::map<std::string, std::weak_ptr<SLockState>> m_oStates;
};

CLockTable& LockTable() {
  static CLockTable* pTable = new CLockTable();  // never destroyed: used until the very end
  return *pTable;
}

void PauseNs(long iNanoseconds) {
  struct timespec oPause = {0, iNanoseconds};
  nanosleep(&oPause, nullptr);
}

class CNamedLock final : public INamedLock {
 public:
  CNamedLock(std::string sName, std::shared_ptr<SLockState> pState)
      : m_sName(std::move(sName)), m_pState(std::move(pState)) {}
  CNamedLock(const CNamedLock&) = delete;
  CNamedLock& operator=(const CNamedLock&) = delete;

  ELockWait Wait(int iMilliseconds) override;
  bool Release() override;
  const std::string& GetName() const override { return m_sName; }

 private:
  ELockWait TakeOver(std::unique_lock<std::mutex>& oGuard);
  bool PollFileLock(int iMilliseconds, CSteady::time_point oDeadline);

  std::string m_sName;
  std::shared_ptr<SLockState> m_pState;
};

ELockWait CNamedLock::Wait(int iMilliseconds) {
  SLockState& oState = *m_pState;
  const std::thread::id oMe = std::this_thread::get_id();
  std::unique_lock oGuard(oState.m_oMutex);
  if (oState.m_oOwner == oMe) {
    ++oState.m_iDepth;
    return ELockWait::ACQUIRED;
  }
  CSteady::time_point oDeadline{};
  if (iMilliseconds > 0) oDeadline = CSteady::now() + std::chrono::milliseconds(iMilliseconds);
  while (oState.m_oOwner != std::thread::id()) {
    if (iMilliseconds == 0) return ELockWait::TIMEOUT;
    if (iMilliseconds < 0) {
      oState.m_oFree.wait(oGuard);
    } else if (oState.m_oFree.wait_until(oGuard, oDeadline) == std::cv_status::timeout &&
               oState.m_oOwner != std::thread::id()) {
      return ELockWait::TIMEOUT;
    }
  }
  if (flock(oState.m_iFd, LOCK_EX | LOCK_NB) == 0) return TakeOver(oGuard);
  if (errno != EWOULDBLOCK && errno != EINTR) {
    DebugOutput(("CNamedLock::Wait() cannot lock " + oState.m_sPath).c_str());
    return ELockWait::FAILED;
  }
  if (iMilliseconds == 0) return ELockWait::TIMEOUT;
  // Another process holds it: claim the lock in this process and poll without the mutex.
  oState.m_oOwner = oMe;
  oState.m_iDepth = 0;
  oGuard.unlock();
  bool bTaken = PollFileLock(iMilliseconds, oDeadline);
  oGuard.lock();
  if (bTaken) return TakeOver(oGuard);
  oState.m_oOwner = std::thread::id();
  oGuard.unlock();
  oState.m_oFree.notify_one();
  return ELockWait::TIMEOUT;
}

bool CNamedLock::PollFileLock(int iMilliseconds, CSteady::time_point oDeadline) {
  long iPauseNs = kFirstPollNs;
  for (;;) {
    long iSleepNs = iPauseNs;
    if (iMilliseconds > 0) {
      auto iLeftNs =
          std::chrono::duration_cast<std::chrono::nanoseconds>(oDeadline - CSteady::now()).count();
      if (iLeftNs <= 0) return false;
      if (iLeftNs < iSleepNs) iSleepNs = static_cast<long>(iLeftNs);
    }
    PauseNs(iSleepNs);
    if (flock(m_pState->m_iFd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    iPauseNs = iPauseNs * 2 > kMaxPollNs ? kMaxPollNs : iPauseNs * 2;
  }
}

// The file lock is held: record this process and make the calling thread the owner.
ELockWait CNamedLock::TakeOver(std::unique_lock<std::mutex>& oGuard) {
  SLockState& oState = *m_pState;
  ELockWait eResult = ELockWait::ACQUIRED;
  if (oState.m_bAbandoned) {
    oState.m_bAbandoned = false;
    eResult = ELockWait::ABANDONED;
  }
  if (oState.m_pRecord != nullptr) {
    if (PreviousHolderDied(oState)) eResult = ELockWait::ABANDONED;
    WritePid(oState, static_cast<int>(getpid()));
  }
  oState.m_oOwner = std::this_thread::get_id();
  oState.m_iDepth = 1;
  oGuard.unlock();
  RememberHeld(m_pState);
  return eResult;
}

bool CNamedLock::Release() {
  SLockState& oState = *m_pState;
  std::unique_lock oGuard(oState.m_oMutex);
  if (oState.m_oOwner != std::this_thread::get_id() || oState.m_iDepth == 0) return false;
  if (--oState.m_iDepth > 0) return true;
  ReleaseFileLock(oState);
  oState.m_oOwner = std::thread::id();
  oGuard.unlock();
  oState.m_oFree.notify_one();
  ForgetHeld(&oState);
  return true;
}

// Makes the folder and its parents (mode 0700); true when the folder can hold lock files.
bool PrepareFolder(const std::string& sFolder) {
  for (size_t iSlash = sFolder.find('/', 1); iSlash != std::string::npos;
       iSlash = sFolder.find('/', iSlash + 1)) {
    mkdir(sFolder.substr(0, iSlash).c_str(), 0700);
  }
  return access(sFolder.c_str(), W_OK | X_OK) == 0;
}

std::string LockFileName(const std::string& sName) {
  std::string sFile = sName.substr(0, kMaxFileNameLength);
  for (char& cChar : sFile) {
    bool bKeep = (cChar >= 'a' && cChar <= 'z') || (cChar >= 'A' && cChar <= 'Z') ||
                 (cChar >= '0' && cChar <= '9') || cChar == '.' || cChar == '_' || cChar == '-';
    if (!bKeep) cChar = '_';
  }
  return sFile + ".lock";
}

}  // namespace

std::string GetLockFolder() {
  const char* szOverride = std::getenv("WDX_LOCK_DIR");
  if (szOverride != nullptr && *szOverride != '\0') {
    std::string sFolder = JoinPath(szOverride, "");
    return PrepareFolder(sFolder) ? sFolder : std::string();
  }
  std::string sFolder = "/run/lock/wardenix/";
  if (PrepareFolder(sFolder)) return sFolder;
  sFolder = GetProgramFolder() + "locks/";
  return PrepareFolder(sFolder) ? sFolder : std::string();
}

std::unique_ptr<INamedLock> CreateNamedLock(const std::string& sName) {
  if (sName.empty()) return nullptr;
  std::string sFolder = GetLockFolder();
  if (sFolder.empty()) {
    DebugOutput(("CreateNamedLock() has no usable lock folder for " + sName).c_str());
    return nullptr;
  }
  auto pState = LockTable().Get(sFolder + LockFileName(sName));
  if (pState == nullptr) {
    DebugOutput(("CreateNamedLock() cannot open the lock file for " + sName).c_str());
    return nullptr;
  }
  return std::make_unique<CNamedLock>(sName, std::move(pState));
}

}  // namespace wdx
