// UpTime.log throughput through CItemManager: observation lines appended per second, each one
// under the cross-process lock "MutexToProtectLogFile" and in the file when the call returns.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "service/ops/item_manager.h"

#include "tests/support/temp_folder.h"

namespace {

// A private folder for the log and the lock files, removed at the end.
class CBenchFolder final : public wdx::test::CTempFolder {
 public:
  CBenchFolder() { UseForLocks(); }
};

// A manager with iCount local URL items; their names are returned in order.
std::vector<std::string> Load(wdx::CItemManager& oManager, const CBenchFolder& oFolder, int iCount,
                              benchmark::State& oState) {
  oManager.SetLogDirectory(oFolder.Path().c_str());
  if (!oManager.ReInitialize()) oState.SkipWithError("UpTime.log not ready");
  std::vector<std::string> oNames;
  for (int i = 0; i < iCount; ++i) {
    oNames.push_back("http://www.example.com/shop/page" + std::to_string(i) + ".html");
    oManager.AddItem(wdx::ITEM_LOCAL_URL, oNames.back().c_str());
  }
  return oNames;
}

// One Update (one UP or DN line) per iteration over a list of range(0) items.
void BM_UpTimeUpdate(benchmark::State& oState) {
  CBenchFolder oFolder;
  wdx::CItemManager oManager;
  const std::vector<std::string> oNames =
      Load(oManager, oFolder, static_cast<int>(oState.range(0)), oState);
  size_t uNext = 0;
  bool bChanged = false;
  for (auto _ : oState) {
    const int iState = (uNext & 1) != 0 ? wdx::ITEM_UP : wdx::ITEM_DOWN;
    oManager.Update(wdx::ITEM_LOCAL_URL, oNames[uNext % oNames.size()].c_str(), iState, bChanged);
    ++uNext;
  }
  oState.SetItemsProcessed(oState.iterations());
}
BENCHMARK(BM_UpTimeUpdate)->Arg(20)->Arg(4096)->UseRealTime();

// LogProgramsUp over range(0) program items (none has that image): range(0) lines each time.
void BM_UpTimeProgramsUp(benchmark::State& oState) {
  CBenchFolder oFolder;
  wdx::CItemManager oManager;
  oManager.SetLogDirectory(oFolder.Path().c_str());
  if (!oManager.ReInitialize()) oState.SkipWithError("UpTime.log not ready");
  for (int i = 0; i < oState.range(0); ++i) {
    oManager.AddItem(wdx::ITEM_PROGRAM, ("/usr/local/bin/app" + std::to_string(i)).c_str());
  }
  for (auto _ : oState) oManager.LogProgramsUp("no-such-image");
  oState.SetItemsProcessed(oState.iterations() * oState.range(0));
}
BENCHMARK(BM_UpTimeProgramsUp)->Arg(16)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
