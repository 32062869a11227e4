// Named locks: exclusion between processes and between threads, abandonment by a dead holder,
// recursion, and the lock files themselves.
#include "platform/named_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using test::CChildProcess;
using test::CTempFolder;

bool WaitForFile(const std::string& sPath, int iTimeoutMs) {
  for (int iWaited = 0; iWaited < iTimeoutMs; iWaited += 2) {
    if (access(sPath.c_str(), F_OK) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

void Touch(const std::string& sPath) {
  std::ofstream(sPath) << "x";
}

// Takes the lock named argv[0], creates the file argv[1], then holds the lock for argv[2] ms
// (or until killed when "forever") and releases it.
WDX_TEST_CHILD(named_lock_holder) {
  if (argc < 3) return 2;
  auto pLock = CreateNamedLock(argv[0]);
  if (pLock == nullptr || pLock->Wait(5000) != ELockWait::ACQUIRED) return 3;
  Touch(argv[1]);
  if (std::string(argv[2]) == "forever") {
    for (;;) pause();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
  return pLock->Release() ? 0 : 4;
}

// Adds 1 to the number in file argv[1], argv[2] times, each under the lock named argv[0].
WDX_TEST_CHILD(named_lock_counter) {
  if (argc < 3) return 2;
  auto pLock = CreateNamedLock(argv[0]);
  if (pLock == nullptr) return 3;
  for (int i = std::atoi(argv[2]); i > 0; --i) {
    ELockWait eWait = pLock->Wait(10000);
    if (eWait != ELockWait::ACQUIRED) return 4;
    int iValue = 0;
    std::ifstream(argv[1]) >> iValue;
    std::ofstream(argv[1], std::ios::trunc) << iValue + 1;
    if (!pLock->Release()) return 5;
  }
  return 0;
}

// Takes and releases the lock named argv[0] from a static destructor, after the main thread's
// own thread-locals are gone, and creates the file argv[1] when that worked.
WDX_TEST_CHILD(named_lock_at_exit) {
  if (argc < 2) return 2;
  struct SAtExit {
    std::string m_sName, m_sDone;
    ~SAtExit() {
      auto pLock = CreateNamedLock(m_sName);
      if (pLock != nullptr && pLock->Wait(1000) == ELockWait::ACQUIRED && pLock->Release()) {
        Touch(m_sDone);
      }
    }
  };
  static SAtExit oAtExit{argv[0], argv[1]};
  auto pLock = CreateNamedLock(argv[0]);  // used once by the thread while it lives
  return pLock->Wait(0) == ELockWait::ACQUIRED && pLock->Release() ? 0 : 3;
}

class NamedLockTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* szOld = std::getenv("WDX_LOCK_DIR");
    m_bHadOld = szOld != nullptr;
    if (m_bHadOld) m_sOld = szOld;
    setenv("WDX_LOCK_DIR", m_oLocks.Path().c_str(), 1);
  }
  void TearDown() override {
    if (m_bHadOld) {
      setenv("WDX_LOCK_DIR", m_sOld.c_str(), 1);
    } else {
      unsetenv("WDX_LOCK_DIR");
    }
  }

  CTempFolder m_oLocks;
  CTempFolder m_oWork;
  bool m_bHadOld = false;
  std::string m_sOld;
};

// --- Between processes -------------------------------------------------------------------

TEST_F(NamedLockTest, LockHeldByAnotherProcessTimesOut) {
  std::string sReady = m_oWork.File("ready");
  CChildProcess oChild("named_lock_holder", {"ProcHeld", sReady, "forever"});
  ASSERT_TRUE(WaitForFile(sReady, 5000));
  auto pLock = CreateNamedLock("ProcHeld");
  ASSERT_NE(pLock, nullptr);
  EXPECT_EQ(pLock->Wait(0), ELockWait::TIMEOUT);
  auto oStart = std::chrono::steady_clock::now();
  EXPECT_EQ(pLock->Wait(150), ELockWait::TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - oStart, std::chrono::milliseconds(140));
  EXPECT_FALSE(pLock->Release());
}

TEST_F(NamedLockTest, HolderKilledWhileHoldingLeavesLockAbandoned) {
  std::string sReady = m_oWork.File("ready");
  CChildProcess oChild("named_lock_holder", {"ProcKilled", sReady, "forever"});
  ASSERT_TRUE(WaitForFile(sReady, 5000));
  auto pLock = CreateNamedLock("ProcKilled");
  ASSERT_NE(pLock, nullptr);
  oChild.Kill(SIGKILL);
  EXPECT_EQ(oChild.Wait(5000), 128 + SIGKILL);
  EXPECT_EQ(pLock->Wait(2000), ELockWait::ABANDONED);
  ASSERT_TRUE(pLock->Release());
  // A clean release leaves nothing behind to report.
  EXPECT_EQ(pLock->Wait(0), ELockWait::ACQUIRED);
  EXPECT_TRUE(pLock->Release());
}

TEST_F(NamedLockTest, WaiterGetsLockWhenOtherProcessReleasesIt) {
  std::string sReady = m_oWork.File("ready");
  CChildProcess oChild("named_lock_holder", {"ProcReleased", sReady, "200"});
  ASSERT_TRUE(WaitForFile(sReady, 5000));
  auto pLock = CreateNamedLock("ProcReleased");
  ASSERT_NE(pLock, nullptr);
  EXPECT_EQ(pLock->Wait(5000), ELockWait::ACQUIRED);
  EXPECT_EQ(oChild.Wait(5000), 0);
  EXPECT_TRUE(pLock->Release());
}

TEST_F(NamedLockTest, ProcessesUpdatingOneFileLoseNoUpdate) {
  std::string sCounter = m_oWork.File("counter");
  std::ofstream(sCounter) << 0;
  CChildProcess oFirst("named_lock_counter", {"ProcCounter", sCounter, "200"});
  CChildProcess oSecond("named_lock_counter", {"ProcCounter", sCounter, "200"});
  EXPECT_EQ(oFirst.Wait(30000), 0);
  EXPECT_EQ(oSecond.Wait(30000), 0);
  int iValue = 0;
  std::ifstream(sCounter) >> iValue;
  EXPECT_EQ(iValue, 400);
}

TEST_F(NamedLockTest, LockStillWorksInStaticDestructorsAtProcessEnd) {
  std::string sDone = m_oWork.File("done");
  CChildProcess oChild("named_lock_at_exit", {"AtExit", sDone});
  EXPECT_EQ(oChild.Wait(10000), 0);
  EXPECT_EQ(access(sDone.c_str(), F_OK), 0);
}

// --- Between threads of one process --------------------------------------------------------

TEST_F(NamedLockTest, ThreadsOfOneProcessExcludeEachOther) {
  std::atomic<int> iInside{0};
  std::atomic<bool> bOverlap{false};
  std::atomic<bool> bFailed{false};
  int iCounter = 0;
  auto pShared = CreateNamedLock("Threads");
  std::vector<std::thread> oThreads;
  for (int t = 0; t < 4; ++t) {
    oThreads.emplace_back([&, t] {
      auto pOwn = CreateNamedLock("Threads");
      INamedLock& oLock = t % 2 == 0 ? *pOwn : *pShared;  // own objects and one shared
      for (int i = 0; i < 2000; ++i) {
        if (oLock.Wait(10000) != ELockWait::ACQUIRED) {
          bFailed = true;
          return;
        }
        if (iInside.exchange(1) != 0) bOverlap = true;
        ++iCounter;
        iInside.store(0);
        if (!oLock.Release()) bFailed = true;
      }
    });
  }
  for (auto& oThread : oThreads) oThread.join();
  EXPECT_FALSE(bFailed);
  EXPECT_FALSE(bOverlap);
  EXPECT_EQ(iCounter, 8000);
}

ELockWait WaitInOtherThread(INamedLock& oLock, int iMilliseconds, bool bRelease = true) {
  ELockWait eResult = ELockWait::FAILED;
  std::thread([&] {
    eResult = oLock.Wait(iMilliseconds);
    if (bRelease && (eResult == ELockWait::ACQUIRED || eResult == ELockWait::ABANDONED)) {
      oLock.Release();
    }
  }).join();
  return eResult;
}

TEST_F(NamedLockTest, LockHeldByAnotherThreadTimesOut) {
  auto pLock = CreateNamedLock("ThreadHeld");
  ASSERT_EQ(pLock->Wait(0), ELockWait::ACQUIRED);
  EXPECT_EQ(WaitInOtherThread(*pLock, 0), ELockWait::TIMEOUT);
  EXPECT_EQ(WaitInOtherThread(*pLock, 50), ELockWait::TIMEOUT);
  EXPECT_TRUE(pLock->Release());
  EXPECT_EQ(WaitInOtherThread(*pLock, 0), ELockWait::ACQUIRED);
}

TEST_F(NamedLockTest, WaitingThreadGetsLockWhenOwnerReleases) {
  auto pLock = CreateNamedLock("ThreadHandOver");
  ASSERT_EQ(pLock->Wait(0), ELockWait::ACQUIRED);
  std::atomic<int> iResult{-1};
  std::thread oWaiter([&] {
    auto pOther = CreateNamedLock("ThreadHandOver");
    iResult = static_cast<int>(pOther->Wait(5000));
    if (iResult == static_cast<int>(ELockWait::ACQUIRED)) pOther->Release();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(iResult.load(), -1);
  EXPECT_TRUE(pLock->Release());
  oWaiter.join();
  EXPECT_EQ(iResult.load(), static_cast<int>(ELockWait::ACQUIRED));
}

TEST_F(NamedLockTest, RecursiveForOwningThreadAcrossObjects) {
  auto pFirst = CreateNamedLock("Recursive");
  auto pSecond = CreateNamedLock("Recursive");
  ASSERT_EQ(pFirst->Wait(0), ELockWait::ACQUIRED);
  EXPECT_EQ(pFirst->Wait(0), ELockWait::ACQUIRED);
  EXPECT_EQ(pSecond->Wait(0), ELockWait::ACQUIRED);
  EXPECT_TRUE(pSecond->Release());
  EXPECT_TRUE(pFirst->Release());
  EXPECT_EQ(WaitInOtherThread(*pFirst, 0), ELockWait::TIMEOUT);  // one level still held
  EXPECT_TRUE(pFirst->Release());
  EXPECT_FALSE(pFirst->Release());
  EXPECT_EQ(WaitInOtherThread(*pFirst, 0), ELockWait::ACQUIRED);
}

TEST_F(NamedLockTest, ReleaseByThreadThatDoesNotHoldFails) {
  auto pLock = CreateNamedLock("NonOwner");
  EXPECT_FALSE(pLock->Release());  // nobody holds it
  ASSERT_EQ(pLock->Wait(0), ELockWait::ACQUIRED);
  bool bReleased = true;
  std::thread([&] { bReleased = pLock->Release(); }).join();
  EXPECT_FALSE(bReleased);
  EXPECT_EQ(WaitInOtherThread(*pLock, 0), ELockWait::TIMEOUT);  // still held by this thread
  EXPECT_TRUE(pLock->Release());
}

TEST_F(NamedLockTest, ThreadEndingWhileHoldingLeavesLockAbandoned) {
  auto pLock = CreateNamedLock("ThreadEnded");
  EXPECT_EQ(WaitInOtherThread(*pLock, 0, false), ELockWait::ACQUIRED);
  EXPECT_EQ(pLock->Wait(1000), ELockWait::ABANDONED);
  EXPECT_TRUE(pLock->Release());
  EXPECT_EQ(pLock->Wait(0), ELockWait::ACQUIRED);
  EXPECT_TRUE(pLock->Release());
}

TEST_F(NamedLockTest, DifferentNamesDoNotExclude) {
  auto pFirst = CreateNamedLock("NameA");
  auto pSecond = CreateNamedLock("NameB");
  ASSERT_EQ(pFirst->Wait(0), ELockWait::ACQUIRED);
  EXPECT_EQ(WaitInOtherThread(*pSecond, 0), ELockWait::ACQUIRED);
  EXPECT_TRUE(pFirst->Release());
}

// --- Lock files and folder ---------------------------------------------------------------

TEST_F(NamedLockTest, EmptyNameGivesNoLock) {
  EXPECT_EQ(CreateNamedLock(""), nullptr);
}

TEST_F(NamedLockTest, LockFileIsNamedAfterLockWithMode0600) {
  auto pLock = CreateNamedLock("Global\\My Mutex/1");
  ASSERT_NE(pLock, nullptr);
  EXPECT_EQ(pLock->GetName(), "Global\\My Mutex/1");
  struct stat oInfo;
  ASSERT_EQ(stat(m_oLocks.File("Global_My_Mutex_1.lock").c_str(), &oInfo), 0);
  EXPECT_EQ(oInfo.st_mode & 0777, 0600u);
}

TEST_F(NamedLockTest, LockFolderFromEnvironmentIsMadeWithMode0700) {
  std::string sFolder = m_oWork.Path() + "a/b";
  setenv("WDX_LOCK_DIR", sFolder.c_str(), 1);
  EXPECT_EQ(GetLockFolder(), sFolder + "/");
  struct stat oInfo;
  ASSERT_EQ(stat(sFolder.c_str(), &oInfo), 0);
  EXPECT_EQ(oInfo.st_mode & 0777, 0700u);
  EXPECT_NE(CreateNamedLock("InNewFolder"), nullptr);
}

TEST_F(NamedLockTest, UnusableLockFolderGivesNoLock) {
  m_oWork.Write("plain", "not a folder");
  setenv("WDX_LOCK_DIR", m_oWork.File("plain/locks").c_str(), 1);
  EXPECT_EQ(GetLockFolder(), "");
  EXPECT_EQ(CreateNamedLock("Nowhere"), nullptr);
}

TEST_F(NamedLockTest, GarbageInLockFileDoesNotHinderLocking) {
  m_oLocks.Write("Garbage.lock", std::string("\xff\x00junk-12x\n\n", 12) + std::string(5000, 'z'));
  auto pLock = CreateNamedLock("Garbage");
  ASSERT_NE(pLock, nullptr);
  EXPECT_EQ(pLock->Wait(0), ELockWait::ACQUIRED);
  EXPECT_TRUE(pLock->Release());
}

}  // namespace
}  // namespace wdx
