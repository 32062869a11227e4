#include "components/perfwatch/watcher.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/log_capture.h"
#include "tests/support/spawned_program.h"

namespace wdx {
namespace {

using test::CLogCapture;
using test::CSpawnedProgram;
using test::CTempFolder;

constexpr const char* kBusyScript =
    "while :; do echo 0123456789abcdef; sleep 0.02; done >/dev/null";
constexpr const char* kCounters[] = {"Elapsed Time", "IO Data Bytes/sec", "IO Data Operations/sec",
                                     "IO Other Operations/sec"};

void Pause(int iMs) {
  std::this_thread::sleep_for(std::chrono::milliseconds(iMs));
}

std::string Key(const std::string& sInstance, const char* szCounter) {
  return "\\\\host\\Process(" + sInstance + ")\\" + szCounter;
}

CInterfacePtr<CWatcher> NewWatcher(int32_t lInstance = 0, const std::string& sLogDir = "") {
  CWatcher* pRaw = new CWatcher();
  pRaw->AddRef();
  CInterfacePtr<CWatcher> pWatcher(pRaw);
  int32_t lResult = 0;
  pWatcher->UpdateInstanceCount(CVariant(lInstance), &lResult);
  pWatcher->Reinitialize(CVariant(sLogDir), &lResult);
  return pWatcher;
}

int32_t AddKey(CWatcher& oWatcher, const std::string& sKey) {
  int32_t lResult = 0;
  oWatcher.AddKey(CVariant(sKey), &lResult);
  return lResult;
}

int32_t AddProcessKeys(CWatcher& oWatcher, const std::string& sInstance) {
  int32_t lAll = -1;
  for (const char* szCounter : kCounters) lAll &= AddKey(oWatcher, Key(sInstance, szCounter));
  return lAll;
}

int32_t Sample(CWatcher& oWatcher, int32_t lSeconds) {
  int32_t lResult = 1;
  oWatcher.GetSampleResult(CVariant(lSeconds), &lResult);
  return lResult;
}

std::string FirstFailure(CWatcher& oWatcher) {
  CVariant vResult;
  oWatcher.GetFirstFailure(&vResult);
  EXPECT_EQ(vResult.GetType(), VT_BSTR);
  return vResult.GetString();
}

// Three processes shared by the activity tests, started once and at least a second old (so
// that their "Elapsed Time" is positive): one doing steady I/O, one asleep, one stopped.
class WatcherActivity : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_pFolder = new CTempFolder();
    const std::string sSuffix = std::to_string(::getpid());
    s_pBusy = Start("/bin/sh", "wbusy" + sSuffix, {"-c", kBusyScript});
    s_pIdle = Start("/bin/sleep", "widle" + sSuffix, {"120"});
    s_pStopped = Start("/bin/sh", "wstop" + sSuffix, {"-c", kBusyScript});
    Pause(200);
    s_pStopped->Signal(SIGSTOP);
    Pause(900);
  }
  static void TearDownTestSuite() {
    delete s_pBusy;
    delete s_pIdle;
    delete s_pStopped;
    delete s_pFolder;
  }
  static CSpawnedProgram* Start(const char* szFrom, const std::string& sName,
                                const std::vector<std::string>& oArgs) {
    const std::string sPath = s_pFolder->File(sName);
    test::CopyProgram(szFrom, sPath);
    return new CSpawnedProgram(sPath, oArgs);
  }
  static std::string Busy() { return "wbusy" + std::to_string(::getpid()); }
  static std::string Idle() { return "widle" + std::to_string(::getpid()); }
  static std::string Stopped() { return "wstop" + std::to_string(::getpid()); }

  CLogCapture m_oLog;
  static CTempFolder* s_pFolder;
  static CSpawnedProgram* s_pBusy;
  static CSpawnedProgram* s_pIdle;
  static CSpawnedProgram* s_pStopped;
};
CTempFolder* WatcherActivity::s_pFolder = nullptr;
CSpawnedProgram* WatcherActivity::s_pBusy = nullptr;
CSpawnedProgram* WatcherActivity::s_pIdle = nullptr;
CSpawnedProgram* WatcherActivity::s_pStopped = nullptr;

TEST_F(WatcherActivity, SteadyIoPasses) {
  auto pWatcher = NewWatcher();
  ASSERT_EQ(AddProcessKeys(*pWatcher.Get(), Busy()), -1);
  pWatcher->SetSamplePeriod(CVariant(int32_t{5}));
  EXPECT_EQ(Sample(*pWatcher.Get(), 3), -1);
  EXPECT_EQ(FirstFailure(*pWatcher.Get()), "");
  EXPECT_EQ(m_oLog.CountErrors("Your process may not be running."), 0);
}

TEST_F(WatcherActivity, SleepingProcessFailsAtItsFirstIdleCounter) {
  auto pWatcher = NewWatcher();
  ASSERT_EQ(AddProcessKeys(*pWatcher.Get(), Busy()), -1);
  ASSERT_EQ(AddProcessKeys(*pWatcher.Get(), Idle()), -1);
  EXPECT_EQ(FirstFailure(*pWatcher.Get()), "");  // nothing sampled yet
  // The sample counts whole calendar seconds: 2 gives the busy process at least one second.
  EXPECT_EQ(Sample(*pWatcher.Get(), 2), 0);
  EXPECT_EQ(FirstFailure(*pWatcher.Get()), Key(Idle(), "IO Data Bytes/sec"));
  for (int i = 1; i < 4; ++i) {
    EXPECT_TRUE(m_oLog.HasError("Activity read 0: " + Key(Idle(), kCounters[i]))) << i;
  }
  EXPECT_FALSE(m_oLog.HasError("Activity read 0: " + Key(Idle(), kCounters[0])));
  EXPECT_FALSE(m_oLog.HasError("Activity read 0: " + Key(Busy(), kCounters[1])));
}

TEST_F(WatcherActivity, StoppedProcessFails) {
  auto pWatcher = NewWatcher();
  ASSERT_EQ(AddProcessKeys(*pWatcher.Get(), Stopped()), -1);
  EXPECT_EQ(Sample(*pWatcher.Get(), 1), 0);
  EXPECT_EQ(FirstFailure(*pWatcher.Get()), Key(Stopped(), "IO Data Bytes/sec"));
}

TEST_F(WatcherActivity, ProcessKilledMidSampleIsReportedAsNotRunning) {
  const std::string sTitle = "wkill" + std::to_string(::getpid());
  const std::string sPath = s_pFolder->File(sTitle);
  ASSERT_TRUE(test::CopyProgram("/bin/sleep", sPath));
  CSpawnedProgram oVictim(sPath, {"120"});
  Pause(100);
  auto pWatcher = NewWatcher();
  ASSERT_EQ(AddProcessKeys(*pWatcher.Get(), sTitle), -1);
  std::thread oKiller([&oVictim] {
    Pause(300);
    oVictim.Kill();
  });
  EXPECT_EQ(Sample(*pWatcher.Get(), 5), 0);
  oKiller.join();
  EXPECT_TRUE(m_oLog.HasError("CPW Activity() Get failed: " + std::to_string(PDH_NO_DATA)));
  EXPECT_EQ(m_oLog.CountErrors("Your process may not be running."), 1);
}

TEST_F(WatcherActivity, ZeroSecondsFailsAndReportsEveryKey) {
  auto pWatcher = NewWatcher();
  ASSERT_EQ(AddProcessKeys(*pWatcher.Get(), Busy()), -1);
  EXPECT_EQ(Sample(*pWatcher.Get(), 0), 0);
  for (const char* szCounter : kCounters) {
    EXPECT_TRUE(m_oLog.HasError("Activity read 0: " + Key(Busy(), szCounter))) << szCounter;
  }
  EXPECT_EQ(m_oLog.CountErrors("**---------------------------------------------------------------"),
            4);
  EXPECT_EQ(FirstFailure(*pWatcher.Get()), Key(Busy(), "Elapsed Time"));
}

TEST_F(WatcherActivity, UnknownInstanceLeavesTheQueryUnready) {
  auto pWatcher = NewWatcher();
  ASSERT_EQ(AddKey(*pWatcher.Get(), Key(Busy(), "Elapsed Time")), -1);
  ASSERT_EQ(AddKey(*pWatcher.Get(), Key("no-such-process-xq", "Elapsed Time")), -1);
  EXPECT_EQ(Sample(*pWatcher.Get(), 1), 0);
  EXPECT_EQ(Sample(*pWatcher.Get(), 1), 0);
  EXPECT_EQ(m_oLog.CountErrors("CPW Add failed."), 2);
  EXPECT_FALSE(pWatcher->GetSampler()->IsQueryReady());
}

TEST_F(WatcherActivity, ReadsAndDeltas) {
  auto pWatcher = NewWatcher();
  const std::string sElapsed = Key(Busy(), "Elapsed Time");
  ASSERT_EQ(AddKey(*pWatcher.Get(), sElapsed), -1);
  int32_t lResult = 0;
  pWatcher->ReadAllCounters(&lResult);
  EXPECT_EQ(lResult, -1);
  CVariant vDelta;
  pWatcher->GetDeltaByIndex(CVariant(int32_t{0}), &vDelta);
  EXPECT_GT(vDelta.GetInt32(), 0);  // from 0 to the age in seconds
  pWatcher->GetDeltaByIndex(CVariant(int32_t{1}), &vDelta);
  EXPECT_EQ(vDelta.GetInt32(), 0);
  pWatcher->GetCounterVal(CVariant(sElapsed), &lResult);
  EXPECT_GT(lResult, 0);
  pWatcher->GetCounterVal(CVariant("\\\\host\\Process(x)\\Elapsed Time"), &lResult);
  EXPECT_EQ(lResult, -1);
  EXPECT_TRUE(m_oLog.HasError("CPW cannot find key: \\\\host\\Process(x)\\Elapsed Time"));
  pWatcher->GetCounterVal(CVariant(""), &lResult);
  EXPECT_EQ(lResult, -1);
  EXPECT_TRUE(m_oLog.HasError("CPW has empty ProcessName."));
}

TEST(WatcherSetup, AnswersNothingBeforeReinitialize) {
  CLogCapture oLog;
  CWatcher* pRaw = new CWatcher();
  pRaw->AddRef();
  CInterfacePtr<CWatcher> pWatcher(pRaw);
  int32_t lResult = 1;
  pWatcher->IsReady(&lResult);
  EXPECT_EQ(lResult, 0);
  lResult = 1;
  pWatcher->AddKey(CVariant("\\\\h\\Process(x)\\Elapsed Time"), &lResult);
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(Sample(*pWatcher.Get(), 1), 0);
  EXPECT_EQ(FirstFailure(*pWatcher.Get()), "");
}

TEST(WatcherSetup, WithoutKeysTheSamplerIsNotLive) {
  CLogCapture oLog;
  auto pWatcher = NewWatcher();
  int32_t lResult = 1;
  pWatcher->IsReady(&lResult);
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(Sample(*pWatcher.Get(), 1), 0);
  EXPECT_EQ(oLog.CountErrors("CPW::IsLive() Object is not initialized."), 2);
}

TEST(WatcherSetup, FortyKeysFitAndTheFortyFirstIsRefused) {
  CLogCapture oLog;
  auto pWatcher = NewWatcher();
  for (int i = 0; i < PW_MAX_KEYS; ++i) {
    ASSERT_EQ(AddKey(*pWatcher.Get(), Key("p" + std::to_string(i), "Elapsed Time")), -1) << i;
  }
  EXPECT_EQ(AddKey(*pWatcher.Get(), Key("p40", "Elapsed Time")), 0);
  EXPECT_TRUE(oLog.HasError("CArrayStr::SetNext() overflow."));
  EXPECT_TRUE(oLog.HasError("CArrayStr::SetNext() failed."));
  int32_t lResult = 0;
  pWatcher->IsReady(&lResult);
  EXPECT_EQ(lResult, -1);
}

TEST(WatcherSetup, SamplePeriodIsAtLeastOneMillisecond) {
  CLogCapture oLog;
  auto pWatcher = NewWatcher();
  EXPECT_EQ(pWatcher->GetSampler()->GetSamplePeriod(), PW_DEFAULT_SAMPLE_PERIOD_MS);
  pWatcher->SetSamplePeriod(CVariant(int32_t{0}));
  EXPECT_EQ(pWatcher->GetSampler()->GetSamplePeriod(), 1);
  pWatcher->SetSamplePeriod(CVariant(int32_t{-20}));
  EXPECT_EQ(pWatcher->GetSampler()->GetSamplePeriod(), 1);
  pWatcher->SetSamplePeriod(CVariant(int32_t{7}));
  EXPECT_EQ(pWatcher->GetSampler()->GetSamplePeriod(), 7);
}

TEST(WatcherStatsLog, FirstInstanceWritesItsBannerAndLifecycle) {
  CTempFolder oFolder;
  {
    auto pWatcher = NewWatcher(1, oFolder.Path());
    EXPECT_EQ(AddKey(*pWatcher.Get(), "\\\\h\\Process(x)\\Elapsed Time"), -1);
  }
  const std::string sLog = oFolder.Read("Stats.log");
  size_t uAt = 0;
  for (const std::string& sLine :
       {std::string(42, 'X'), std::string(41, 'X'), std::string(40, 'X'), std::string(39, 'X'),
        std::string("XXXX   Watcher Started"), std::string(37, 'X'), std::string(36, 'X'),
        std::string("CWatcher::Reinitialize: InstanceCount=1"), std::string("CWatcher::AddKey"),
        std::string("CWatcher::FinalRelease: InstanceCount=1")}) {
    const std::string sEntry = " (event): " + sLine + "\r\r\n";
    const size_t uFound = sLog.find(sEntry, uAt);
    ASSERT_NE(uFound, std::string::npos) << sLine;
    uAt = uFound + sEntry.size();
  }
  EXPECT_EQ(GetProcessLog(), nullptr);  // the log unbound itself with its object
}

TEST(WatcherStatsLog, OtherInstancesOpenNoLog) {
  CTempFolder oFolder;
  auto pWatcher = NewWatcher(2, oFolder.Path());
  EXPECT_EQ(oFolder.Read("Stats.log"), "");
}

TEST(WatcherModule, LibraryServesTheWatcherAndUnloadsWhenDone) {
  void* pLibrary = ::dlopen(WDX_PERFWATCH_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(pLibrary, nullptr) << ::dlerror();
  using GetClassObjectFn = int32_t (*)(const char*, const char*, void**);
  using CanUnloadFn = int32_t (*)();
  auto pfnGet = reinterpret_cast<GetClassObjectFn>(::dlsym(pLibrary, "WdxGetClassObject"));
  auto pfnCanUnload = reinterpret_cast<CanUnloadFn>(::dlsym(pLibrary, "WdxCanUnloadNow"));
  ASSERT_NE(pfnGet, nullptr);
  ASSERT_NE(pfnCanUnload, nullptr);
  EXPECT_EQ(::dlsym(pLibrary, "OpenCounterQuery"), nullptr);
  {
    CInterfacePtr<IClassFactory> pFactory;
    ASSERT_EQ(pfnGet(CLSID_Watcher, IID_IClassFactory, pFactory.Receive()), S_OK);
    CInterfacePtr<IWatcher> pWatcher;
    ASSERT_EQ(pFactory->CreateInstance(IID_IWatcher, pWatcher.Receive()), S_OK);
    EXPECT_EQ(pfnCanUnload(), S_FALSE);
    int32_t lResult = 0;
    pWatcher->Reinitialize(CVariant(""), &lResult);
    EXPECT_EQ(lResult, -1);
    pWatcher->IsReady(&lResult);
    EXPECT_EQ(lResult, 0);
  }
  EXPECT_EQ(pfnCanUnload(), S_OK);
  // Left loaded: the library's foundation keeps process-lifetime objects that a leak checker
  // would count as lost once its memory is unmapped.
}

// Late binding: the IWatcher methods by name in interface order, on the same object.
TEST(WatcherDispatch, CallsTheMethodsByName) {
  CLogCapture oLog;
  auto pWatcher = NewWatcher();
  CInterfacePtr<IDispatch> pDispatch;
  ASSERT_EQ(pWatcher->QueryInterface(IID_IDispatch, pDispatch.Receive()), S_OK);
  const char* const aszNames[] = {"Reinitialize",         "ReadAllCounters", "GetDeltaByIndex",
                                  "AllDeltasArePositive", "AddKey",          "IsReady",
                                  "GetCounterVal",        "GetSampleResult", "SetSamplePeriod",
                                  "UpdateInstanceCount",  "GetFirstFailure"};
  int32_t lExpectedId = 0;
  for (const char* szName : aszNames) {
    int32_t lDispId = 0;
    EXPECT_EQ(pDispatch->GetIDOfName(szName, lDispId), S_OK) << szName;
    EXPECT_EQ(lDispId, ++lExpectedId) << szName;
  }
  CVariant vResult;
  ASSERT_EQ(pDispatch->Invoke(5, {CVariant(Key("x", "Elapsed Time"))}, vResult), S_OK);
  EXPECT_EQ(vResult.GetInt32(), -1);
  ASSERT_EQ(pDispatch->Invoke(6, {}, vResult), S_OK);
  EXPECT_EQ(vResult.GetInt32(), -1);  // the key went into this object's sampler
  EXPECT_EQ(pWatcher->GetSampler()->GetKeyCount(), 1);
  ASSERT_EQ(pDispatch->Invoke(11, {}, vResult), S_OK);
  EXPECT_EQ(vResult.GetType(), VT_BSTR);
}

}  // namespace
}  // namespace wdx
