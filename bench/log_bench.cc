// Event-log throughput through CLogFile, every entry under the cross-process lock
// "MutexToProtectLogFile": one writer process, and two processes writing one file.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/log_file.h"

#include "tests/support/temp_folder.h"

namespace {

// A private folder for the log and the lock files, removed at the end.
class CBenchFolder final : public wdx::test::CTempFolder {
 public:
  CBenchFolder() { UseForLocks(); }
};

constexpr const char* kText = "COpsMngrThread::RunGoLoop() 3. cycle passed, next test in 5 minutes";

int CountLines(const std::string& sPath) {
  std::ifstream oIn(sPath, std::ios::binary);
  std::string sLine;
  int iLines = 0;
  while (std::getline(oIn, sLine)) ++iLines;
  return iLines;
}

void BM_LogOneProcess(benchmark::State& oState) {
  CBenchFolder oFolder;
  wdx::CLogFile oLog;
  oLog.SetFolder(oFolder.Path().c_str());
  if (!oLog.Initialize("Bench")) oState.SkipWithError("log not ready");
  for (auto _ : oState) oLog.LogMessage(kText);
  oState.SetItemsProcessed(oState.iterations());
}
BENCHMARK(BM_LogOneProcess)->UseRealTime();

// A second process writes to the same log as fast as it can while this one is measured.
void BM_LogTwoProcesses(benchmark::State& oState) {
  CBenchFolder oFolder;
  // Fork before any lock is opened here: each process needs its own lock file description.
  const pid_t iChild = fork();
  if (iChild == 0) {
    wdx::CLogFile oLog;
    oLog.SetFolder(oFolder.Path().c_str());
    if (!oLog.Initialize("Bench")) _exit(2);
    for (;;) oLog.LogMessage(kText);
  }
  wdx::CLogFile oLog;
  oLog.SetFolder(oFolder.Path().c_str());
  if (!oLog.Initialize("Bench")) oState.SkipWithError("log not ready");
  for (auto _ : oState) oLog.LogMessage(kText);
  kill(iChild, SIGKILL);
  waitpid(iChild, nullptr, 0);
  oState.SetItemsProcessed(oState.iterations());
  oState.counters["lines_both"] = CountLines(oFolder.Path() + "Bench.log");
  oState.counters["lines_both_per_s"] =
      benchmark::Counter(CountLines(oFolder.Path() + "Bench.log"), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LogTwoProcesses)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
