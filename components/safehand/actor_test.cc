// The action component in this process: arming, disarming and firing the switch with a command
// that records its runs, the faults of its use, and the library through the class registry.
#include "components/safehand/actor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/component.h"
#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

constexpr int32_t kTimeoutMs = 300;

bool WaitFor(int iDeadlineMs, const std::function<bool()>& fnDone) {
  for (int i = 0; i < iDeadlineMs / 10; ++i) {
    if (fnDone()) return true;
    usleep(10'000);
  }
  return fnDone();
}

int ThreadCount() {
  int iCount = 0;
  for ([[maybe_unused]] const auto& oEntry : std::filesystem::directory_iterator("/proc/self/task"))
    ++iCount;
  return iCount;
}

// A joined thread leaves /proc/self/task a moment after the join returns: wait for the count.
bool ThreadCountSettlesAt(int iCount) {
  return WaitFor(10000, [&] { return ThreadCount() == iCount; });
}

class ActorTest : public ::testing::Test {
 protected:
  ActorTest() {
    m_oFolder.UseForLocks();
    CreateComObject<CActor>(IID_IActor, m_pActor.Receive());
  }

  // The command appends "start" and "end" lines to the runs file, iSleepMs apart.
  std::string Command(int iSleepMs = 0) const {
    const std::string sRuns = m_oFolder.File("runs");
    return "/bin/sh -c \"echo start >>'" + sRuns + "'; sleep " + std::to_string(iSleepMs / 1000.0) +
           "; echo end >>'" + sRuns + "'\"";
  }
  int32_t SetAct1(const std::string& sCommand, int32_t lTimeoutMs = kTimeoutMs) {
    int32_t lResult = 1;
    EXPECT_EQ(m_pActor->SetAct1(CVariant(sCommand), CVariant(true), CVariant(false),
                                CVariant(lTimeoutMs), &lResult),
              S_OK);
    return lResult;
  }
  int32_t Call(HRESULT (IActor::*pfnMethod)(int32_t*)) {
    int32_t lResult = 1;
    EXPECT_EQ((m_pActor.Get()->*pfnMethod)(&lResult), S_OK);
    return lResult;
  }
  int Runs() const {
    const std::string sRuns = m_oFolder.Read("runs");
    int iCount = 0;
    for (size_t uAt = sRuns.find("end"); uAt != std::string::npos; uAt = sRuns.find("end", uAt + 1))
      ++iCount;
    return iCount;
  }
  CActor& Actor() { return *static_cast<CActor*>(m_pActor.Get()); }
  bool WorkerIdle() { return Actor().GetOwner()->m_bIdleReached; }
  // Long enough for an armed worker to have fired: three time-outs after it left idle.
  void OutlastTimeout() { usleep(3 * kTimeoutMs * 1000 + 900'000); }

  test::CTempFolder m_oFolder;
  CInterfacePtr<IActor> m_pActor;
};

TEST_F(ActorTest, BeforeSetAct1EveryMethodAnswersFalse) {
  ASSERT_TRUE(m_pActor);
  EXPECT_EQ(Call(&IActor::Go), 0);
  EXPECT_EQ(Call(&IActor::Stop), 0);
  EXPECT_EQ(Call(&IActor::ZuvEndThreads), 0);
  EXPECT_FALSE(Actor().IsArmed());
}

TEST_F(ActorTest, SetAct1StoresItsValuesAsRead) {
  int32_t lResult = 1;
  // Flags are read as their 16-bit value: 0x10000 is false, -1 true.
  m_pActor->SetAct1(CVariant(42), CVariant(int32_t{0x10000}), CVariant(true), CVariant(12345),
                    &lResult);
  ASSERT_EQ(lResult, -1);
  const safehand::CThreadOwner& oOwner = *Actor().GetOwner();
  EXPECT_EQ(oOwner.GetCommand(), "42");
  EXPECT_FALSE(oOwner.m_bWait);
  EXPECT_TRUE(oOwner.m_bShowWindow);
  EXPECT_EQ(oOwner.m_lTimeoutMs, 12345);
}

TEST_F(ActorTest, GoThenStopRunsNothingAndTheNextStretchStillFires) {
  ASSERT_EQ(SetAct1(Command()), -1);
  ASSERT_EQ(Call(&IActor::Go), -1);
  EXPECT_TRUE(Actor().IsArmed());
  EXPECT_EQ(Call(&IActor::Stop), -1);
  EXPECT_FALSE(Actor().IsArmed());
  OutlastTimeout();
  EXPECT_EQ(Runs(), 0);
  // The disarm's signal is spent: the next armed stretch runs its full time-out and fires.
  ASSERT_EQ(Call(&IActor::Go), -1);
  ASSERT_TRUE(WaitFor(10000, [&] { return Runs() == 1; }));
}

TEST_F(ActorTest, GoWithoutStopRunsOnceThenIdlesUntilArmedAgain) {
  ASSERT_EQ(SetAct1(Command()), -1);
  ASSERT_EQ(Call(&IActor::Go), -1);
  ASSERT_TRUE(WaitFor(10000, [&] { return Runs() == 1; }));
  OutlastTimeout();
  EXPECT_EQ(Runs(), 1);
  EXPECT_TRUE(WorkerIdle());
  // Still armed as far as the object knows: the next Go disarms at once and re-arms.
  EXPECT_TRUE(Actor().IsArmed());
  ASSERT_EQ(Call(&IActor::Go), -1);
  ASSERT_TRUE(WaitFor(10000, [&] { return Runs() == 2; }));
}

TEST_F(ActorTest, GoAfterGoDisarmsTheFirstStretch) {
  ASSERT_EQ(SetAct1(Command(), 3000), -1);
  ASSERT_EQ(Call(&IActor::Go), -1);
  usleep(1'000'000);
  ASSERT_EQ(Call(&IActor::Go), -1);  // restarts the 3 s
  usleep(1'000'000);
  EXPECT_EQ(Call(&IActor::Stop), -1);
  EXPECT_EQ(Runs(), 0);
}

TEST_F(ActorTest, StopDuringAWaitedCommandReturnsAfterItEnds) {
  ASSERT_EQ(SetAct1(Command(700)), -1);
  ASSERT_EQ(Call(&IActor::Go), -1);
  ASSERT_TRUE(WaitFor(10000, [&] { return m_oFolder.Read("runs") == "start\n"; }));
  EXPECT_EQ(Call(&IActor::Stop), -1);
  EXPECT_EQ(m_oFolder.Read("runs"), "start\nend\n");
}

TEST_F(ActorTest, EmptyOrUnreadableCommandRunsNothing) {
  for (const char* szCommand : {"", "   ", "\"unterminated", "/nonexistent/program"}) {
    SCOPED_TRACE(szCommand);
    ASSERT_EQ(SetAct1(szCommand), -1);
    ASSERT_EQ(Call(&IActor::Go), -1);
    ASSERT_TRUE(WaitFor(10000, [&] { return WorkerIdle(); }));  // the stretch timed out
    EXPECT_EQ(Call(&IActor::Stop), -1);
  }
  EXPECT_EQ(m_oFolder.Read("runs"), "");
}

TEST_F(ActorTest, ZuvEndThreadsWhileArmedEndsTheWorkerAndGoStartsAFreshOne) {
  const int iThreads = ThreadCount();
  ASSERT_EQ(SetAct1(Command()), -1);
  EXPECT_EQ(ThreadCount(), iThreads + 1);
  ASSERT_EQ(Call(&IActor::Go), -1);
  EXPECT_EQ(Call(&IActor::ZuvEndThreads), -1);
  EXPECT_FALSE(Actor().IsArmed());
  EXPECT_TRUE(ThreadCountSettlesAt(iThreads)) << ThreadCount();
  OutlastTimeout();
  EXPECT_EQ(Runs(), 0);
  EXPECT_EQ(Call(&IActor::Stop), -1);  // nothing to disarm
  ASSERT_EQ(Call(&IActor::Go), -1);
  ASSERT_TRUE(WaitFor(10000, [&] { return Runs() == 1; }));
  EXPECT_EQ(Call(&IActor::ZuvEndThreads), -1);
}

TEST_F(ActorTest, ReleaseWhileArmedEndsTheWorkerAndUnlocksTheModule) {
  const int iThreads = ThreadCount();
  const long lLocks = GetModuleLockCount();
  ASSERT_EQ(SetAct1(Command()), -1);
  ASSERT_EQ(Call(&IActor::Go), -1);
  m_pActor.Reset();
  EXPECT_TRUE(ThreadCountSettlesAt(iThreads)) << ThreadCount();
  EXPECT_EQ(GetModuleLockCount(), lLocks - 1);
  OutlastTimeout();
  EXPECT_EQ(Runs(), 0);
}

TEST_F(ActorTest, SecondSetAct1ReplacesTheWorker) {
  const int iThreads = ThreadCount();
  ASSERT_EQ(SetAct1("/bin/true"), -1);
  ASSERT_EQ(Call(&IActor::Go), -1);
  ASSERT_EQ(SetAct1(Command()), -1);
  EXPECT_FALSE(Actor().IsArmed());
  EXPECT_TRUE(ThreadCountSettlesAt(iThreads + 1)) << ThreadCount();
  ASSERT_EQ(Call(&IActor::Go), -1);
  ASSERT_TRUE(WaitFor(10000, [&] { return Runs() == 1; }));
}

// The library as the service meets it: registered, created by ProgID, released, unloaded.
TEST(SafehandLibrary, RegistersCreatesByProgIdAndUnloads) {
  test::CTempRegistry oRegistry;
  const std::string sLibrary = std::string(WDX_DIST_DIR) + "/Safehand.so";
  ASSERT_EQ(RegisterLibrary(sLibrary, false), S_OK) << GetComponentError();
  std::string sClsid;
  ASSERT_TRUE(ClsidFromProgId("Safehand.Actor.1", sClsid));
  EXPECT_TRUE(IsSameGuid(sClsid.c_str(), CLSID_Actor));
  const int iThreads = ThreadCount();
  {
    CInterfacePtr<IActor> pActor;
    ASSERT_EQ(CreateInstance("Safehand.Actor", IID_IActor, pActor.Receive()), S_OK);
    int32_t lResult = 0;
    pActor->SetAct1(CVariant("/bin/true"), CVariant(true), CVariant(false), CVariant(60000),
                    &lResult);
    EXPECT_EQ(lResult, -1);
    pActor->Go(&lResult);
    EXPECT_EQ(lResult, -1);
  }
  EXPECT_TRUE(ThreadCountSettlesAt(iThreads)) << ThreadCount();
  EXPECT_GE(FreeUnusedLibraries(), 1);
  for (const std::string& sLoaded : GetLoadedLibraries()) EXPECT_NE(sLoaded, sLibrary);
  EXPECT_EQ(RegisterLibrary(sLibrary, true), S_OK);
  EXPECT_FALSE(ClsidFromProgId("Safehand.Actor", sClsid));
}

// Late binding: the IActor methods by name in interface order, on the same object.
TEST_F(ActorTest, DispatchCallsTheMethodsByName) {
  CInterfacePtr<IDispatch> pDispatch;
  ASSERT_EQ(m_pActor->QueryInterface(IID_IDispatch, pDispatch.Receive()), S_OK);
  struct SCase {
    const char* szName;
    std::vector<CVariant> aArgs;
    bool bArmedAfter;
  };
  const SCase aoCases[] = {
      {"SetAct1", {CVariant("/bin/true"), CVariant(true), CVariant(false), CVariant(60000)}, false},
      {"go", {}, true},
      {"STOP", {}, false},
      {"ZuvEndThreads", {}, false},
  };
  int32_t lExpectedId = 0;
  for (const SCase& oCase : aoCases) {
    int32_t lDispId = 0;
    ASSERT_EQ(pDispatch->GetIDOfName(oCase.szName, lDispId), S_OK) << oCase.szName;
    EXPECT_EQ(lDispId, ++lExpectedId) << oCase.szName;
    CVariant vResult;
    ASSERT_EQ(pDispatch->Invoke(lDispId, oCase.aArgs, vResult), S_OK) << oCase.szName;
    EXPECT_EQ(vResult.GetInt32(), -1) << oCase.szName;
    EXPECT_EQ(Actor().IsArmed(), oCase.bArmedAfter) << oCase.szName;
  }
  EXPECT_EQ(Actor().GetOwner()->GetCommand(), "/bin/true");
}

}  // namespace
}  // namespace wdx
