// Cost of the named lock on the event log's path: uncontended Wait(0)/Release pairs, a nested
// level taken by the owning thread, and opening a lock object.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/named_lock.h"

namespace {

// Lock files go to a fresh temporary folder, removed at the end.
class CBenchLockFolder final {
 public:
  CBenchLockFolder() {
    char aTemplate[] = "/tmp/wdxbench.XXXXXX";
    if (mkdtemp(aTemplate) != nullptr) m_sPath = aTemplate;
    setenv("WDX_LOCK_DIR", m_sPath.c_str(), 1);
  }
  ~CBenchLockFolder() {
    std::error_code oError;
    std::filesystem::remove_all(m_sPath, oError);
  }
  CBenchLockFolder(const CBenchLockFolder&) = delete;
  CBenchLockFolder& operator=(const CBenchLockFolder&) = delete;

 private:
  std::string m_sPath;
};

void BM_UncontendedWaitRelease(benchmark::State& oState) {
  CBenchLockFolder oFolder;
  auto pLock = wdx::CreateNamedLock("BenchLock");
  if (pLock == nullptr) {
    oState.SkipWithError("no lock");
    return;
  }
  for (auto _ : oState) {
    if (pLock->Wait(0) != wdx::ELockWait::ACQUIRED) {
      oState.SkipWithError("not acquired");
      break;
    }
    pLock->Release();
  }
  oState.SetItemsProcessed(oState.iterations());
}
BENCHMARK(BM_UncontendedWaitRelease);

void BM_NestedWaitRelease(benchmark::State& oState) {
  CBenchLockFolder oFolder;
  auto pLock = wdx::CreateNamedLock("BenchNested");
  if (pLock == nullptr || pLock->Wait(0) != wdx::ELockWait::ACQUIRED) {
    oState.SkipWithError("no lock");
    return;
  }
  for (auto _ : oState) {
    pLock->Wait(0);
    pLock->Release();
  }
  pLock->Release();
  oState.SetItemsProcessed(oState.iterations());
}
BENCHMARK(BM_NestedWaitRelease);

void BM_CreateNamedLock(benchmark::State& oState) {
  CBenchLockFolder oFolder;
  auto pKeep = wdx::CreateNamedLock("BenchCreate");  // keeps the lock file open
  for (auto _ : oState) {
    benchmark::DoNotOptimize(wdx::CreateNamedLock("BenchCreate"));
  }
  oState.SetItemsProcessed(oState.iterations());
}
BENCHMARK(BM_CreateNamedLock);

}  // namespace

BENCHMARK_MAIN();
