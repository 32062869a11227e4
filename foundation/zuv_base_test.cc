#include "foundation/zuv_base.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/named_lock.h"
#include "tests/support/child_process.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

// A lock that answers each Wait from a script (ACQUIRED once the script is used up) and whose
// Release succeeds or fails as the test says.
class CScriptedLock final : public INamedLock {
 public:
  CScriptedLock(std::string sName, std::deque<ELockWait> oScript, bool bReleaseWorks)
      : m_sName(std::move(sName)), m_oScript(std::move(oScript)), m_bReleaseWorks(bReleaseWorks) {}

  ELockWait Wait(int iMilliseconds) override {
    ++m_iWaits;
    m_iLastWaitMs = iMilliseconds;
    if (m_oScript.empty()) return ELockWait::ACQUIRED;
    const ELockWait eResult = m_oScript.front();
    m_oScript.pop_front();
    return eResult;
  }
  bool Release() override {
    ++m_iReleases;
    return m_bReleaseWorks;
  }
  const std::string& GetName() const override { return m_sName; }

  int m_iWaits = 0;
  int m_iReleases = 0;
  int m_iLastWaitMs = -1;

 private:
  std::string m_sName;
  std::deque<ELockWait> m_oScript;
  bool m_bReleaseWorks;
};

// A CZuvBase whose named lock is a CScriptedLock (or none at all when bCanOpen is false).
class CScriptedBase final : public CZuvBase {
 public:
  explicit CScriptedBase(const char* szName, std::deque<ELockWait> oScript = {},
                         bool bReleaseWorks = true, bool bCanOpen = true)
      : CZuvBase(szName),
        m_oScript(std::move(oScript)),
        m_bReleaseWorks(bReleaseWorks),
        m_bCanOpen(bCanOpen) {}

  CScriptedLock* m_pLock = nullptr;  // owned by the base once opened
  int m_iOpens = 0;

 protected:
  std::unique_ptr<INamedLock> OpenNamedLock(const std::string& sName) override {
    ++m_iOpens;
    if (!m_bCanOpen) return nullptr;
    auto pLock = std::make_unique<CScriptedLock>(sName, m_oScript, m_bReleaseWorks);
    m_pLock = pLock.get();
    return pLock;
  }

 private:
  std::deque<ELockWait> m_oScript;
  bool m_bReleaseWorks;
  bool m_bCanOpen;
};

// --- Liveness ----------------------------------------------------------------------------------

TEST(ZuvBaseLive, NewObjectIsLive) {
  CZuvBase oBase("label");
  EXPECT_TRUE(oBase.IsLive());
  EXPECT_STREQ(oBase.GetBuffer(), "label");
}

TEST(ZuvBaseLive, IdentifierZeroIsNotLive) {
  test::CLogCapture oLog;
  CZuvBase oBase;
  oBase.SetId(0);
  EXPECT_FALSE(oBase.IsLive());
  EXPECT_TRUE(oLog.HasError("CZuvBase::ObjectId is invalid."));
  oBase.SetId(1002);
  EXPECT_TRUE(oBase.IsLive());
}

// --- Lock logic (scripted lock) -----------------------------------------------------------------

TEST(ZuvBaseLock, EmptyNameFailsAtOnce) {
  test::CLogCapture oLog;
  CScriptedBase oBase("");
  EXPECT_FALSE(oBase.Lock());
  EXPECT_FALSE(oBase.Lock(10));
  EXPECT_EQ(oBase.m_iOpens, 0);
  EXPECT_TRUE(oLog.HasError("CZuvBase::Lock() called m_oStrMutexName empty."));
  EXPECT_TRUE(
      oLog.HasError("CZuvBase::Lock(iMaxWaitInMilliseconds) called m_oStrMutexName empty."));
}

TEST(ZuvBaseLock, SecondLockOnTheSameObjectFails) {
  test::CLogCapture oLog;
  CScriptedBase oBase("Shared");
  ASSERT_TRUE(oBase.Lock(50));
  EXPECT_TRUE(oBase.IsLocked());
  EXPECT_FALSE(oBase.Lock(50));
  EXPECT_FALSE(oBase.Lock());
  EXPECT_EQ(oBase.m_pLock->m_iWaits, 1);
  EXPECT_TRUE(oLog.HasError(
      "CZuvBase::Lock(iMaxWaitInMilliseconds) called for mutex named 'Shared' already has been "
      "locked by another."));
  EXPECT_TRUE(oLog.HasError(
      "CZuvBase::Lock() called for mutex named 'Shared' already has been locked by another."));
  ASSERT_TRUE(oBase.UnLock());
  EXPECT_FALSE(oBase.IsLocked());
  EXPECT_TRUE(oBase.Lock(50));
  EXPECT_EQ(oBase.m_iOpens, 1);  // the lock stays open from the first Lock on
}

TEST(ZuvBaseLock, ThreeTimeoutsFail) {
  test::CLogCapture oLog;
  CScriptedBase oBase("Busy", {ELockWait::TIMEOUT, ELockWait::TIMEOUT, ELockWait::TIMEOUT});
  EXPECT_FALSE(oBase.Lock(25));
  EXPECT_FALSE(oBase.IsLocked());
  EXPECT_EQ(oBase.m_pLock->m_iWaits, 3);
  EXPECT_EQ(oBase.m_pLock->m_iLastWaitMs, 25);
  EXPECT_EQ(oLog.CountErrors("CZuvBase::Lock(iMaxWaitInMilliseconds) TIMEOUT."), 3);
  EXPECT_EQ(oLog.CountErrors("CZuvBase::Lock( int iMilliseconds )  failed."), 1);
}

TEST(ZuvBaseLock, FormWithoutArgumentWaits5000AndUsesItsOwnTexts) {
  test::CLogCapture oLog;
  CScriptedBase oBase("Busy", {ELockWait::TIMEOUT, ELockWait::FAILED, ELockWait::TIMEOUT});
  EXPECT_FALSE(oBase.Lock());
  EXPECT_EQ(oBase.m_pLock->m_iLastWaitMs, 5000);
  EXPECT_EQ(oLog.CountErrors("CZuvBase::Lock() TIMEOUT."), 2);
  EXPECT_EQ(oLog.CountErrors("CZuvBase::Lock() failed."), 1);
}

TEST(ZuvBaseLock, AbandonedCountsAsAcquired) {
  CScriptedBase oBase("Orphan", {ELockWait::ABANDONED});
  EXPECT_TRUE(oBase.Lock(10));
  EXPECT_TRUE(oBase.IsLocked());
}

TEST(ZuvBaseLock, LastAttemptMaySucceed) {
  test::CLogCapture oLog;
  CScriptedBase oBase("Late", {ELockWait::TIMEOUT, ELockWait::FAILED});
  EXPECT_TRUE(oBase.Lock(10));
  EXPECT_EQ(oBase.m_pLock->m_iWaits, 3);
  EXPECT_EQ(oLog.CountErrors("CZuvBase::Lock(iMaxWaitInMilliseconds) TIMEOUT."), 1);
  EXPECT_FALSE(oLog.HasError("CZuvBase::Lock( int iMilliseconds )  failed."));
}

TEST(ZuvBaseLock, LockThatCannotBeOpenedFails) {
  test::CLogCapture oLog;
  CScriptedBase oBase("NoFolder", {}, true, false);
  EXPECT_FALSE(oBase.Lock(10));
  EXPECT_FALSE(oBase.Lock());
  EXPECT_TRUE(oLog.HasError("CZuvBase::Lock(iMaxWaitInMilliseconds) cannot create Mutex."));
  EXPECT_TRUE(oLog.HasError("CZuvBase::Lock() cannot create Mutex."));
  EXPECT_EQ(oBase.m_iOpens, 2);
}

TEST(ZuvBaseUnLock, WithoutALockSucceeds) {
  CScriptedBase oBase("Never");
  EXPECT_TRUE(oBase.UnLock());
  EXPECT_TRUE(oBase.UnLock(3));
  EXPECT_EQ(oBase.m_iOpens, 0);
}

TEST(ZuvBaseUnLock, FailedReleaseKeepsTheObjectLocked) {
  test::CLogCapture oLog;
  CScriptedBase oBase("Stuck", {}, false);
  ASSERT_TRUE(oBase.Lock(10));
  EXPECT_FALSE(oBase.UnLock());
  EXPECT_TRUE(oLog.HasError("CZuvBase::UnLock() failed."));
  EXPECT_TRUE(oBase.IsLocked());
  EXPECT_FALSE(oBase.Lock(10));
  EXPECT_TRUE(oLog.HasError(
      "CZuvBase::Lock(iMaxWaitInMilliseconds) called for mutex named 'Stuck' already has been "
      "locked by another."));
}

TEST(ZuvBaseUnLock, RetryingUnlockTriesEachTimeThenGivesUp) {
  test::CLogCapture oLog;
  CScriptedBase oBase("Stuck", {}, false);
  ASSERT_TRUE(oBase.Lock(10));
  EXPECT_FALSE(oBase.UnLock(4));
  EXPECT_EQ(oBase.m_pLock->m_iReleases, 4);
  EXPECT_TRUE(oBase.IsLocked());
  // The failure goes to the debug output only.
  EXPECT_FALSE(oLog.HasError("CZuvBase::UnLock( iMaxRetries ) failed."));
}

// --- Lock across processes (the real named lock) -----------------------------------------------

std::string UniqueLockName(const char* szWhat) {
  return std::string("WdxTest") + szWhat + std::to_string(getpid());
}

void WaitForFile(const std::string& sPath) {
  for (int i = 0; i < 1000 && access(sPath.c_str(), F_OK) != 0; ++i) usleep(10'000);
}

// argv: lock name, ready file, how long to hold (ms; the child then releases), exit without
// releasing when the fourth argument is "die".
WDX_TEST_CHILD(HoldNamedLock) {
  if (argc < 3) return 2;
  CZuvBase oBase(argv[0]);
  if (!oBase.Lock(5000)) return 3;
  FILE* pReady = std::fopen(argv[1], "w");
  if (pReady != nullptr) std::fclose(pReady);
  usleep(static_cast<useconds_t>(std::atoi(argv[2])) * 1000);
  if (argc >= 4 && std::string(argv[3]) == "die") _exit(0);
  return oBase.UnLock() ? 0 : 4;
}

TEST(ZuvBaseCrossProcess, HeldLockTimesOutThreeTimes) {
  test::CTempFolder oFolder;
  test::CLogCapture oLog;
  const std::string sName = UniqueLockName("Held");
  test::CChildProcess oChild("HoldNamedLock", {sName, oFolder.File("ready"), "20000"});
  WaitForFile(oFolder.File("ready"));
  CZuvBase oBase(sName.c_str());
  EXPECT_FALSE(oBase.Lock(100));
  EXPECT_FALSE(oBase.IsLocked());
  EXPECT_EQ(oLog.CountErrors("CZuvBase::Lock(iMaxWaitInMilliseconds) TIMEOUT."), 3);
  EXPECT_EQ(oLog.CountErrors("CZuvBase::Lock( int iMilliseconds )  failed."), 1);
}

TEST(ZuvBaseCrossProcess, DeadHolderReleasesTheLock) {
  test::CTempFolder oFolder;
  const std::string sName = UniqueLockName("Dead");
  test::CChildProcess oChild("HoldNamedLock", {sName, oFolder.File("ready"), "0", "die"});
  WaitForFile(oFolder.File("ready"));
  ASSERT_EQ(oChild.Wait(5000), 0);
  CZuvBase oBase(sName.c_str());
  EXPECT_TRUE(oBase.Lock(2000));
  EXPECT_TRUE(oBase.UnLock());
}

TEST(ZuvBaseCrossProcess, DefaultLockWaitsForAShortHolder) {
  test::CTempFolder oFolder;
  const std::string sName = UniqueLockName("Short");
  test::CChildProcess oChild("HoldNamedLock", {sName, oFolder.File("ready"), "300"});
  WaitForFile(oFolder.File("ready"));
  CZuvBase oBase(sName.c_str());
  EXPECT_TRUE(oBase.Lock());
  EXPECT_TRUE(oBase.UnLock());
  EXPECT_EQ(oChild.Wait(5000), 0);
}

}  // namespace
}  // namespace wdx
